// What the two ways of making one HTTP request share: plain HTTP is spoken over the system's
// sockets (win32_http_plain.cpp), HTTPS through WinINet (win32_http.cpp), which also follows
// the redirects and keeps the window answering meanwhile.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillon::win32::http {

using AfterRead = std::function<void(int read, size_t received, size_t expected)>;

// Host names compared as the system compares them, without regard to letter case.
bool sameText(const std::string& a, const std::string& b);

// The server and the object one request asks for.
struct Target {
  bool https = false;
  std::string host, object;
  uint16_t port = 0;
  bool sameServer(const Target& o) const { return https == o.https && port == o.port && sameText(host, o.host); }
};

inline bool isRedirect(uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One request to one server: the answer, and where a redirect sends the caller.
struct Hop {
  HttpResponse r;
  std::string location;
};

// One plain request, every wait bounded by `limits` and by `deadline` (the system's tick count
// when the whole request must be over) and cut short as soon as `ending` is set.
Hop plainHop(const Target& t, const HttpLimits& limits, const std::atomic<bool>& ending, uint64_t deadline,
             const AfterRead& afterRead);

}  // namespace quillon::win32::http
