// HTTP GET through WinINet, with every wait bounded.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace {
class InetHandle {
 public:
  explicit InetHandle(HINTERNET h) : h_(h) {}
  ~InetHandle() {
    if (h_) InternetCloseHandle(h_);
  }
  InetHandle(const InetHandle&) = delete;
  InetHandle& operator=(const InetHandle&) = delete;
  operator HINTERNET() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

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
}  // namespace

// A silent server holds WinINet's calls for as long as the time-outs allow: on a worker thread,
// so that the windows of the calling thread keep answering meanwhile.
HttpResponse Win32Http::get(const std::string& url, const HttpLimits& limits,
                            const std::function<void(int read, size_t received)>& afterRead) {
  if (!waitPump) return getHere(url, limits, afterRead);
  std::mutex m;
  std::vector<std::pair<int, size_t>> reads;
  std::atomic<bool> done{false};
  HttpResponse r;
  std::thread worker([&] {
    r = getHere(url, limits, [&](int n, size_t received) {
      std::lock_guard<std::mutex> lock(m);
      reads.emplace_back(n, received);
    });
    done = true;
  });
  std::vector<std::pair<int, size_t>> mine;
  for (bool last = false; !last;) {
    last = done;  // read before draining: nothing the worker reported is left behind
    {
      std::lock_guard<std::mutex> lock(m);
      mine.swap(reads);
    }
    for (const auto& [n, received] : mine)
      if (afterRead) afterRead(n, received);
    mine.clear();
    if (!last) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      waitPump->yield();
    }
  }
  worker.join();
  return r;
}

HttpResponse Win32Http::getHere(const std::string& url, const HttpLimits& limits,
                                const std::function<void(int read, size_t received)>& afterRead) {
  HttpResponse r;
  const ULONGLONG start = GetTickCount64();
  auto elapsed = [start] { return GetTickCount64() - start; };

  std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data(), parts.dwHostNameLength = DWORD(host.size());
  parts.lpszUrlPath = path.data(), parts.dwUrlPathLength = DWORD(path.size());
  parts.lpszExtraInfo = extra.data(), parts.dwExtraInfoLength = DWORD(extra.size());
  if (!InternetCrackUrlA(url.c_str(), DWORD(url.size()), 0, &parts) || !host[0] ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    r.failure = HttpFailure::BadUrl;
    return r;
  }
  const std::string object = std::string(path.data()) + extra.data();

  InetHandle root(InternetOpenA("Mozilla", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!root) return r;
  setTimeouts(root, limits);
  InetHandle connection(InternetConnectA(root, host.data(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return r;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  InetHandle request(HttpOpenRequestA(connection, "GET", object.empty() ? "/" : object.c_str(), nullptr, nullptr,
                                      nullptr, flags, 0));
  if (!request) return r;
  setTimeouts(request, limits);
  if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    const DWORD error = GetLastError();
    // A silent server ends the wait as an aborted connection on some systems.
    r.failure = timedOut(error) || elapsed() >= limits.receiveTimeoutMs ? HttpFailure::Timeout : HttpFailure::NoConnection;
    return r;
  }

  DWORD status = 0, size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) || status == 0) {
    r.failure = HttpFailure::NotHttp;
    return r;
  }
  r.status = status;
  DWORD announced = 0;
  size = sizeof announced;
  const bool hasLength =
      HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size, nullptr) != 0;
  if (hasLength && announced > limits.maxBodyBytes) {
    r.failure = HttpFailure::TooLarge;
    return r;
  }

  std::vector<char> piece(limits.pieceBytes ? limits.pieceBytes : 256);
  for (int n = 1;; ++n) {
    DWORD got = 0;
    if (!InternetReadFile(request, piece.data(), DWORD(piece.size()), &got)) {
      r.failure = timedOut(GetLastError()) ? HttpFailure::Timeout : HttpFailure::Broken;
      return r;
    }
    r.body.append(piece.data(), got);
    if (r.body.size() > limits.maxBodyBytes) {
      r.body.resize(limits.maxBodyBytes);
      r.failure = HttpFailure::TooLarge;
      return r;
    }
    if (afterRead) afterRead(n, r.body.size());
    if (got == 0) break;
    if (elapsed() >= limits.totalTimeoutMs) {
      r.failure = HttpFailure::Timeout;
      return r;
    }
  }
  // A connection that closes early looks like the end of the body: the announced length tells.
  r.failure = hasLength && r.body.size() != announced ? HttpFailure::Broken : HttpFailure::None;
  return r;
}

}  // namespace quillon::win32
