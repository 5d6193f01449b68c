// HTTP GET with every wait bounded. Plain HTTP is spoken over the system's sockets
// (win32_http_plain.cpp): WinINet (under Wine at least) takes a chunked answer cut before its
// last chunk for a whole one, fills each read before it returns however slowly the bytes come,
// and cannot be interrupted while it waits. HTTPS still goes through WinINet, which holds the
// encryption.
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_http.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace http {
bool sameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                                                int(b.size())) == CSTR_EQUAL;
}
}  // namespace http

namespace {

using namespace http;

bool crack(const std::string& url, Target& t) {
  std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data(), parts.dwHostNameLength = DWORD(host.size());
  parts.lpszUrlPath = path.data(), parts.dwUrlPathLength = DWORD(path.size());
  parts.lpszExtraInfo = extra.data(), parts.dwExtraInfoLength = DWORD(extra.size());
  if (url.empty() || !InternetCrackUrlA(url.c_str(), DWORD(url.size()), 0, &parts) || !host[0] ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
    return false;
  t.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  t.host = host.data();
  t.port = parts.nPort;
  t.object = std::string(path.data()) + extra.data();
  if (t.object.empty()) t.object = "/";
  // A blank or control byte would end the request line or add a header of the server's choosing.
  std::string object;
  for (unsigned char c : t.object) {
    if (c <= ' ' || c == 0x7F) return false;
    if (c < 0x80) {
      object += char(c);
    } else {
      object += '%';
      object += "0123456789ABCDEF"[c >> 4];
      object += "0123456789ABCDEF"[c & 15];
    }
  }
  t.object = object;
  for (unsigned char c : t.host)
    if (c <= ' ' || c == 0x7F) return false;
  return true;
}

// The address a redirect names, read against the one that was asked for.
std::string combine(const std::string& base, const std::string& location) {
  std::vector<char> out(base.size() + location.size() + 64);
  DWORD n = DWORD(out.size());
  if (!InternetCombineUrlA(base.c_str(), location.c_str(), out.data(), &n, ICU_NO_ENCODE)) return "";
  return std::string(out.data(), n);
}

// ---- HTTPS through WinINet ---------------------------------------------------------------------
// The timeouts go on the request handle itself: the session's are not handed down to the
// connection everywhere (Wine's WinINet waits for ever on a silent server otherwise).
void setTimeouts(HINTERNET h, const HttpLimits& limits) {
  DWORD connect = limits.connectTimeoutMs, receive = limits.receiveTimeoutMs, retries = 1;
  InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionA(h, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof retries);
  InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
  InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  InternetSetOptionA(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, &receive, sizeof receive);
  InternetSetOptionA(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

bool timedOut(DWORD error) { return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT; }

// Bounded between reads only: WinINet cannot be interrupted inside one.
Hop secureHop(const Target& t, const HttpLimits& limits, const std::atomic<bool>& ending, ULONGLONG deadline,
              const AfterRead& afterRead) {
  Hop hop;
  HttpResponse& r = hop.r;
  InternetHandle root(InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!root) return hop;
  setTimeouts(root, limits);
  InternetHandle connection(InternetConnectA(root, t.host.c_str(), t.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return hop;
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT |
                      INTERNET_FLAG_SECURE;
  InternetHandle request(HttpOpenRequestA(connection, "GET", t.object.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request) return hop;
  setTimeouts(request, limits);
  const ULONGLONG start = GetTickCount64();
  if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    const DWORD error = GetLastError();
    r.failure = timedOut(error) || GetTickCount64() - start >= limits.receiveTimeoutMs ? HttpFailure::Timeout
                                                                                       : HttpFailure::NoConnection;
    return hop;
  }
  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) || status == 0) {
    r.failure = HttpFailure::NotHttp;
    return hop;
  }
  r.status = status;
  if (isRedirect(status)) {
    char where[2048];
    size = sizeof where;
    if (HttpQueryInfoA(request, HTTP_QUERY_LOCATION, where, &size, nullptr)) {
      hop.location.assign(where, size);
      r.failure = HttpFailure::None;
      return hop;
    }
  }
  DWORD announced = 0;
  size = sizeof announced;
  const bool hasLength =
      HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size, nullptr) != 0;
  if (hasLength && announced > limits.maxBodyBytes) {
    r.failure = HttpFailure::TooLarge;
    return hop;
  }
  std::vector<char> piece(limits.pieceBytes ? limits.pieceBytes : 256);
  for (int n = 1;; ++n) {
    if (ending) {
      r.failure = HttpFailure::Cancelled;
      return hop;
    }
    DWORD got = 0;
    if (!InternetReadFile(request, piece.data(), DWORD(piece.size()), &got)) {
      r.failure = timedOut(GetLastError()) ? HttpFailure::Timeout : HttpFailure::Broken;
      return hop;
    }
    r.body.append(piece.data(), got);
    if (r.body.size() > limits.maxBodyBytes) {
      r.body.resize(limits.maxBodyBytes);
      r.failure = HttpFailure::TooLarge;
      return hop;
    }
    if (afterRead) afterRead(n, r.body.size(), hasLength ? size_t(announced) : 0);
    if (got == 0) break;
    if (GetTickCount64() >= deadline) {
      r.failure = HttpFailure::Timeout;
      return hop;
    }
  }
  // A connection that closes early looks like the end of the body: the announced length tells.
  r.failure = hasLength && r.body.size() != announced ? HttpFailure::Broken : HttpFailure::None;
  return hop;
}

// The request and the redirects it is sent on, all within the one bound. A redirect is followed
// only to the server that was asked, so an answer always comes from the server the settings name.
HttpResponse getHere(std::string url, const HttpLimits& limits, const std::atomic<bool>& ending,
                     const AfterRead& afterRead) {
  const ULONGLONG deadline = GetTickCount64() + limits.totalTimeoutMs;
  HttpResponse r;
  Target first;
  if (!crack(url, first)) {
    r.failure = HttpFailure::BadUrl;
    return r;
  }
  Target t = first;
  for (int redirects = 0;; ++redirects) {
    if (ending) {
      r.failure = HttpFailure::Cancelled;
      return r;
    }
    Hop hop = t.https ? secureHop(t, limits, ending, deadline, afterRead)
                      : plainHop(t, limits, ending, deadline, afterRead);
    if (hop.location.empty()) return hop.r;
    Target next;
    url = combine(url, hop.location);
    if (redirects >= limits.maxRedirects || !crack(url, next) || !next.sameServer(first)) {
      hop.r.failure = HttpFailure::Redirect;
      return hop.r;
    }
    t = next;
  }
}

// What a request on a worker thread shares with its caller; kept alive by both, so that a
// request given up at the program's end may finish on its own.
struct Shared {
  struct Read {
    int n;
    size_t received, expected;
  };
  std::mutex m;
  std::vector<Read> reads;
  std::atomic<bool> done{false};
  HttpResponse r;
};

struct Sockets {
  Sockets() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
  }
  ~Sockets() { WSACleanup(); }
};

}  // namespace

Win32Http::Win32Http() : ending_(std::make_shared<std::atomic<bool>>(false)) {}

void Win32Http::abandonAll() { *ending_ = true; }

// A silent server holds a request for as long as its bounds allow: on a worker thread, so that
// the windows of the calling thread keep answering meanwhile.
HttpResponse Win32Http::get(const std::string& url, const HttpLimits& limits,
                            const std::function<void(int read, size_t received, size_t expected)>& afterRead) {
  static Sockets sockets;
  if (!waitPump) return getHere(url, limits, *ending_, afterRead);
  auto shared = std::make_shared<Shared>();
  std::thread worker([shared, ending = ending_, url, limits] {
    HttpResponse r = getHere(url, limits, *ending, [&shared](int n, size_t received, size_t expected) {
      std::lock_guard<std::mutex> lock(shared->m);
      shared->reads.push_back({n, received, expected});
    });
    std::lock_guard<std::mutex> lock(shared->m);
    shared->r = std::move(r);
    shared->done = true;
  });
  std::vector<Shared::Read> mine;
  ULONGLONG givenUpAt = 0;
  for (bool last = false; !last;) {
    last = shared->done;  // read before draining: nothing the worker reported is left behind
    {
      std::lock_guard<std::mutex> lock(shared->m);
      mine.swap(shared->reads);
    }
    for (const Shared::Read& read : mine)
      if (afterRead && !*ending_) afterRead(read.n, read.received, read.expected);
    mine.clear();
    if (last) break;
    if (*ending_) {
      // A plain request ends within one wait step; WinINet may hold its worker until its own
      // time-out, and the program does not wait for that.
      if (!givenUpAt) givenUpAt = GetTickCount64();
      if (GetTickCount64() - givenUpAt > 200) {
        worker.detach();
        HttpResponse r;
        r.failure = HttpFailure::Cancelled;
        return r;
      }
      Sleep(10);
      continue;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    waitPump->yield();
  }
  worker.join();
  return std::move(shared->r);
}

}  // namespace quillon::win32
