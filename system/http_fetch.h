// The one way the program talks to a web server: a GET whose answer body comes back as bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillon {

// What one request came to: no answer at all, an answer with an error status, or a body.
struct FetchResult {
  bool answered = false;  // an HTTP answer came: whole, or with an error status
  uint32_t status = 0;
  std::string body;
  bool ok() const { return answered && status >= 200 && status <= 299; }
};

// How far a download has come: the bytes received and those the server announced (0 when it
// announced no length).
using FetchProgress = std::function<void(size_t received, size_t expected)>;

// Yields to the message loop after every read but the first; `status`, when given, gets
// "Downloaded N bytes." then, and `progress` the figures. The body is kept only for a whole
// answer of status 200-299 (an error page is not an answer).
FetchResult fetchWithProgress(Http& http, Pump& pump, const std::string& url,
                              const std::function<void(const std::string&)>& status = nullptr,
                              const FetchProgress& progress = nullptr);

}  // namespace quillon
