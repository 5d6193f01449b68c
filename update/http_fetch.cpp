#include "update/http_fetch.h"

namespace quillon {

std::string httpGetWithProgress(Http& http, Pump& pump, const std::string& url,
                                const std::function<void(const std::string&)>& status) {
  HttpLimits limits;
  limits.pieceBytes = 256;  // progress and yields come per piece of this size
  HttpResponse r = http.get(url, limits, [&](int read, size_t received) {
    if (read <= 1) return;
    if (status) status("Downloaded " + std::to_string(received) + " bytes.");
    pump.yield();
  });
  if (!r.ok() || r.status < 200 || r.status > 299) return "";
  return r.body;
}

std::string httpGet(Http& http, Pump& pump, const std::string& url) {
  return httpGetWithProgress(http, pump, url, nullptr);
}

}  // namespace quillon
