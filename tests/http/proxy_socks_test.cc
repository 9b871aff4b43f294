#include <gtest/gtest.h>

#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "http/tls_transport.h"
#include "http/transport.h"
#include "support/expect_throw.h"
#include "support/loopback_server.h"

namespace qelvu {
namespace {

using test::TLoopbackServer;
using test::TServerScript;

constexpr char kHello[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

// A client that reaches every host through the SOCKS server on `server`.
class SocksTest : public ::testing::Test {
 protected:
  SocksTest() {
    transport_.SocksInfo.Host = "127.0.0.1";
    transport_.SocksInfo.Port = server_.Port();
    client_.SetTransport(&transport_);
    client_.ReadTimeout = 5000;
  }

  TLoopbackServer server_;
  TSocketTransport transport_;
  THttpClient client_;
  TStringStream sink_;
};

TEST_F(SocksTest, HandshakesAreByteExact) {
  struct Case {
    const char* name;
    TSocksVersion version;
    TSocksAuthentication authentication;
    const char* user;
    const char* url;
    // Bytes the client sends before HTTP, one entry per client message, and the replies.
    std::vector<std::string> sent;
    std::vector<std::string> replies;
  } cases[] = {
      {"4, no user",
       TSocksVersion::svSocks4,
       TSocksAuthentication::saNoAuthentication,
       "",
       "http://127.0.0.1/",
       {std::string("\x04\x01\x00\x50\x7f\x00\x00\x01\x00", 9)},
       {std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8)}},
      {"4A by name",
       TSocksVersion::svSocks4A,
       TSocksAuthentication::saNoAuthentication,
       "u",
       "http://h/",
       {std::string("\x04\x01\x00\x50\x00\x00\x00\x01u\x00h\x00", 12)},
       {std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8)}},
      {"5, a 10-letter host, IPv4 reply",
       TSocksVersion::svSocks5,
       TSocksAuthentication::saNoAuthentication,
       "",
       "http://abcdefghij/",
       {std::string("\x05\x01\x00", 3), std::string("\x05\x01\x00\x03\x0a"
                                                    "abcdefghij\x00\x50",
                                                    17)},
       {std::string("\x05\x00", 2), std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10)}},
      {"5 with password, name reply",
       TSocksVersion::svSocks5,
       TSocksAuthentication::saUsernamePassword,
       "us",
       "http://h:8080/",
       {std::string("\x05\x01\x02", 3), std::string("\x01\x02us\x02pw", 7),
        std::string("\x05\x01\x00\x03\x01h\x1f\x90", 8)},
       {std::string("\x05\x02", 2), std::string("\x01\x00", 2),
        std::string("\x05\x00\x00\x03\x03xyz\x00\x50", 10)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer server;
    TServerScript script;
    for (size_t i = 0; i < c.sent.size(); ++i) {
      // The last reply and the start of the HTTP answer go out in one packet: the handshake
      // must take its own bytes and leave the answer's status line to the HTTP reader.
      bool last = i + 1 == c.sent.size();
      script.ReadBytes(c.sent[i].size()).Send(c.replies[i] + (last ? "HTTP/1.1 200 OK\r\n" : ""));
    }
    server.AddConnection(script.ReadRequest().Send("Content-Length: 5\r\n\r\nhello"));
    TSocketTransport transport;
    transport.SocksInfo = {c.version, "127.0.0.1", server.Port(), c.authentication, c.user, "pw"};
    THttpClient client;
    client.ReadTimeout = 5000;
    client.SetTransport(&transport);
    TStringStream sink;
    client.GetDocument(c.url, sink);
    EXPECT_EQ(sink.DataString(), "hello");
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), c.sent.size() + 1);
    for (size_t i = 0; i < c.sent.size(); ++i) EXPECT_EQ(requests[i], c.sent[i]) << i;
    EXPECT_EQ(requests.back().substr(0, 16), "GET / HTTP/1.1\r\n");
  }
}

TEST_F(SocksTest, RefusalsRaiseTheirMessages) {
  struct Case {
    TSocksVersion version;
    std::string reply;
    const char* exception;
    const char* message;
  } cases[] = {
      {TSocksVersion::svSocks4, std::string("\x00\x5b\0\0\0\0\0\0", 8), "ESocksRequestFailed",
       "Request rejected or failed."},
      {TSocksVersion::svSocks4, std::string("\x00\x5c\0\0\0\0\0\0", 8), "ESocksRequestServerFailed",
       "Request rejected because SOCKS server cannot connect."},
      {TSocksVersion::svSocks4, std::string("\x00\x5d\0\0\0\0\0\0", 8), "ESocksRequestIdentFailed",
       "Request rejected because the client program and identd report different user-ids."},
      {TSocksVersion::svSocks4, std::string("\x00\x01\0\0\0\0\0\0", 8), "ESocksUnknownError",
       "Unknown socks error."},
      {TSocksVersion::svSocks4, std::string("\x00\x5a", 2), "ESocksServerRespondError",
       "Socks server did not respond."},
      {TSocksVersion::svSocks5, std::string("\x05\xff", 2), "ESocksAuthMethodError",
       "Invalid socks authentication method."},
      {TSocksVersion::svSocks5, std::string("\x05\x00\x05\x05\x00\x01\x00", 7),
       "ESocksServerConnectionRefusedError", "Connection refused."},
      {TSocksVersion::svSocks5, std::string("\x05\x00\x05\x08\x00\x01\x00", 7),
       "ESocksServerAddressError", "Address type not supported."},
      {TSocksVersion::svSocks5, std::string("\x05\x00\x05\x09\x00\x01\x00", 7),
       "ESocksUnknownError", "Unknown socks error."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    TLoopbackServer server;
    server.AddConnection(TServerScript().Send(c.reply).Delay(20).Close());
    TSocketTransport transport;
    transport.SocksInfo.Version = c.version;
    transport.SocksInfo.Host = "127.0.0.1";
    transport.SocksInfo.Port = server.Port();
    THttpClient client;
    client.SetTransport(&transport);
    TStringStream sink;
    // Caught here, not with ExpectThrow: its copy would be cut down to ESocksError and give
    // that class's name.
    try {
      client.GetDocument("http://127.0.0.1/", sink);
      ADD_FAILURE() << "no exception";
    } catch (const ESocksError& e) {
      EXPECT_STREQ(e.ClassName(), c.exception);
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST_F(SocksTest, OverlongNamesAreRefusedNotCut) {
  transport_.SocksInfo.Version = TSocksVersion::svSocks5;
  server_.AddConnection(TServerScript().ReadBytes(3).Send(std::string("\x05\x00", 2)));
  EXPECT_THROW(client_.GetDocument("http://" + std::string(256, 'a') + "/", sink_),
               ESocksServerAddressError);
}

TEST(SocksPortTest, ATargetPortBeyondSixteenBitsIsRefusedBeforeConnecting) {
  struct Case {
    TSocksVersion version;
    int port;
  } cases[] = {
      {TSocksVersion::svSocks4, 65536},
      {TSocksVersion::svSocks4A, -1},
      {TSocksVersion::svSocks5, 70000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    TLoopbackServer server;
    // Should a connection come, one byte shows the handshake began, and the close ends it.
    server.AddConnection(TServerScript().ReadBytes(1).Close());
    TSocketTransport transport;
    transport.SocksInfo.Version = c.version;
    transport.SocksInfo.Host = "127.0.0.1";
    transport.SocksInfo.Port = server.Port();
    TTcpClient client;
    client.SetTransport(&transport);
    client.SetHost("127.0.0.1");
    client.SetPort(c.port);
    auto failure = test::ExpectThrow<ESocketError>([&] { client.Connect(); });
    if (failure) {
      EXPECT_EQ(failure->ErrorCode(), kWsaInval);
    }
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(server.AcceptedConnections(), 0);
  }
}

class ProxyTest : public ::testing::Test {
 protected:
  ProxyTest() {
    client_.ProxyParams.SetProxyServer("127.0.0.1");
    client_.ProxyParams.SetProxyPort(server_.Port());
    client_.ReadTimeout = 5000;
  }

  TLoopbackServer server_;
  THttpClient client_;
  TStringStream sink_;
};

TEST_F(ProxyTest, A407IsAnsweredWithTheProxyCredentials) {
  server_.AddConnection(TServerScript()
                            .ReadRequest()
                            .Send("HTTP/1.1 407 Proxy Authentication Required\r\n"
                                  "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"
                                  "Content-Length: 2\r\n\r\nno")
                            .ReadRequest()
                            .Send(kHello));
  client_.HTTPOptions |= hoInProcessAuth;
  client_.ProxyParams.ProxyUsername = "u";
  client_.ProxyParams.ProxyPassword = "p";
  client_.GetDocument("http://site.example/x", sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) {
    EXPECT_EQ(request.substr(0, 40), "GET http://site.example:80/x HTTP/1.1\r\nH");
  }
  EXPECT_EQ(requests[0].find("Proxy-Authorization"), std::string::npos);
  EXPECT_NE(requests[1].find("Proxy-Authorization: Basic dTpw\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("\r\nAuthorization"), std::string::npos);
  ASSERT_NE(client_.ProxyParams.Authentication, nullptr);

  // Another proxy port forgets the scheme object that belonged to the old proxy.
  client_.ProxyParams.SetProxyPort(server_.Port() + 1);
  EXPECT_EQ(client_.ProxyParams.Authentication, nullptr);
}

TEST_F(ProxyTest, ARefused407ForgetsTheProxyCredentials) {
  server_.AddConnection(TServerScript().ReadRequest().Send(
      "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
      "Content-Length: 0\r\n\r\n"));
  client_.ProxyParams.ProxyUsername = "u";
  client_.ProxyParams.ProxyPassword = "p";
  auto failure = test::ExpectThrow<EHTTPProtocolException>(
      [&] { client_.GetDocument("http://site.example/", sink_); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->ErrorCode(), 407);
  EXPECT_EQ(client_.ProxyParams.ProxyUsername, "");
  EXPECT_EQ(client_.ProxyParams.ProxyPassword, "");
}

TEST(ProxyChangeTest, TheNewProxyGetsNoneOfTheOldOnesCredentials) {
  enum class Setup { kHandlerAnswered, kSentWithTheFirstRequest, kSetAnewBeforeTheSwitch };
  struct Case {
    const char* name;
    Setup setup;
    const char* expected;  // the new proxy's Proxy-Authorization, "" for none
  } cases[] = {
      {"the handler's answer to a 407", Setup::kHandlerAnswered, ""},
      {"sent with the first request", Setup::kSentWithTheFirstRequest, ""},
      // "v:q" in Base64.
      {"set anew before the switch", Setup::kSetAnewBeforeTheSwitch, "Basic djpx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer old_proxy;
    TServerScript script;
    if (c.setup == Setup::kHandlerAnswered) {
      script.ReadRequest().Send(
          "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
          "Content-Length: 0\r\n\r\n");
    }
    old_proxy.AddConnection(script.ReadRequest().Send(kHello));
    TLoopbackServer new_proxy;
    new_proxy.AddConnection(TServerScript().ReadRequest().Send(kHello));
    THttpClient client;
    client.ReadTimeout = 5000;
    client.ProxyParams.SetProxyServer("127.0.0.1");
    client.ProxyParams.SetProxyPort(old_proxy.Port());
    if (c.setup == Setup::kHandlerAnswered) {
      client.HTTPOptions |= hoInProcessAuth;
      client.OnProxyAuthorization = [](THttpAuthentication& auth, bool& handled) {
        auth.SetUsername("u");
        auth.SetPassword("p");
        handled = true;
      };
    } else {
      client.ProxyParams.ProxyUsername = "u";
      client.ProxyParams.ProxyPassword = "p";
      client.ProxyParams.BasicAuthentication = true;
    }
    TStringStream sink;
    client.GetDocument("http://site.example/", sink);
    ASSERT_NE(old_proxy.Requests().back().find("Proxy-Authorization: Basic dTpw\r\n"),
              std::string::npos);
    if (c.setup == Setup::kSetAnewBeforeTheSwitch) {
      client.ProxyParams.ProxyUsername = "v";
      client.ProxyParams.ProxyPassword = "q";
    }
    client.ProxyParams.SetProxyPort(new_proxy.Port());
    client.GetDocument("http://site.example/", sink);
    EXPECT_EQ(sink.DataString(), "hellohello");
    ASSERT_EQ(new_proxy.Requests().size(), 1u);
    std::string request = new_proxy.Requests()[0];
    size_t at = request.find("\r\nProxy-Authorization: ");
    std::string value = at == std::string::npos
                            ? ""
                            : request.substr(at + 23, request.find("\r\n", at + 2) - at - 23);
    EXPECT_EQ(value, c.expected) << request;
  }
}

TEST_F(ProxyTest, LineBreaksInThePathGoOutEscapedInTheAbsoluteTarget) {
  server_.AddConnection(TServerScript().ReadRequest().Send(kHello));
  client_.GetDocument(std::string("http://site.example/a\r\nX-Injected: 1\0", 37), sink_);
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
            "GET http://site.example:80/a%0D%0AX-Injected: 1%00 HTTP/1.1");
}

// However the proxy answers the CONNECT, short of opening the tunnel, the request ends with its
// answer once the credentials are refused or spent; redirects are followed throughout, so a
// Location in an answer is there to be taken up. The script has more answers than any count.
TEST(TunnelTest, ProxyAnswersThatNeverOpenTheTunnelEndWithinTheCounts) {
  struct Case {
    const char* name;
    const char* answer;
    bool credentials;
    bool hook_stops;
    int code;
    size_t connects;
  } cases[] = {
      {"407 with a Location, credentials retried",
       "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
       "Location: http://elsewhere.example/\r\nContent-Length: 0\r\n\r\n",
       true, false, 407, 4},
      {"407 with a Location, no credentials",
       "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
       "Location: /elsewhere\r\nContent-Length: 0\r\n\r\n",
       false, false, 407, 1},
      {"a header hook that stops at every 407",
       "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
       "Content-Length: 0\r\n\r\n",
       true, true, 407, 4},
      {"a redirect",
       "HTTP/1.1 302 Found\r\nLocation: https://elsewhere.example/\r\n"
       "Content-Length: 0\r\n\r\n",
       true, false, 302, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer proxy;
    TServerScript script;
    for (int i = 0; i < 24; ++i) script.ReadRequest().Send(c.answer);
    proxy.AddConnection(script);
    TTlsTransport tls;
    THttpClient client;
    client.SetTransport(&tls);
    client.ReadTimeout = 2000;
    client.ProxyParams.SetProxyServer("127.0.0.1");
    client.ProxyParams.SetProxyPort(proxy.Port());
    client.HandleRedirects = true;
    if (c.credentials) {
      client.HTTPOptions |= hoInProcessAuth;
      client.ProxyParams.ProxyUsername = "u";
      client.ProxyParams.ProxyPassword = "p";
    }
    if (c.hook_stops) {
      client.OnHeadersAvailable = [](const THeaderList&, bool& continue_reading) {
        continue_reading = false;
      };
    }
    TStringStream sink;
    auto failure = test::ExpectThrow<EHTTPProtocolException>(
        [&] { client.GetDocument("https://site.example/", sink); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->ErrorCode(), c.code);
    EXPECT_EQ(proxy.Requests().size(), c.connects);
    EXPECT_EQ(proxy.AcceptedConnections(), 1);
  }
}

// A host name reaches the wire by every route: the origin's address, the proxy's absolute target
// and CONNECT line, the SOCKS request. The loopback server stands in for whichever peer the
// route reaches first and must not even see a connection.
TEST(HostBytesTest, LineBreaksAndNulInTheHostAreRefusedBeforeAnyConnection) {
  enum class Route { kDirect, kProxy, kTunnel, kSocks4A, kSocks5 };
  struct RouteCase {
    const char* name;
    Route route;
  };
  const RouteCase routes[] = {
      {"direct", Route::kDirect},  {"through a proxy", Route::kProxy},
      {"CONNECT", Route::kTunnel}, {"SOCKS 4A", Route::kSocks4A},
      {"SOCKS 5", Route::kSocks5},
  };
  struct HostCase {
    const char* name;
    std::string host;
  };
  // The NUL host reads as 127.0.0.1 to the resolver, so before the check it really connected.
  const HostCase hosts[] = {
      {"NUL", std::string("127.0.0.1\0.good.example", 23)},
      {"CR LF", "good.example\r\nX-Injected"},
      {"LF", "good.example\nX-Injected"},
      {"CR", "good.example\rX-Injected"},
  };
  for (const RouteCase& r : routes) {
    for (const HostCase& h : hosts) {
      // Without a proxy the line-break hosts would be handed to the system's resolver.
      if (r.route == Route::kDirect && h.host.find('\0') == std::string::npos) continue;
      SCOPED_TRACE(std::string(r.name) + ", " + h.name);
      TLoopbackServer server;
      // Should a connection come, one byte shows the client wrote, and the close ends it early.
      server.AddConnection(TServerScript().ReadBytes(1).Close());
      TSocketTransport socks;
      TTlsTransport tls;
      THttpClient client;
      client.ReadTimeout = 5000;
      std::string scheme = "http://";
      std::string port = ":" + std::to_string(server.Port());
      switch (r.route) {
        case Route::kDirect:
          break;
        case Route::kTunnel:
          client.SetTransport(&tls);
          scheme = "https://";
          [[fallthrough]];
        case Route::kProxy:
          client.ProxyParams.SetProxyServer("127.0.0.1");
          client.ProxyParams.SetProxyPort(server.Port());
          port.clear();
          break;
        case Route::kSocks4A:
        case Route::kSocks5:
          socks.SocksInfo.Version =
              r.route == Route::kSocks4A ? TSocksVersion::svSocks4A : TSocksVersion::svSocks5;
          socks.SocksInfo.Host = "127.0.0.1";
          socks.SocksInfo.Port = server.Port();
          client.SetTransport(&socks);
          port.clear();
          break;
      }
      TStringStream sink;
      auto failure = test::ExpectThrow<EURIException>(
          [&] { client.GetDocument(scheme + h.host + port + "/x", sink); });
      EXPECT_TRUE(failure.has_value());
      EXPECT_EQ(server.AcceptedConnections(), 0);
      EXPECT_TRUE(server.Requests().empty());
    }
  }
}

}  // namespace
}  // namespace qelvu
