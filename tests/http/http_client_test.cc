#include "http/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "support/expect_throw.h"
#include "support/loopback_server.h"

namespace qelvu {
namespace {

using test::TLoopbackServer;
using test::TServerScript;

constexpr char kHello[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

class HttpClientTest : public ::testing::Test {
 protected:
  HttpClientTest() { client_.ReadTimeout = 5000; }

  // The request head the scraper's client sends for `target`.
  std::string ScraperHead(const std::string& target, const std::string& extra = "") const {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server_.Port()) +
           "\r\nAccept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Qelvu)\r\n" + extra +
           "\r\n";
  }

  TLoopbackServer server_;
  THttpClient client_;
  TStringStream sink_;
};

TEST_F(HttpClientTest, ScraperRequestsOnOneKeptConnectionWithCookie) {
  server_.AddConnection(TServerScript()
                            .ReadRequest()
                            .Send("HTTP/1.1 200 OK\r\nSet-Cookie: sid=42; path=/\r\n"
                                  "Content-Length: 5\r\n\r\nfront")
                            .ReadRequest()
                            .Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlist"));
  client_.GetDocument(server_.Url("/"), sink_);
  client_.GetDocument(server_.Url("/list.htm"), sink_);
  EXPECT_EQ(sink_.DataString(), "frontlist");
  EXPECT_EQ(server_.AcceptedConnections(), 1);
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], ScraperHead("/"));
  EXPECT_EQ(requests[1], ScraperHead("/list.htm", "Cookie: sid=42\r\n"));
  EXPECT_TRUE(client_.IsConnected());
}

TEST_F(HttpClientTest, ConnectionCloseAndVersion10DropTheConnection) {
  struct Case {
    const char* name;
    THttpProtocolVersion version;
    const char* answer;
    const char* request_connection_line;
  } cases[] = {
      {"close", THttpProtocolVersion::pv1_1,
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello", ""},
      {"1.0 without keep-alive", THttpProtocolVersion::pv1_0, kHello, "Connection: keep-alive\r\n"},
      // A 1.0 server closes after its answer; reusing the connection would race that close.
      {"1.0 server", THttpProtocolVersion::pv1_1,
       "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer));
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer));
    THttpClient client;
    client.ProtocolVersion = c.version;
    TStringStream sink;
    client.GetDocument(server.Url("/a"), sink);
    EXPECT_FALSE(client.IsConnected());
    client.GetDocument(server.Url("/b"), sink);
    EXPECT_EQ(sink.DataString(), "hellohello");
    EXPECT_EQ(server.AcceptedConnections(), 2);
    std::string first = server.Requests().at(0);
    EXPECT_NE(first.find(std::string("GET /a HTTP/") +
                         (c.version == THttpProtocolVersion::pv1_0 ? "1.0\r\n" : "1.1\r\n") +
                         c.request_connection_line),
              std::string::npos)
        << first;
  }
}

TEST_F(HttpClientTest, KeptConnectionTheServerDroppedIsReopened) {
  for (bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "closed");
    TLoopbackServer server;
    TServerScript first;
    first.ReadRequest().Send(kHello).Delay(20);
    if (reset) {
      first.Reset();
    } else {
      first.Close();
    }
    server.AddConnection(first);
    server.AddConnection(TServerScript().ReadRequest().Send(kHello));
    THttpClient client;
    TStringStream sink;
    client.GetDocument(server.Url("/"), sink);
    // The second request must meet a connection the server has already dropped: wait until
    // its close or reset has reached the client's socket (it stays unread for the client).
    auto& transport = dynamic_cast<TSocketTransport&>(*client.Transport());
    ASSERT_TRUE(TSocketStack::Instance().WaitReadable(transport.Socket()->Handle(), 5000));
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hellohello");
    EXPECT_EQ(server.AcceptedConnections(), 2);
  }
}

// The server takes the second request on the kept connection and closes (or resets) it
// without an answer, as one does whose idle limit ran out just then. It would answer a third
// request on a new connection.
TEST_F(HttpClientTest, AKeptConnectionClosedUnderARequestIsRetriedOnlyForAReadOnce) {
  struct Case {
    const char* name;
    THttpMethod method;
    const char* partial_answer;
    bool reset;
    bool fresh;
    bool retried;
  } cases[] = {
      {"GET, closed", THttpMethod::hmGet, "", false, false, true},
      {"GET, reset", THttpMethod::hmGet, "", true, false, true},
      {"HEAD, closed", THttpMethod::hmHead, "", false, false, true},
      {"POST, closed", THttpMethod::hmPost, "", false, false, false},
      {"GET after part of the answer", THttpMethod::hmGet, "HTTP/1.1 200", false, false, false},
      {"GET on a fresh connection", THttpMethod::hmGet, "", false, true, false},
  };
  const std::string empty_answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript first;
    if (!c.fresh) first.ReadRequest().Send(kHello);
    first.ReadRequest().Send(c.partial_answer).Delay(20);
    if (c.reset) {
      first.Reset();
    } else {
      first.Close();
    }
    server.AddConnection(first);
    server.AddConnection(TServerScript().ReadRequest().Send(empty_answer));
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink;
    if (!c.fresh) client.GetDocument(server.Url("/"), sink);
    TStringStream body("data");
    bool failed = false;
    try {
      client.PerformRequest(c.method, server.Url("/again"), &body, &sink);
    } catch (const ENetException& e) {
      failed = true;
      EXPECT_FALSE(c.retried) << e.what();
    }
    EXPECT_EQ(failed, !c.retried);
    EXPECT_EQ(server.AcceptedConnections(), c.retried ? 2 : 1);
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), (c.fresh ? 1u : 2u) + (c.retried ? 1u : 0u));
    if (c.retried) {
      EXPECT_EQ(requests.back(), requests[requests.size() - 2]);
    }
  }
}

TEST_F(HttpClientTest, BodyForms) {
  struct Case {
    const char* name;
    const char* answer;
    bool server_closes;
    const char* body;
  } cases[] = {
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       false, "hello"},
      {"chunk extension after a blank",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3 ;x=1\r\nabc\r\n0\r\n\r\n", false,
       "abc"},
      {"chunk size beyond 32 bits ends the body",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffff\r\n\r\n", false, ""},
      {"garbage chunk size ends the body",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n\r\n", false, ""},
      {"100 then 200",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false, "ok"},
      {"204 reads nothing", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", false, ""},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, ""},
      {"no length: until the server closes", "HTTP/1.0 200 OK\r\n\r\nuntil close", true,
       "until close"},
      {"length larger than what comes", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nshort",
       true, "short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript script;
    script.ReadRequest().Send(c.answer);
    if (c.server_closes) {
      script.Close();
    } else {
      script.ReadRequest().Send(kHello);
    }
    server.AddConnection(script);
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink("prefix");
    sink.SetPosition(6);
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), std::string("prefix") + c.body);
    if (c.server_closes) {
      EXPECT_FALSE(client.IsConnected());
      continue;
    }
    // Nothing of the answer was left unread: the next answer on the connection reads cleanly.
    TStringStream next;
    client.GetDocument(server.Url("/"), next);
    EXPECT_EQ(next.DataString(), "hello");
    EXPECT_EQ(server.AcceptedConnections(), 1);
  }
}

TEST_F(HttpClientTest, FinalStatusesOtherThan2xxRaise) {
  struct Case {
    const char* name;
    const char* answer;
    const char* message;
    int code;
    const char* error_body;
  } cases[] = {
      {"404 with body", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone",
       "HTTP/1.1 404 Not Found", 404, "gone"},
      {"302 redirect", "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
       "HTTP/1.1 302 Found", 302, ""},
      {"200 with Location", "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 2\r\n\r\nok",
       "HTTP/1.1 200 OK", 200, "ok"},
      {"non-numeric status", "HTTP/1.1 abc Odd\r\nContent-Length: 1\r\n\r\nz", "HTTP/1.1 abc Odd",
       -1, "z"},
      {"304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 304 Not Modified",
       304, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer).ReadRequest().Send(kHello));
    THttpClient client;
    TStringStream sink;
    auto failure = test::ExpectThrow<EHTTPProtocolException>(
        [&] { client.GetDocument(server.Url("/"), sink); });
    if (failure) {
      EXPECT_STREQ(failure->what(), c.message);
      EXPECT_EQ(failure->ErrorCode(), c.code);
      EXPECT_EQ(failure->ErrorBody(), c.error_body);
    }
    EXPECT_EQ(sink.DataString(), "");
    // The error answer was read whole, so the kept connection serves the next request.
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hello");
  }
}

TEST_F(HttpClientTest, FollowsRelativeRedirectsWhenAsked) {
  server_.AddConnection(
      TServerScript()
          .ReadRequest()
          .Send("HTTP/1.1 301 Moved\r\nLocation: x.htm\r\nContent-Length: 3\r\n\r\nold")
          .ReadRequest()
          .Send(kHello));
  client_.HandleRedirects = true;
  client_.GetDocument(server_.Url("/d/p.htm"), sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  ASSERT_EQ(server_.Requests().size(), 2u);
  EXPECT_EQ(server_.Requests()[1].substr(0, 24), "GET /d/x.htm HTTP/1.1\r\nH");
}

TEST_F(HttpClientTest, MalformedAnswersEndInTheirExceptions) {
  struct Case {
    const char* name;
    std::string answer;
    bool close;
    const char* exception;
  } cases[] = {
      {"status line over the limit", std::string(20000, 'A') + "\r\n\r\n", false,
       "EReadLnMaxLineLengthExceeded"},
      {"header line over the limit (a 100 KB cookie)",
       "HTTP/1.1 200 OK\r\nSet-Cookie: a=" + std::string(100000, 'c') + "\r\n\r\n", false,
       "EReadLnMaxLineLengthExceeded"},
      {"header block that never ends",
       "HTTP/1.1 200 OK\r\n" +
           [] {
             std::string lines;
             for (int i = 0; i < 40000; ++i) lines += "X-Filler-" + std::to_string(i) + ": yes\r\n";
             return lines;
           }(),
       false, "EHeaderBlockTooLarge"},
      {"absurd chunk size, then the server closes",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffff\r\nabc", true,
       "EConnClosedGracefully"},
      {"closed before the status line", "", true, "EConnClosedGracefully"},
      {"closed after a 2xx head", "HTTP/1.1 200 OK\r\nA: b\r\n", true, "ENetException"},
      {"closed before the first header", "HTTP/1.1 200 OK\r\n", true, "EConnClosedGracefully"},
      {"silent server", "", false, "EReadTimeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript script;
    script.ReadRequest().Send(c.answer);
    if (c.close) script.Close();
    server.AddConnection(script);
    THttpClient client;
    client.ReadTimeout = 300;
    client.MaxHeaderBlockSize = 64 * 1024;
    TStringStream sink;
    // Caught here, not with ExpectThrow: its copy would be cut down to ENetException and give
    // that class's name.
    try {
      client.GetDocument(server.Url("/"), sink);
      ADD_FAILURE() << "no exception";
    } catch (const ENetException& e) {
      EXPECT_STREQ(e.ClassName(), c.exception) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST_F(HttpClientTest, EndlessContinueAnswersEndTheRequest) {
  struct Case {
    int interim_answers;
    bool refused;
  } cases[] = {{16, false}, {17, true}, {1000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interim_answers);
    std::string answer;
    for (int i = 0; i < c.interim_answers; ++i) answer += "HTTP/1.1 100 Continue\r\n\r\n";
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(answer + kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink;
    if (!c.refused) {
      client.GetDocument(server.Url("/"), sink);
      EXPECT_EQ(sink.DataString(), "hello");
      continue;
    }
    auto failure =
        test::ExpectThrow<EProtocolReplyError>([&] { client.GetDocument(server.Url("/"), sink); });
    if (failure) {
      EXPECT_STREQ(failure->what(), "Too many 100 Continue answers.");
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(sink.DataString(), "");
  }
}

TEST_F(HttpClientTest, RedirectLimitEndsTheRequestWithTheLastRedirect) {
  TServerScript script;
  for (int i = 1; i <= 15; ++i) {
    std::string body = "r" + std::to_string(i);
    script.ReadRequest().Send("HTTP/1.1 302 Found\r\nLocation: /p" + std::to_string(i) +
                              "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                              body);
  }
  server_.AddConnection(script);
  client_.HandleRedirects = true;
  TStringStream sink("kept");
  sink.SetPosition(4);
  client_.GetDocument(server_.Url("/p0"), sink);
  EXPECT_EQ(server_.Requests().size(), 15u);
  EXPECT_EQ(client_.Response().Location, "/p15");
  EXPECT_EQ(sink.DataString(), "kept");
  EXPECT_EQ(client_.RedirectsDone(), 0);
}

TEST_F(HttpClientTest, AFailedRequestLeavesNoRedirectsToTheNextOne) {
  server_.AddConnection(TServerScript()
                            .ReadRequest()
                            .Send("HTTP/1.1 302 Found\r\nLocation: /b\r\nContent-Length: 0\r\n\r\n")
                            .ReadRequest()
                            .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                            .ReadRequest()
                            .Send("HTTP/1.1 302 Found\r\nLocation: /d\r\nContent-Length: 0\r\n\r\n")
                            .ReadRequest()
                            .Send(kHello));
  client_.HandleRedirects = true;
  client_.RedirectMaximum = 2;
  EXPECT_THROW(client_.GetDocument(server_.Url("/a"), sink_), EHTTPProtocolException);
  // Two passes of its own, as many as the first request took.
  client_.GetDocument(server_.Url("/c"), sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  EXPECT_EQ(server_.Requests().size(), 4u);
}

TEST_F(HttpClientTest, AnswersWithoutABodyEndAtTheirHead) {
  struct Case {
    const char* name;
    THttpMethod method;
    const char* answer;
    int error_code;  // 0: the request succeeds
  } cases[] = {
      {"HEAD announcing a length", THttpMethod::hmHead,
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 0},
      {"HEAD announcing chunks", THttpMethod::hmHead,
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 0},
      {"HEAD answered 404 with a length", THttpMethod::hmHead,
       "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n", 404},
      {"304 announcing a length", THttpMethod::hmGet,
       "HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n", 304},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer).ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 1000;
    TStringStream sink;
    try {
      client.PerformRequest(c.method, server.Url("/"), nullptr, &sink);
      EXPECT_EQ(c.error_code, 0) << "no exception";
    } catch (const EHTTPProtocolException& e) {
      EXPECT_EQ(e.ErrorCode(), c.error_code);
      EXPECT_EQ(e.ErrorBody(), "");
    }
    EXPECT_EQ(sink.DataString(), "");
    // The next answer's bytes were not taken for a body: they answer the next request.
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hello");
    EXPECT_EQ(server.AcceptedConnections(), 1);
  }
}

TEST_F(HttpClientTest, BodiesReadAsideAreBounded) {
  const std::string block(64 * 1024, 'x');
  constexpr size_t kEndless = 256;  // 16 MiB, far past what is drained
  struct Case {
    const char* name;
    std::string head;
    size_t blocks;
    bool follow;
    bool kept;  // the connection serves the next request
  } cases[] = {
      {"500 without a length, endless", "HTTP/1.1 500 Oops\r\n\r\n", kEndless, false, false},
      {"500 announcing 16 MiB", "HTTP/1.1 500 Oops\r\nContent-Length: 16777216\r\n\r\n", kEndless,
       false, false},
      {"404 of 128 KiB: read to its end", "HTTP/1.1 404 Gone\r\nContent-Length: 131072\r\n\r\n", 2,
       false, true},
      {"redirect with an endless body", "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\n", kEndless,
       true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript script = TServerScript().ReadRequest().Send(c.head).SendRepeated(block, c.blocks);
    server.AddConnection(c.kept ? script.ReadRequest().Send(kHello) : script);
    server.AddConnection(TServerScript().ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    client.HandleRedirects = c.follow;
    TStringStream sink;
    if (c.follow) {
      client.GetDocument(server.Url("/"), sink);
      EXPECT_EQ(sink.DataString(), "hello");
      // The drain gave up: the redirect went out on a new connection.
      EXPECT_EQ(server.AcceptedConnections(), 2);
      continue;
    }
    auto failure = test::ExpectThrow<EHTTPProtocolException>(
        [&] { client.GetDocument(server.Url("/"), sink); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorBody(), block);
    EXPECT_EQ(client.IsConnected(), c.kept);
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), "hello");
    EXPECT_EQ(server.AcceptedConnections(), c.kept ? 1 : 2);
  }
}

TEST_F(HttpClientTest, AnErrorBodyThatTricklesEndsAtTheLimitOfTheWholeRead) {
  TServerScript script =
      TServerScript().ReadRequest().Send("HTTP/1.1 500 Oops\r\nContent-Length: 100\r\n\r\n");
  for (int i = 0; i < 20; ++i) script.Delay(300).Send("x");  // six seconds in all
  server_.AddConnection(script);
  const auto start = std::chrono::steady_clock::now();
  auto failure = test::ExpectThrow<EHTTPProtocolException>(
      [&] { client_.GetDocument(server_.Url("/"), sink_); });
  ASSERT_TRUE(failure);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
  EXPECT_LT(failure->ErrorBody().size(), 20u);
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(HttpClientTest, ProxyRouteNamesTheFullUrl) {
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello));
  client_.ProxyParams.SetProxyServer("127.0.0.1");
  client_.ProxyParams.SetProxyPort(server_.Port());
  client_.ProtocolVersion = THttpProtocolVersion::pv1_0;
  client_.GetDocument("http://site.example/a/b.htm?q=1#f", sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0],
            "GET http://site.example:80/a/b.htm?q=1 HTTP/1.0\r\n"
            "Proxy-Connection: keep-alive\r\nHost: site.example\r\nAccept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Qelvu)\r\n\r\n");
}

TEST_F(HttpClientTest, ResetMidBodyRaisesAndTheNextRequestConnectsAnew) {
  server_.AddConnection(TServerScript()
                            .ReadRequest()
                            .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart")
                            .Delay(50)
                            .Reset());
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello));
  auto failure =
      test::ExpectThrow<ESocketError>([&] { client_.GetDocument(server_.Url("/"), sink_); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->ErrorCode(), kWsaConnReset);
  EXPECT_EQ(sink_.DataString(), "part");
  client_.GetDocument(server_.Url("/"), sink_);
  EXPECT_EQ(sink_.DataString(), "parthello");
}

TEST(HttpClientMemoryTest, HostValueAndTargetFollowTheUrl) {
  struct Case {
    std::vector<std::string> urls;
    const char* request_line;
    const char* host;
  } cases[] = {
      {{"http://h"}, "GET / HTTP/1.1", "Host: h"},
      {{"http://h:80/x"}, "GET /x HTTP/1.1", "Host: h"},
      {{"http://h:8080/x"}, "GET /x HTTP/1.1", "Host: h:8080"},
      {{"http://h/a#top"}, "GET /a HTTP/1.1", "Host: h"},
      {{"http://h/a/b?c=d/e"}, "GET /a/b?c=d/e HTTP/1.1", "Host: h"},
      {{"http://h:8080/a/b.htm", "c.htm"}, "GET /a/c.htm HTTP/1.1", "Host: h:8080"},
      {{"http://h/a/b/x.htm", "../c.htm"}, "GET /a/c.htm HTTP/1.1", "Host: h"},
      {{"http://h/a/b/x.htm", "./c.htm"}, "GET /a/b/./c.htm HTTP/1.1", "Host: h"},
      {{"http://h/\x01 \x7f\xff"}, "GET /\x01 \x7f\xff HTTP/1.1", "Host: h"},
      {{"http://h/a\r\nX-Injected: 1"}, "GET /a%0D%0AX-Injected: 1 HTTP/1.1", "Host: h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.urls.back());
    TMemoryTransport transport;
    transport.CloseAtEnd = false;
    THttpClient client;
    client.SetTransport(&transport);
    for (size_t i = 0; i < c.urls.size(); ++i) transport.AddInput(kHello);
    TStringStream sink;
    for (const std::string& url : c.urls) client.GetDocument(url, sink);
    std::string output = transport.Output();
    size_t last = output.rfind("GET ");
    ASSERT_NE(last, std::string::npos);
    std::string head = output.substr(last);
    EXPECT_EQ(head.substr(0, head.find("\r\n")), c.request_line);
    EXPECT_NE(head.find(std::string("\r\n") + c.host + "\r\n"), std::string::npos) << head;
  }
}

TEST(HttpClientMemoryTest, HeadersHandlerMayStopBeforeTheBody) {
  TMemoryTransport transport;
  transport.CloseAtEnd = false;
  transport.AddInput(kHello);
  THttpClient client;
  client.SetTransport(&transport);
  std::string server;
  client.OnHeadersAvailable = [&](const THeaderList& headers, bool& continue_reading) {
    server = headers.HeaderValue("Content-Length");
    continue_reading = false;
  };
  TStringStream sink;
  client.GetDocument("http://h/", sink);
  EXPECT_EQ(server, "5");
  EXPECT_EQ(sink.DataString(), "");
  EXPECT_FALSE(client.IsConnected());
}

TEST(HttpClientMemoryTest, RequestRulesFail) {
  THttpClient client;
  TStringStream sink;
  client.CurrentUri().Port.clear();
  auto unknown =
      test::ExpectThrow<EUnknownProtocol>([&] { client.GetDocument("ftp://h/x", sink); });
  if (unknown) {
    EXPECT_STREQ(unknown->what(), "");
  }
  auto no_tls =
      test::ExpectThrow<ETransportPropInvalid>([&] { client.GetDocument("https://h/x", sink); });
  if (no_tls) {
    EXPECT_STREQ(no_tls->what(), "Transport value is not valid");
  }
  client.ProtocolVersion = THttpProtocolVersion::pv1_0;
  auto method = test::ExpectThrow<ENetException>(
      [&] { client.PerformRequest(THttpMethod::hmDelete, "http://h/x", nullptr, nullptr); });
  if (method) {
    EXPECT_STREQ(method->what(), "This request method is supported in HTTP 1.1");
  }
  EXPECT_THROW(client.GetDocument("http://h:8o/x", sink), EConvertError);
  auto port = test::ExpectThrow<ESocketError>(
      [&] { client.GetDocument("http://127.0.0.1:65616/x", sink); });
  if (port) {
    EXPECT_EQ(port->ErrorCode(), kWsaInval);
  }
}

// A store may go before the clients that use it, and a client before its store.
TEST(CookieStoreLifetimeTest, DestroyingTheStoreDetachesItsClients) {
  TLoopbackServer server;
  server.AddConnection(TServerScript()
                           .ReadRequest()
                           .Send("HTTP/1.1 200 OK\r\nSet-Cookie: sid=1; path=/\r\n"
                                 "Content-Length: 5\r\n\r\nhello")
                           .ReadRequest()
                           .Send(kHello));
  auto store = std::make_unique<TCookieManager>();
  auto gone_first = std::make_unique<THttpClient>();
  gone_first->SetCookieManager(store.get());
  gone_first.reset();
  THttpClient client;
  client.ReadTimeout = 5000;
  client.SetCookieManager(store.get());
  TStringStream sink;
  client.GetDocument(server.Url("/"), sink);
  ASSERT_EQ(store->CookieCollection.Count(), 1);
  TCookieManager* seen_while_destroyed = store.get();
  store->OnDestroy = [&](TCookieManager&, TCookieCollection&) {
    seen_while_destroyed = client.CookieManager();
  };
  store.reset();
  EXPECT_EQ(seen_while_destroyed, nullptr);
  ASSERT_EQ(client.CookieManager(), nullptr);
  // The client goes on without the store: its cookie is not sent.
  client.GetDocument(server.Url("/"), sink);
  EXPECT_EQ(sink.DataString(), "hellohello");
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].find("Cookie"), std::string::npos) << server.Requests()[1];
}

// Arbitrary answers through the in-memory transport: whatever the bytes, the client either
// finishes or raises one of its own exceptions.
TEST(HttpClientMemoryTest, ArbitraryAnswersNeverEscapeTheExceptionFamily) {
  const std::string fragments[] = {"HTTP/1.1 200 OK\r\n",
                                   "HTTP/1.0 100 Continue\r\n\r\n",
                                   "Content-Length: 3\r\n",
                                   "Content-Length: -7\r\n",
                                   "Content-Length: 99999999999\r\n",
                                   "Transfer-Encoding: chunked\r\n",
                                   "Content-Range: bytes x-y/z\r\n",
                                   "Set-Cookie: a=1; path=/; max-age=-5; domain=.\r\n",
                                   "Set-cookie2: b=2; Port=\"1,x\"\r\n",
                                   "Expires: 12\r\n",
                                   "Date: Sun, 99 Zzz 99999 99:99:99 +9999\r\n",
                                   "Location: \r\n",
                                   "\r\n",
                                   "\n",
                                   "\r",
                                   "5\r\nhello\r\n",
                                   "0\r\n\r\n",
                                   "7fffffff\r\n",
                                   " \t: :\r\n",
                                   std::string("\0\xff\x80", 3)};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  for (int round = 0; round < 500; ++round) {
    std::string answer;
    int parts = 1 + static_cast<int>(next() % 12);
    for (int i = 0; i < parts; ++i) answer += fragments[next() % std::size(fragments)];
    SCOPED_TRACE(answer);
    TMemoryTransport transport;
    transport.CloseAtEnd = next() % 2 == 0;
    for (size_t at = 0; at < answer.size();) {
      size_t size = 1 + next() % 16;
      transport.AddInput(answer.substr(at, size));
      at += size;
    }
    THttpClient client;
    client.SetTransport(&transport);
    TStringStream sink;
    try {
      client.GetDocument("http://h/", sink);
    } catch (const ENetException&) {
    }
  }
}

// Every header text the caller sets ends up on one line of the head; a CR, LF or NUL in it
// would let the rest pose as a header of its own.
TEST(HeaderTextTest, LineBreaksAndNulInCallerTextsAreRefusedBeforeSending) {
  struct Case {
    const char* name;
    std::function<void(THttpClient&)> set;
  };
  const std::string injected = "x\r\nX-Injected: 1";
  const Case cases[] = {
      {"custom header", [&](THttpClient& c) { c.Request().CustomHeaders.Add("X-A: " + injected); }},
      {"custom header name",
       [&](THttpClient& c) { c.Request().CustomHeaders.Add("X-Injected: 1\nX-A: 1"); }},
      {"user agent", [&](THttpClient& c) { c.Request().UserAgent = injected; }},
      {"referer", [&](THttpClient& c) { c.Request().Referer = "http://a/\nX-Injected: 1"; }},
      {"content type with NUL",
       [&](THttpClient& c) { c.Request().ContentType = std::string("text/html\0X-Injected", 21); }},
      {"basic credentials",
       [&](THttpClient& c) {
         c.Request().BasicAuthentication = true;
         c.Request().Username = "u";
         c.Request().Password = injected;
       }},
      {"proxy credentials",
       [&](THttpClient& c) {
         c.ProxyParams.BasicAuthentication = true;
         c.ProxyParams.ProxyUsername = injected;
         c.ProxyParams.ProxyPassword = "p";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    client.ProxyParams.SetProxyServer("127.0.0.1");
    client.ProxyParams.SetProxyPort(server.Port());
    c.set(client);
    TStringStream sink;
    EXPECT_TRUE(test::ExpectThrow<EInvalidHeaderText>([&] {
                  client.GetDocument("http://site.example/", sink);
                }).has_value());
    for (const std::string& request : server.Requests()) EXPECT_EQ(request, "");
  }
}

}  // namespace
}  // namespace qelvu
