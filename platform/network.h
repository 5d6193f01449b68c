// Fetching from a web server, with every wait bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

// Bounds of one request, so that a server that never answers, answers a byte at a time or
// without end cannot hold the program for ever.
struct HttpLimits {
  uint32_t connectTimeoutMs = 15000;
  uint32_t receiveTimeoutMs = 20000;  // longest wait for the answer or its next piece
  uint32_t totalTimeoutMs = 120000;   // the whole request, however the server trickles
  size_t maxBodyBytes = size_t(16) << 20;
  size_t pieceBytes = 256;            // one read; progress is reported per piece
  int maxRedirects = 3;               // followed only to the same scheme, host and port
};

enum class HttpFailure {
  None,
  BadUrl,        // not an http or https address
  NoConnection,  // no network, unknown host, refused, or the request could not be sent
  Timeout,       // a bound of HttpLimits ran out
  TooLarge,      // the body passed maxBodyBytes
  NotHttp,       // what came back had no HTTP status
  Broken,        // a read failed, fewer bytes came than the answer announced, or a chunked
                 // answer ended before its last chunk
  Redirect,      // sent on to another server, or more often than maxRedirects
  Cancelled,     // given up because the program is ending
};

struct HttpResponse {
  HttpFailure failure = HttpFailure::NoConnection;
  uint32_t status = 0;  // the server's status code; 0 when no answer came
  std::string body;     // the bytes received, in order; on a failure, what the reads before it gave
  bool ok() const { return failure == HttpFailure::None; }
};

class Http {
 public:
  virtual ~Http() = default;
  // A blocking GET, never served from the cache nor written to it, without a proxy. After
  // every read (the last, empty one included) `afterRead` gets the read's number from 1, the
  // bytes received so far and the length the answer announced (0 when it announced none):
  // progress reports and yields to the message loop hang off it.
  // Any status counts as an answer: an error page is returned like any other body. Redirects
  // are followed by the call itself, within the same bounds.
  virtual HttpResponse get(const std::string& url, const HttpLimits& limits,
                           const std::function<void(int read, size_t received, size_t expected)>& afterRead) = 0;
  // The program is ending: the request under way, and every later one, fails as `Cancelled`
  // at once, whatever the server is doing.
  virtual void abandonAll() {}
};

}  // namespace quillon
