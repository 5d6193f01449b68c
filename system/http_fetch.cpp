#include "system/http_fetch.h"

namespace quillon {

FetchResult fetchWithProgress(Http& http, Pump& pump, const std::string& url,
                              const std::function<void(const std::string&)>& status,
                              const FetchProgress& progress) {
  HttpLimits limits;
  limits.pieceBytes = 256;  // progress and yields come per piece of this size
  HttpResponse r = http.get(url, limits, [&](int read, size_t received, size_t expected) {
    if (read <= 1) return;
    if (status) status("Downloaded " + std::to_string(received) + " bytes.");
    if (progress) progress(received, expected);
    pump.yield();
  });
  FetchResult out;
  // An error status is the server's answer even when its page then broke off.
  out.answered = r.ok() || (r.status != 0 && (r.status < 200 || r.status > 299));
  out.status = r.status;
  if (r.ok()) out.body = std::move(r.body);
  return out;
}

}  // namespace quillon
