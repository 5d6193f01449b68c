// Plain HTTP spoken over the system's sockets, so that every wait is bounded and can be cut
// short: the socket never blocks, and each wait is a short select that hears the program's end
// and the whole request's bound. Only what a GET needs is read of the answer.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/win32/handles.h"
#include "platform/win32/win32_http.h"

namespace quillon::win32::http {

namespace {

// Hands the body on in pieces of `piece` bytes, as reads of that size would give it: progress is
// reported per full piece, then the rest and one last empty read.
class Pieces {
 public:
  Pieces(size_t piece, const AfterRead& afterRead) : piece_(piece ? piece : 256), afterRead_(afterRead) {}
  void grew(size_t size) {
    while (size - reported_ >= piece_) report(reported_ + piece_);
  }
  void expect(size_t length) { expected_ = length; }
  void end(size_t size) {
    if (size > reported_) report(size);
    report(size);
  }

 private:
  void report(size_t upTo) {
    reported_ = upTo;
    if (afterRead_) afterRead_(++n_, upTo, expected_);
  }
  size_t piece_, reported_ = 0, expected_ = 0;
  int n_ = 0;
  const AfterRead& afterRead_;
};

class Connection {
 public:
  Connection(const HttpLimits& limits, const std::atomic<bool>& ending, uint64_t deadline)
      : limits_(limits), ending_(ending), deadline_(deadline) {}
  HttpFailure open(const Target& t) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    if (getaddrinfo(t.host.c_str(), std::to_string(t.port).c_str(), &hints, &found) != 0) return HttpFailure::NoConnection;
    HttpFailure failure = HttpFailure::NoConnection;
    for (addrinfo* a = found; a && failure != HttpFailure::None; a = a->ai_next) {
      s_.reset(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
      if (!s_) continue;
      u_long nonBlocking = 1;
      ioctlsocket(s_, FIONBIO, &nonBlocking);
      if (connect(s_, a->ai_addr, int(a->ai_addrlen)) == 0) {
        failure = HttpFailure::None;
        break;
      }
      if (WSAGetLastError() != WSAEWOULDBLOCK) continue;
      failure = wait(true, limits_.connectTimeoutMs);
      int error = 0, size = sizeof error;
      if (failure == HttpFailure::None &&
          (getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0))
        failure = HttpFailure::NoConnection;
      if (failure == HttpFailure::Timeout || failure == HttpFailure::Cancelled) break;
    }
    freeaddrinfo(found);
    return failure;
  }

  HttpFailure sendAll(const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
      int n = send(s_, bytes.data() + at, int(bytes.size() - at), 0);
      if (n > 0) {
        at += size_t(n);
      } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
        return HttpFailure::NoConnection;
      } else if (HttpFailure f = wait(true, limits_.receiveTimeoutMs); f != HttpFailure::None) {
        return f;
      }
    }
    return HttpFailure::None;
  }

  // Appends what the server sends next to `in`; `closed` when it has hung up.
  HttpFailure receive(std::string& in, bool& closed) {
    char buf[4096];
    for (;;) {
      int n = recv(s_, buf, sizeof buf, 0);
      if (n > 0) {
        in.append(buf, size_t(n));
        return HttpFailure::None;
      }
      if (n == 0) {
        closed = true;
        return HttpFailure::None;
      }
      if (WSAGetLastError() != WSAEWOULDBLOCK) return HttpFailure::Broken;
      if (HttpFailure f = wait(false, limits_.receiveTimeoutMs); f != HttpFailure::None) return f;
    }
  }

 private:
  // Waits in short steps, so that the program's end and the whole request's bound are heard
  // whatever the server does.
  HttpFailure wait(bool writing, uint32_t boundMs) {
    const ULONGLONG until = std::min(GetTickCount64() + boundMs, deadline_);
    for (;;) {
      if (ending_) return HttpFailure::Cancelled;
      const ULONGLONG now = GetTickCount64();
      if (now >= until) return HttpFailure::Timeout;
      fd_set ready, failed;
      FD_ZERO(&ready);
      FD_ZERO(&failed);
      FD_SET(s_, &ready);
      FD_SET(s_, &failed);
      const ULONGLONG step = std::min<ULONGLONG>(until - now, 50);
      timeval tv{0, long(step * 1000)};
      int n = select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, &tv);
      if (n == SOCKET_ERROR) return HttpFailure::Broken;
      if (n > 0) return HttpFailure::None;  // a failed connect shows in `failed`; SO_ERROR tells
    }
  }

  Socket s_;
  const HttpLimits& limits_;
  const std::atomic<bool>& ending_;
  ULONGLONG deadline_;
};

// The header block of an answer, as far as a GET needs it.
struct Head {
  uint32_t status = 0;
  bool chunked = false, hasLength = false;
  uint64_t length = 0;
  std::string location;
};

std::string headerValue(const std::string& line, const char* name) {
  const size_t n = std::strlen(name);
  if (line.size() <= n || line[n] != ':' || !sameText(line.substr(0, n), name)) return "\x01";
  size_t b = n + 1, e = line.size();
  while (b < e && (line[b] == ' ' || line[b] == '\t')) ++b;
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) --e;
  return line.substr(b, e - b);
}

// Reads "HTTP/1.x NNN ..." and the headers from `block` (without the blank line).
bool parseHead(const std::string& block, Head& h) {
  size_t eol = block.find('\n');
  std::string first = block.substr(0, eol);
  if (!first.empty() && first.back() == '\r') first.pop_back();
  if (first.size() < 12 || first.compare(0, 7, "HTTP/1.") != 0 || first[8] != ' ') return false;
  for (int i = 9; i < 12; ++i)
    if (first[i] < '0' || first[i] > '9') return false;
  if (first.size() > 12 && first[12] != ' ') return false;
  h.status = uint32_t(std::stoul(first.substr(9, 3)));
  while (eol != std::string::npos) {
    const size_t next = block.find('\n', eol + 1);
    std::string line = block.substr(eol + 1, next == std::string::npos ? std::string::npos : next - eol - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    eol = next;
    if (std::string v = headerValue(line, "Content-Length"); v != "\x01") {
      if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos) return false;
      const uint64_t length = std::stoull(v);
      if (h.hasLength && length != h.length) return false;  // two lengths: which part is the body?
      h.hasLength = true, h.length = length;
    } else if (std::string v = headerValue(line, "Transfer-Encoding"); v != "\x01") {
      std::string lower = v;
      for (char& c : lower) c = char(tolower(static_cast<unsigned char>(c)));
      h.chunked = lower.size() >= 7 && lower.compare(lower.size() - 7, 7, "chunked") == 0;
    } else if (std::string v = headerValue(line, "Location"); v != "\x01") {
      h.location = v;
    }
  }
  return true;
}

class PlainRequest {
 public:
  PlainRequest(const HttpLimits& limits, const std::atomic<bool>& ending, ULONGLONG deadline, const AfterRead& afterRead)
      : limits_(limits), c_(limits, ending, deadline), pieces_(limits.pieceBytes, afterRead) {}

  Hop run(const Target& t) {
    Hop hop;
    HttpResponse& r = hop.r;
    if ((r.failure = c_.open(t)) != HttpFailure::None) return hop;
    const bool defaultPort = t.port == INTERNET_DEFAULT_HTTP_PORT;
    const std::string request = "GET " + t.object + " HTTP/1.1\r\nHost: " + t.host +
                                (defaultPort ? "" : ":" + std::to_string(t.port)) +
                                "\r\nUser-Agent: Mozilla\r\nAccept: */*\r\nPragma: no-cache\r\n"
                                "Cache-Control: no-cache\r\nConnection: close\r\n\r\n";
    if ((r.failure = c_.sendAll(request)) != HttpFailure::None) return hop;
    Head head;
    if ((r.failure = readHead(head)) != HttpFailure::None) return hop;
    r.status = head.status;
    if (isRedirect(head.status) && !head.location.empty()) {
      hop.location = head.location;
      r.failure = HttpFailure::None;
      return hop;  // its body is of no use
    }
    if (head.hasLength && head.length > limits_.maxBodyBytes) {
      r.failure = HttpFailure::TooLarge;
      return hop;
    }
    if (head.hasLength) pieces_.expect(size_t(head.length));
    const bool noBody = head.status == 204 || head.status == 304;
    r.failure = noBody ? HttpFailure::None
                : head.chunked ? readChunked(r.body)
                : head.hasLength ? readLength(r.body, head.length)
                : readToClose(r.body);
    if (r.failure == HttpFailure::None) pieces_.end(r.body.size());
    return hop;
  }

 private:
  HttpFailure more() {
    if (closed_) return HttpFailure::Broken;
    return c_.receive(in_, closed_);
  }

  HttpFailure readHead(Head& head) {
    for (;;) {
      size_t end = in_.find("\r\n\r\n"), skip = 4;
      if (size_t lf = in_.find("\n\n"); lf != std::string::npos && lf < end) end = lf, skip = 2;
      // What does not begin as an answer is not one; no need to wait for the rest.
      const size_t known = std::min<size_t>(in_.size(), 5);
      if (in_.compare(0, known, std::string("HTTP/").substr(0, known)) != 0) return HttpFailure::NotHttp;
      if (end != std::string::npos) {
        if (!parseHead(in_.substr(0, end), head)) return HttpFailure::NotHttp;
        in_.erase(0, end + skip);
        if (head.status >= 100 && head.status < 200) {  // an interim answer: the real one follows
          head = Head();
          continue;
        }
        return HttpFailure::None;
      }
      if (in_.size() > 65536) return HttpFailure::NotHttp;
      if (closed_) return in_.empty() ? HttpFailure::NoConnection : HttpFailure::NotHttp;
      if (HttpFailure f = c_.receive(in_, closed_); f != HttpFailure::None) return f;
    }
  }

  // Moves up to `want` received bytes into the body; false when the body passed the cap.
  bool take(std::string& body, size_t want) {
    const size_t n = std::min(want, in_.size());
    body.append(in_, 0, n);
    in_.erase(0, n);
    if (body.size() > limits_.maxBodyBytes) {
      body.resize(limits_.maxBodyBytes);
      return false;
    }
    pieces_.grew(body.size());
    return true;
  }

  HttpFailure readLength(std::string& body, uint64_t length) {
    while (body.size() < length) {
      if (!take(body, size_t(length - body.size()))) return HttpFailure::TooLarge;
      if (body.size() < length)
        if (HttpFailure f = more(); f != HttpFailure::None) return f;
    }
    return HttpFailure::None;
  }

  HttpFailure readToClose(std::string& body) {
    for (;;) {
      if (!take(body, in_.size())) return HttpFailure::TooLarge;
      if (closed_) return HttpFailure::None;
      if (HttpFailure f = c_.receive(in_, closed_); f != HttpFailure::None) return f;
    }
  }

  HttpFailure line(std::string& out) {
    for (;;) {
      if (size_t eol = in_.find('\n'); eol != std::string::npos) {
        out = in_.substr(0, eol);
        if (!out.empty() && out.back() == '\r') out.pop_back();
        in_.erase(0, eol + 1);
        return HttpFailure::None;
      }
      if (in_.size() > 4096) return HttpFailure::Broken;
      if (HttpFailure f = more(); f != HttpFailure::None) return f;
    }
  }

  // Only the last chunk, of size 0, says the answer is whole: a connection that closes before it
  // has cut the answer short. Once it has come the body is complete, and what may follow (trailers,
  // the final blank line) is never read: the connection is not used again, so a server that closes
  // among the trailers, or before the blank line, or says nothing more, loses nothing.
  HttpFailure readChunked(std::string& body) {
    for (std::string size;;) {
      if (HttpFailure f = line(size); f != HttpFailure::None) return f;
      size = size.substr(0, size.find(';'));
      while (!size.empty() && (size.back() == ' ' || size.back() == '\t')) size.pop_back();
      if (size.empty() || size.size() > 15 || size.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return HttpFailure::Broken;
      const uint64_t n = std::stoull(size, nullptr, 16);
      if (n == 0) return HttpFailure::None;
      if (HttpFailure f = readLength(body, body.size() + n); f != HttpFailure::None) return f;
      std::string end;
      if (HttpFailure f = line(end); f != HttpFailure::None) return f;
      if (!end.empty()) return HttpFailure::Broken;
    }
  }

  const HttpLimits& limits_;
  Connection c_;
  Pieces pieces_;
  std::string in_;
  bool closed_ = false;
};

}  // namespace

Hop plainHop(const Target& t, const HttpLimits& limits, const std::atomic<bool>& ending, uint64_t deadline,
             const AfterRead& afterRead) {
  return PlainRequest(limits, ending, deadline, afterRead).run(t);
}

}  // namespace quillon::win32::http
