#include "http/http_client.h"

#include <gtest/gtest.h>

#include "http/net_exceptions.h"
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

  // Runs GetDocument and returns the protocol failure it must raise.
  EHTTPProtocolException ExpectProtocolError(const std::string& path) {
    try {
      client_.GetDocument(server_.Url(path), sink_);
    } catch (const EHTTPProtocolException& e) {
      return e;
    }
    ADD_FAILURE() << "no EHTTPProtocolException";
    return EHTTPProtocolException("", 0, "");
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

TEST_F(HttpClientTest, SilentlyClosedKeptConnectionIsReopened) {
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello).Delay(20).Close());
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello));
  client_.GetDocument(server_.Url("/"), sink_);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  client_.GetDocument(server_.Url("/"), sink_);
  EXPECT_EQ(sink_.DataString(), "hellohello");
  EXPECT_EQ(server_.AcceptedConnections(), 2);
}

TEST_F(HttpClientTest, BodyForms) {
  struct Case {
    const char* name;
    const char* answer;
    const char* body;
  } cases[] = {
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       "hello"},
      {"chunk extension after a blank",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3 ;x=1\r\nabc\r\n0\r\n\r\n", "abc"},
      {"garbage chunk size ends the body",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n\r\n", ""},
      {"100 then 200",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", "ok"},
      {"204 reads nothing", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", ""},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer).ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink;
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), c.body);
    // Nothing of the answer was left unread: the next answer on the connection reads cleanly.
    TStringStream next;
    client.GetDocument(server.Url("/"), next);
    EXPECT_EQ(next.DataString(), "hello");
    EXPECT_EQ(server.AcceptedConnections(), 1);
  }
}

TEST_F(HttpClientTest, UntilCloseAndShortBodiesKeepWhatCame) {
  struct Case {
    const char* name;
    const char* answer;
    const char* body;
  } cases[] = {
      {"no length", "HTTP/1.0 200 OK\r\n\r\nuntil close", "until close"},
      {"length larger than what comes", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nshort",
       "short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    server.AddConnection(TServerScript().ReadRequest().Send(c.answer).Close());
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink("prefix");
    sink.SetPosition(6);
    client.GetDocument(server.Url("/"), sink);
    EXPECT_EQ(sink.DataString(), std::string("prefix") + c.body);
    EXPECT_FALSE(client.IsConnected());
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
    try {
      client.GetDocument(server.Url("/"), sink);
      ADD_FAILURE() << "no exception";
    } catch (const EHTTPProtocolException& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_EQ(e.ErrorBody(), c.error_body);
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
      {"closed before the status line", "", true, "EConnClosedGracefully"},
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
    try {
      client.GetDocument(server.Url("/"), sink);
      ADD_FAILURE() << "no exception";
    } catch (const ENetException& e) {
      EXPECT_STREQ(e.ClassName(), c.exception) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST_F(HttpClientTest, ResetMidBodyRaisesAndTheNextRequestConnectsAnew) {
  server_.AddConnection(TServerScript()
                            .ReadRequest()
                            .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart")
                            .Delay(50)
                            .Reset());
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello));
  try {
    client_.GetDocument(server_.Url("/"), sink_);
    FAIL();
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10054);
  }
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

TEST(HttpClientMemoryTest, RequestRulesFail) {
  THttpClient client;
  TStringStream sink;
  client.CurrentUri().Port.clear();
  try {
    client.GetDocument("ftp://h/x", sink);
    FAIL();
  } catch (const EUnknownProtocol& e) {
    EXPECT_STREQ(e.what(), "");
  }
  try {
    client.GetDocument("https://h/x", sink);
    FAIL();
  } catch (const ETransportPropInvalid& e) {
    EXPECT_STREQ(e.what(), "Transport value is not valid");
  }
  client.ProtocolVersion = THttpProtocolVersion::pv1_0;
  try {
    client.PerformRequest(THttpMethod::hmDelete, "http://h/x", nullptr, nullptr);
    FAIL();
  } catch (const ENetException& e) {
    EXPECT_STREQ(e.what(), "This request method is supported in HTTP 1.1");
  }
  EXPECT_THROW(client.GetDocument("http://h:8o/x", sink), EConvertError);
}

}  // namespace
}  // namespace qelvu
