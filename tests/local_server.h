// A tiny HTTP server on a free port of 127.0.0.1 for tests that talk to one.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quillon::test {

// A listener on a free port of 127.0.0.1. Each connection's request is read up to its blank
// line and handed with the socket to `serve`; the server stops when the test ends.
class LocalServer {
 public:
  using Serve = std::function<void(SOCKET, LocalServer&)>;
  explicit LocalServer(Serve serve) : serve_(std::move(serve)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 8);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~LocalServer() {
    SetEvent(stop_);
    closesocket(listener_);
    thread_.join();
    CloseHandle(stop_);
    WSACleanup();
  }
  std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Waits up to `ms` unless the server is stopping; true when it is.
  bool stopping(DWORD ms) { return WaitForSingleObject(stop_, ms) == WAIT_OBJECT_0; }
  static void sendAll(SOCKET s, const std::string& data) { send(s, data.data(), int(data.size()), 0); }
  std::string lastRequest() const {
    std::lock_guard<std::mutex> lock(m_);
    return request_;
  }
  int connections() const { return connections_; }

 private:
  void run() {
    for (;;) {
      SOCKET c = accept(listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      ++connections_;
      std::string request;
      char buf[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        int n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      {
        std::lock_guard<std::mutex> lock(m_);
        request_ = request;
      }
      serve_(c, *this);
      closesocket(c);
    }
  }
  Serve serve_;
  SOCKET listener_ = INVALID_SOCKET;
  HANDLE stop_ = nullptr;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex m_;
  std::string request_;
  std::atomic<int> connections_{0};
};

// A whole answer of status 200 carrying `body`.
inline std::string ok200(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace quillon::test
