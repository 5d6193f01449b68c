// The HTTP GET against servers started by the test on 127.0.0.1: well-behaved ones, and ones
// that are silent, slow, endless, short of what they announced, or not HTTP at all.
#include <winsock2.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/fakes.h"
#include "tests/local_server.h"

using namespace quillon;
using namespace quillon::test;

namespace {

LocalServer::Serve answer(const std::string& bytes) {
  return [bytes](SOCKET s, LocalServer&) { LocalServer::sendAll(s, bytes); };
}

struct Timed {
  HttpResponse response;
  ULONGLONG ms;
  std::vector<std::pair<int, size_t>> reads;
};

Timed get(const std::string& url, const HttpLimits& limits = HttpLimits()) {
  win32::Win32Http http;
  Timed t;
  ULONGLONG start = GetTickCount64();
  t.response = http.get(url, limits, [&t](int read, size_t received, size_t) { t.reads.push_back({read, received}); });
  t.ms = GetTickCount64() - start;
  return t;
}

HttpLimits quick() {
  HttpLimits l;
  l.connectTimeoutMs = 2000;
  l.receiveTimeoutMs = 1500;
  l.totalTimeoutMs = 4000;
  return l;
}

}  // namespace

TEST(Http, ReturnsStatusAndBodyExactlyAndNeverFromTheCache) {
  int served = 0;
  LocalServer server([&served](SOCKET s, LocalServer&) {
    ++served;
    const std::string body = served == 1 ? "hello" : served == 2 ? std::string(256, 'x') : "second answer";
    // The first answer offers a cookie: no later request may carry it back.
    if (served == 1) LocalServer::sendAll(s, "HTTP/1.1 200 OK\r\nSet-Cookie: id=1\r\nContent-Length: 5\r\n\r\nhello");
    else LocalServer::sendAll(s, ok200(body));
  });
  Timed t = get(server.url("/asp/date.asp?prog=A%20B&x=1"));
  ASSERT_TRUE(t.response.ok());
  EXPECT_EQ(t.response.status, 200u);
  EXPECT_EQ(t.response.body, "hello");  // shorter than a piece: exactly, without padding
  EXPECT_EQ(t.reads, (std::vector<std::pair<int, size_t>>{{1, 5}, {2, 5}}));
  const std::string request = server.lastRequest();
  EXPECT_EQ(request.rfind("GET /asp/date.asp?prog=A%20B&x=1 HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("User-Agent: Mozilla\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("Pragma: no-cache"), std::string::npos) << request;

  // Exactly one piece: the second read delivers nothing and ends the loop.
  t = get(server.url("/asp/date.asp?prog=A%20B&x=1"));
  EXPECT_EQ(t.response.body, std::string(256, 'x'));
  EXPECT_EQ(t.reads, (std::vector<std::pair<int, size_t>>{{1, 256}, {2, 256}}));
  // The same address again reaches the server: nothing was kept from the earlier answers.
  t = get(server.url("/asp/date.asp?prog=A%20B&x=1"));
  EXPECT_EQ(t.response.body, "second answer");
  EXPECT_EQ(served, 3);
  EXPECT_EQ(server.lastRequest().find("Cookie"), std::string::npos) << server.lastRequest();
}

TEST(Http, AnErrorPageAndBinaryBytesComeBackAsTheyAre) {
  std::string binary("a\0b\xFF\r\n\x1A", 7);
  LocalServer server([&binary](SOCKET s, LocalServer&) {
    LocalServer::sendAll(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\n\r\n" + binary);
  });
  Timed t = get(server.url("/missing"));
  ASSERT_TRUE(t.response.ok());
  EXPECT_EQ(t.response.status, 404u);
  EXPECT_EQ(t.response.body, binary);

  HttpLimits small;
  small.pieceBytes = 3;
  t = get(server.url("/missing"), small);
  EXPECT_EQ(t.response.body, binary);
  EXPECT_EQ(t.reads.size(), 4u);  // 3 + 3 + 1, then the empty read
}

TEST(Http, UnreachableAndMalformedAddressesFailAtOnce) {
  // A port that was free a moment ago: the connection is refused.
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(probe);
  Timed t = get("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/", quick());
  EXPECT_EQ(t.response.failure, HttpFailure::NoConnection);
  EXPECT_EQ(t.response.status, 0u);
  EXPECT_LT(t.ms, 4000u);
  for (const char* bad : {"", "not an address", "ftp://127.0.0.1/x", "file:///C:/windows/win.ini"})
    EXPECT_EQ(get(bad, quick()).response.failure, HttpFailure::BadUrl) << bad;
}

TEST(Http, ASilentOrSlowServerCannotHoldTheCallBeyondItsBounds) {
  // Accepts, reads the request, never answers.
  LocalServer silent([](SOCKET, LocalServer& s) { s.stopping(60000); });
  Timed t = get(silent.url(), quick());
  EXPECT_EQ(t.response.failure, HttpFailure::Timeout);
  EXPECT_LT(t.ms, 1500u + 2500u);

  // Answers the headers and part of the body, then falls silent.
  LocalServer stalled([](SOCKET c, LocalServer& s) {
    LocalServer::sendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    s.stopping(60000);
  });
  t = get(stalled.url(), quick());
  EXPECT_EQ(t.response.failure, HttpFailure::Timeout);
  EXPECT_EQ(t.response.status, 200u);
  EXPECT_LT(t.ms, 1500u + 2500u);

  // A byte every 300 ms never trips the wait for one piece; the bound on the whole does.
  LocalServer trickle([](SOCKET c, LocalServer& s) {
    LocalServer::sendAll(c, "HTTP/1.1 200 OK\r\n\r\n");
    for (int i = 0; i < 200 && !s.stopping(300); ++i) LocalServer::sendAll(c, "x");
  });
  HttpLimits limits = quick();
  limits.pieceBytes = 1;
  limits.totalTimeoutMs = 1500;
  t = get(trickle.url(), limits);
  EXPECT_EQ(t.response.failure, HttpFailure::Timeout);
  EXPECT_FALSE(t.response.body.empty());
  EXPECT_LT(t.ms, 1500u + 1500u + 1000u);
}

TEST(Http, ShortAndOversizedAnswersAreFailures) {
  // The connection closes before the announced length: not a complete answer.
  LocalServer shortAnswer(answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhello"));
  Timed t = get(shortAnswer.url(), quick());
  EXPECT_EQ(t.response.failure, HttpFailure::Broken);
  EXPECT_EQ(t.response.body, "hello");

  // A body without end stops at the cap, at once.
  LocalServer endless([](SOCKET c, LocalServer& s) {
    LocalServer::sendAll(c, "HTTP/1.1 200 OK\r\n\r\n");
    const std::string chunk(4096, 'a');
    for (int i = 0; i < 100000 && !s.stopping(0); ++i)
      if (send(c, chunk.data(), int(chunk.size()), 0) <= 0) break;
  });
  HttpLimits limits = quick();
  limits.maxBodyBytes = 64 * 1024;
  limits.pieceBytes = 4096;
  t = get(endless.url(), limits);
  EXPECT_EQ(t.response.failure, HttpFailure::TooLarge);
  EXPECT_EQ(t.response.body.size(), limits.maxBodyBytes);
  EXPECT_LT(t.ms, 3000u);

  // An announced length above the cap is refused before anything is read.
  LocalServer huge(answer("HTTP/1.1 200 OK\r\nContent-Length: 900000000\r\n\r\nabc"));
  limits.maxBodyBytes = 1000;
  t = get(huge.url(), limits);
  EXPECT_EQ(t.response.failure, HttpFailure::TooLarge);
  EXPECT_TRUE(t.reads.empty());
}

TEST(Http, GarbageNeverHangsNorComesBackAsMoreThanWasSent) {
  const std::string garbage[] = {
      std::string("\x01\x02\x03 not http at all\r\n\xFF\xFEzzz", 23),
      std::string("\0\0\0\0\0\0\0\0", 8),
      "HTTP/1.1 abc\r\n\r\nbody",
      "HTTP/1.1 200 OK\r\nno colon in this header\r\n\r\nbody",
      std::string(70000, 'G'),  // one endless "status line"
  };
  for (const std::string& bytes : garbage) {
    LocalServer server(answer(bytes));
    Timed t = get(server.url(), quick());
    EXPECT_LT(t.ms, 4000u);
    // The system's library may take a line it cannot read as an answer without headers; what
    // it then hands back is never more than the server sent. An answer without a status is
    // no answer.
    if (t.response.ok()) {
      EXPECT_NE(t.response.status, 0u);
      EXPECT_NE(bytes.find(t.response.body), std::string::npos);
    } else {
      EXPECT_EQ(t.response.failure, HttpFailure::NotHttp) << bytes.substr(0, 40);
    }
  }
  // Garbage from a server that then stays silent ends at the bound like any silence.
  LocalServer silentGarbage([](SOCKET c, LocalServer& s) {
    LocalServer::sendAll(c, "\x05garbage without an end");
    s.stopping(60000);
  });
  Timed t = get(silentGarbage.url(), quick());
  EXPECT_FALSE(t.response.ok());
  EXPECT_LT(t.ms, 4000u + 2500u);
}

// Answers that try to hold the program, send it elsewhere or pass a cut answer off as whole.
TEST(Http, HostileAnswersFailAsWhatTheyAreWithinTheBound) {
  struct Case {
    const char* what;
    std::function<void(SOCKET, LocalServer&, const std::string& path)> serve;
    HttpFailure failure;
    std::string body;
  };
  auto redirect = [](const std::string& to) {
    return "HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n";
  };
  auto redirects = [&](int n) {  // /rN sends on to /r(N-1), /r0 answers
    return [&, n](SOCKET s, LocalServer&, const std::string& path) {
      const int left = path == "/" ? n : std::stoi(path.substr(2));
      LocalServer::sendAll(s, left ? redirect("/r" + std::to_string(left - 1)) : ok200("arrived"));
    };
  };
  LocalServer other(answer(ok200("from another server")));
  const Case cases[] = {
      {"redirect loop", [&](SOCKET s, LocalServer&, const std::string&) { LocalServer::sendAll(s, redirect("/")); },
       HttpFailure::Redirect, ""},
      {"another host", [&](SOCKET s, LocalServer& self, const std::string& path) {
         LocalServer::sendAll(s, path == "/" ? redirect("http://localhost:" + self.url().substr(17) + "moved") : ok200("moved"));
       }, HttpFailure::Redirect, ""},
      {"another port", [&](SOCKET s, LocalServer&, const std::string&) { LocalServer::sendAll(s, redirect(other.url())); },
       HttpFailure::Redirect, ""},
      {"three redirects", redirects(3), HttpFailure::None, "arrived"},
      {"four redirects", redirects(4), HttpFailure::Redirect, ""},
      {"a byte a second",
       [](SOCKET s, LocalServer& self, const std::string&) {
         LocalServer::sendAll(s, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
         for (int i = 0; i < 100 && !self.stopping(1000); ++i) LocalServer::sendAll(s, "x");
       },
       HttpFailure::Timeout, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LocalServer server([&c](SOCKET s, LocalServer& self) {
      const std::string request = self.lastRequest();
      c.serve(s, self, request.substr(4, request.find(' ', 4) - 4));
    });
    HttpLimits limits = quick();
    limits.totalTimeoutMs = 2500;
    Timed t = get(server.url(), limits);
    EXPECT_EQ(t.response.failure, c.failure);
    if (c.failure == HttpFailure::None) {
      EXPECT_EQ(t.response.body, c.body);
    }
    EXPECT_LT(t.ms, 2500u + 500u);
    EXPECT_LE(server.connections(), 4);  // the first request and at most three redirects
  }
}

// A chunked answer is whole once its last chunk has come, whatever follows it: trailers, the
// blank line, a close or nothing at all. Cut anywhere before that, it is Broken.
TEST(Http, AChunkedAnswerIsWholeExactlyWhenItsLastChunkCame) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", body = "5;x=1\r\nhello\r\n7\r\n, world\r\n";
  const struct {
    const char* what;
    std::string rest;  // after the head; the server closes after it unless `thenSilent`
    bool thenSilent;
    HttpFailure failure;
  } cases[] = {
      {"trailers, then the blank line", body + "0\r\nTrailer: t\r\n\r\n", false, HttpFailure::None},
      {"trailers, then a close", body + "0\r\nTrailer: t\r\nOther: u\r\n", false, HttpFailure::None},
      {"a trailer cut by the close", body + "0\r\nTrail", false, HttpFailure::None},
      {"the last chunk, then a close", body + "0\r\n", false, HttpFailure::None},
      {"the last chunk with an extension, then a close", body + "0;end=1\r\n", false, HttpFailure::None},
      {"the last chunk, then silence", body + "0\r\n", true, HttpFailure::None},
      {"cut before the last chunk", body, false, HttpFailure::Broken},
      {"cut inside the last chunk's line", body + "0", false, HttpFailure::Broken},
      {"cut inside a chunk", "a\r\nhel", false, HttpFailure::Broken},
      {"cut before a chunk's line end", "5\r\nhello", false, HttpFailure::Broken},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LocalServer server([&c, &head](SOCKET s, LocalServer& self) {
      LocalServer::sendAll(s, head + c.rest);
      if (c.thenSilent) self.stopping(10000);
    });
    Timed t = get(server.url(), quick());
    EXPECT_EQ(t.response.failure, c.failure);
    if (c.failure == HttpFailure::None) {
      EXPECT_EQ(t.response.body, "hello, world");
      EXPECT_LT(t.ms, 1000u);  // never waits for what the body does not need
    }
  }
}

// With windows to keep answering, the calling thread goes on pumping while the server is
// silent, and the reads are still reported there, once each, in order.
TEST(Http, AWindowedCallerKeepsPumpingWhileTheServerIsSilent) {
  LocalServer slow([](SOCKET c, LocalServer& s) {
    if (s.stopping(800)) return;
    LocalServer::sendAll(c, ok200(std::string(1000, 'y')));
  });
  win32::Win32Http http;
  test::FakePump pump;
  http.waitPump = &pump;
  const DWORD caller = GetCurrentThreadId();
  std::vector<std::pair<int, size_t>> reads;
  bool onCaller = true;
  HttpResponse r = http.get(slow.url(), quick(), [&](int n, size_t received, size_t) {
    reads.push_back({n, received});
    onCaller = onCaller && GetCurrentThreadId() == caller;
  });
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.body, std::string(1000, 'y'));
  EXPECT_TRUE(onCaller);
  EXPECT_GT(pump.yields, 20);  // about every 10 ms of the 800 ms silence
  ASSERT_EQ(reads.size(), 5u);  // four pieces of 256 bytes at most, then the empty read
  for (size_t i = 0; i < reads.size(); ++i) EXPECT_EQ(reads[i].first, int(i + 1));
  EXPECT_EQ(reads.back().second, 1000u);

  // A silent server still ends at the bound.
  LocalServer silent([](SOCKET, LocalServer& s) { s.stopping(60000); });
  r = http.get(silent.url(), quick(), nullptr);
  EXPECT_EQ(r.failure, HttpFailure::Timeout);
}
