#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "http/cookies.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/tls_transport.h"
#include "support/expect_throw.h"
#include "support/loopback_server.h"
#include "support/proxy_process.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace qelvu {
namespace {

using test::TLoopbackServer;
using test::TServerScript;
using test::TTlsTestServer;

constexpr char kHello[] = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

// A test CA, a server certificate it signed for 127.0.0.1, and a self-signed one nobody
// trusts, made with the openssl command in a fresh directory.
class TTestCertificates {
 public:
  TTestCertificates() {
    std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
    Run("openssl req -x509" + ec + " -keyout ca.key -out ca.pem -subj /CN=QelvuTestCA" +
        " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign");
    Run("openssl req" + ec + " -keyout server.key -out server.csr -subj /CN=127.0.0.1");
    std::ofstream(Path("server.ext")) << "subjectAltName=IP:127.0.0.1\n";
    Run("openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
        " -extfile server.ext -out server.pem");
    Run("openssl req -x509" + ec + " -keyout rogue.key -out rogue.pem -subj /CN=127.0.0.1" +
        " -addext subjectAltName=IP:127.0.0.1");
  }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

 private:
  void Run(const std::string& command) {
    std::string line = "cd " + folder_.path().string() + " && " + command + " >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + command);
  }

  test::TTempFolder folder_;
};

class TlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = std::make_unique<TTestCertificates>(); }
  static void TearDownTestSuite() { certificates_.reset(); }

  TlsTest() {
    transport_.SSLOptions.RootCertFile = certificates_->Path("ca.pem");
    client_.SetTransport(&transport_);
    client_.ReadTimeout = 5000;
  }

  static std::unique_ptr<TTlsTestServer> Server(const std::string& name = "server") {
    return std::make_unique<TTlsTestServer>(certificates_->Path(name + ".pem"),
                                            certificates_->Path(name + ".key"), kHello);
  }
  static std::string Url(const TTlsTestServer& server, const std::string& host = "127.0.0.1") {
    return "https://" + host + ":" + std::to_string(server.Port()) + "/x";
  }

  static std::unique_ptr<TTestCertificates> certificates_;
  TTlsTransport transport_;
  THttpClient client_;
  TStringStream sink_;
};

std::unique_ptr<TTestCertificates> TlsTest::certificates_;

TEST_F(TlsTest, TrustedCertificateFetchesOverHttpsOnOneConnection) {
  auto server = Server();
  std::vector<std::string> status;
  transport_.OnStatusInfo = [&status](const std::string& text) { status.push_back(text); };
  client_.GetDocument(Url(*server), sink_);
  client_.GetDocument(Url(*server), sink_);
  EXPECT_EQ(sink_.DataString(), "hellohello");
  EXPECT_EQ(server->Handshakes(), 1);
  std::vector<std::string> requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].rfind(
                "GET /x HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->Port()) + "\r\n", 0),
            0u)
      << requests[0];
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.front().rfind("SSL status: \"", 0), 0u) << status.front();
  auto cipher = std::find_if(status.begin(), status.end(), [](const std::string& text) {
    return text.rfind("Cipher: name = ", 0) == 0;
  });
  ASSERT_NE(cipher, status.end());
  EXPECT_NE(cipher->find("; version = TLSv1."), std::string::npos) << *cipher;
}

TEST_F(TlsTest, ARelativeRedirectStaysOnHttps) {
  // Every answer redirects, so the second one ends the chain at the maximum of two.
  TTlsTestServer server(certificates_->Path("server.pem"), certificates_->Path("server.key"),
                        "HTTP/1.1 302 Found\r\nLocation: /y\r\nContent-Length: 0\r\n\r\n");
  client_.HandleRedirects = true;
  client_.RedirectMaximum = 2;
  client_.GetDocument(Url(server), sink_);
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET /y HTTP/1.1");
  EXPECT_EQ(server.Handshakes(), 1);
}

TEST_F(TlsTest, SecureCookiesStayOffPlainConnections) {
  TTlsTestServer secure_site(certificates_->Path("server.pem"), certificates_->Path("server.key"),
                             "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; path=/; secure\r\n"
                             "Set-Cookie: p=2; path=/\r\n"
                             "Content-Length: 0\r\n\r\n");
  TLoopbackServer plain_site;  // the same host, 127.0.0.1, without TLS
  plain_site.AddConnection(TServerScript().ReadRequest().Send(kHello).Close());
  TCookieManager cookies;
  client_.SetCookieManager(&cookies);
  client_.GetDocument(Url(secure_site), sink_);
  ASSERT_EQ(cookies.CookieCollection.Count(), 2);
  client_.GetDocument(plain_site.Url("/x"), sink_);
  client_.SetCookieManager(nullptr);
  ASSERT_EQ(plain_site.Requests().size(), 1u);
  const std::string request = plain_site.Requests()[0];
  EXPECT_NE(request.find("\r\nCookie: p=2\r\n"), std::string::npos) << request;
  EXPECT_EQ(request.find("s=1"), std::string::npos) << request;
}

TEST_F(TlsTest, FailedChecksFailTheHandshake) {
  struct Case {
    const char* name;
    const char* certificate;
    const char* host;
    bool verify;
    bool fails;
  } cases[] = {
      {"host name other than the certificate's", "server", "localhost", true, true},
      {"certificate of an unknown issuer", "rogue", "127.0.0.1", true, true},
      {"checks turned off by the caller", "rogue", "localhost", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto server = Server(c.certificate);
    TTlsTransport transport;
    transport.SSLOptions.RootCertFile = certificates_->Path("ca.pem");
    if (!c.verify) transport.SSLOptions.VerifyMode = 0;
    THttpClient client;
    client.ReadTimeout = 5000;
    client.SetTransport(&transport);
    TStringStream sink;
    try {
      client.GetDocument(Url(*server, c.host), sink);
      EXPECT_FALSE(c.fails);
      EXPECT_EQ(sink.DataString(), "hello");
    } catch (const EOSSLConnectError& e) {
      EXPECT_TRUE(c.fails) << e.what();
      std::string message = e.what();
      EXPECT_EQ(message.rfind("Error connecting with SSL.\n", 0), 0u) << message;
      EXPECT_GT(message.size(), 27u) << "no reason given";
      EXPECT_FALSE(client.IsConnected());
    }
    // SNI carries names only, never an address.
    ASSERT_FALSE(server->ServerNames().empty());
    EXPECT_EQ(server->ServerNames()[0], std::string(c.host) == "localhost" ? "localhost" : "");
  }
}

TEST_F(TlsTest, ConnectTunnelThroughTheProxyThenTls) {
  auto server = Server();
  TLoopbackServer proxy;
  proxy.AddConnection(TServerScript()
                          .ReadRequest()
                          .Send("HTTP/1.1 407 Proxy Authentication Required\r\n"
                                "Proxy-Authenticate: Basic realm=\"p\"\r\n"
                                "Content-Length: 0\r\n\r\n")
                          .ReadRequest()
                          .Send("HTTP/1.1 200 Connection established\r\n\r\n")
                          .Relay(server->Port()));
  client_.ProxyParams.SetProxyServer("127.0.0.1");
  client_.ProxyParams.SetProxyPort(proxy.Port());
  client_.ProxyParams.ProxyUsername = "u";
  client_.ProxyParams.ProxyPassword = "p";
  client_.HTTPOptions |= hoInProcessAuth;
  client_.GetDocument(Url(*server), sink_);
  client_.GetDocument(Url(*server), sink_);
  EXPECT_EQ(sink_.DataString(), "hellohello");
  EXPECT_EQ(proxy.AcceptedConnections(), 1);
  EXPECT_EQ(server->Handshakes(), 1);

  std::vector<std::string> connects = proxy.Requests();
  ASSERT_EQ(connects.size(), 2u);
  std::string target = "127.0.0.1:" + std::to_string(server->Port());
  EXPECT_EQ(connects[1].substr(0, 8 + target.size() + 11), "CONNECT " + target + " HTTP/1.1\r\n");
  EXPECT_EQ(connects[0].find("Proxy-Authorization"), std::string::npos);
  EXPECT_NE(connects[1].find("Proxy-Authorization: Basic dTpw\r\n"), std::string::npos);
  EXPECT_NE(connects[1].find("Proxy-Connection: keep-alive\r\n"), std::string::npos);
  // Inside the tunnel the origin server reads an ordinary request, without proxy credentials.
  std::vector<std::string> requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(0, 17), "GET /x HTTP/1.1\r\n");
  EXPECT_EQ(requests[0].find("Proxy-"), std::string::npos);
}

// Every hop goes through one scripted proxy, so hosts are mere names and the scheme can change
// while host and port stay: each case changes one part of the origin, or none.
TEST_F(TlsTest, RedirectsTakeCredentialsOnlyToTheirOrigin) {
  struct Case {
    const char* name;
    const char* url;
    const char* location;
    bool keep_credentials_on_redirect;
    bool carried;
  } cases[] = {
      {"same origin", "http://site.example/a", "/b", false, true},
      {"same origin spelled out", "http://site.example/a", "http://SITE.example:80/b", false, true},
      {"other host", "http://site.example/a", "http://other.example/b", false, false},
      {"other port", "http://site.example/a", "http://site.example:8080/b", false, false},
      {"http to https", "http://site.example:8443/a", "https://site.example:8443/b", false, false},
      {"https to http", "https://site.example:8443/a", "http://site.example:8443/b", false, false},
      {"other host, allowed by the caller", "http://site.example/a", "http://other.example/b", true,
       true},
  };
  const std::string credentials = "\r\nAuthorization: Basic dTpw\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string redirect = std::string("HTTP/1.1 302 Found\r\nLocation: ") + c.location +
                           "\r\nContent-Length: 0\r\n\r\n";
    bool from_https = std::string(c.url).starts_with("https");
    bool to_https = std::string(c.location).starts_with("https");
    TTlsTestServer origin(certificates_->Path("server.pem"), certificates_->Path("server.key"),
                          from_https ? redirect : kHello);
    const std::string tunnel = "HTTP/1.1 200 Connection established\r\n\r\n";
    TLoopbackServer proxy;
    if (from_https) {
      proxy.AddConnection(TServerScript().ReadRequest().Send(tunnel).Relay(origin.Port()));
      proxy.AddConnection(TServerScript().ReadRequest().Send(kHello));
    } else if (to_https) {
      proxy.AddConnection(TServerScript().ReadRequest().Send(redirect));
      proxy.AddConnection(TServerScript().ReadRequest().Send(tunnel).Relay(origin.Port()));
    } else {
      proxy.AddConnection(TServerScript().ReadRequest().Send(redirect).ReadRequest().Send(kHello));
    }
    TTlsTransport transport;
    transport.SSLOptions.VerifyMode = 0;  // the certificate names 127.0.0.1, not the names here
    THttpClient client;
    client.SetTransport(&transport);
    client.ReadTimeout = 5000;
    client.ProxyParams.SetProxyServer("127.0.0.1");
    client.ProxyParams.SetProxyPort(proxy.Port());
    client.HandleRedirects = true;
    client.KeepCredentialsOnRedirect = c.keep_credentials_on_redirect;
    client.Request().Username = "u";
    client.Request().Password = "p";
    client.Request().BasicAuthentication = true;
    TStringStream sink;
    client.GetDocument(c.url, sink);
    EXPECT_EQ(sink.DataString(), "hello");
    // The proxy sees the plain requests and the CONNECTs, the origin the requests in a tunnel.
    std::vector<std::string> plain = proxy.Requests();
    std::vector<std::string> tunnelled = origin.Requests();
    ASSERT_EQ(plain.size() + tunnelled.size(), 3u - (from_https || to_https ? 0u : 1u));
    std::string first = from_https ? tunnelled.front() : plain.front();
    std::string second = to_https ? tunnelled.back() : plain.back();
    EXPECT_NE(first.find(credentials), std::string::npos) << first;
    EXPECT_EQ(second.find(credentials) != std::string::npos, c.carried) << second;
  }
}

TEST_F(TlsTest, AProxyThatGivesNoAnswerToConnectOpensNoTunnel) {
  auto server = Server();
  struct Case {
    const char* name;
    TServerScript proxy;
    const char* exception;
  } cases[] = {
      {"closes at once", TServerScript().ReadRequest().Close(), "EConnClosedGracefully"},
      {"an empty line, then the origin's bytes",
       TServerScript().ReadRequest().Send("\r\n").Relay(server->Port()), "EProtocolReplyError"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLoopbackServer proxy;
    proxy.AddConnection(c.proxy);
    TTlsTransport transport;
    transport.SSLOptions.RootCertFile = certificates_->Path("ca.pem");
    THttpClient client;
    client.SetTransport(&transport);
    client.ReadTimeout = 5000;
    client.ProxyParams.SetProxyServer("127.0.0.1");
    client.ProxyParams.SetProxyPort(proxy.Port());
    TStringStream sink;
    try {
      client.GetDocument(Url(*server), sink);
      ADD_FAILURE() << "no exception; got " << sink.DataString();
    } catch (const ENetException& e) {
      EXPECT_STREQ(e.ClassName(), c.exception) << e.what();
    }
    EXPECT_FALSE(client.IsConnected());
  }
  EXPECT_EQ(server->Handshakes(), 0);
}

TEST_F(TlsTest, TheProxysAnswersToConnectSetNoCookies) {
  auto server = Server();
  TLoopbackServer proxy;
  proxy.AddConnection(TServerScript()
                          .ReadRequest()
                          .Send("HTTP/1.1 407 Proxy Authentication Required\r\n"
                                "Proxy-Authenticate: Basic realm=\"p\"\r\n"
                                "Set-Cookie: refused=1; path=/\r\n"
                                "Content-Length: 0\r\n\r\n")
                          .ReadRequest()
                          .Send("HTTP/1.1 200 Connection established\r\n"
                                "Set-Cookie: planted=1; path=/\r\n\r\n")
                          .Relay(server->Port()));
  client_.ProxyParams.SetProxyServer("127.0.0.1");
  client_.ProxyParams.SetProxyPort(proxy.Port());
  client_.ProxyParams.ProxyUsername = "u";
  client_.ProxyParams.ProxyPassword = "p";
  client_.HTTPOptions |= hoInProcessAuth;
  TCookieManager cookies;
  client_.SetCookieManager(&cookies);
  client_.GetDocument(Url(*server), sink_);
  client_.GetDocument(Url(*server), sink_);
  EXPECT_EQ(sink_.DataString(), "hellohello");
  EXPECT_EQ(cookies.CookieCollection.Count(), 0);
  std::vector<std::string> requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const std::string& request : requests) {
    EXPECT_EQ(request.find("Cookie"), std::string::npos) << request;
  }
}

TEST_F(TlsTest, TlsRunsOverTheSocksHandshake) {
  auto server = Server();
  TLoopbackServer socks;
  socks.AddConnection(TServerScript()
                          .ReadBytes(3)
                          .Send(std::string("\x05\x00", 2))
                          .ReadBytes(16)
                          .Send(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10))
                          .Relay(server->Port()));
  transport_.SocksInfo.Version = TSocksVersion::svSocks5;
  transport_.SocksInfo.Host = "127.0.0.1";
  transport_.SocksInfo.Port = socks.Port();
  client_.GetDocument(Url(*server), sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  ASSERT_EQ(socks.Requests().size(), 2u);
  std::string request = std::string("\x05\x01\x00\x03\x09", 5) + "127.0.0.1" +
                        static_cast<char>(server->Port() >> 8) +
                        static_cast<char>(server->Port() & 0xFF);
  EXPECT_EQ(socks.Requests()[1], request);
  EXPECT_EQ(server->Handshakes(), 1);
}

TEST_F(TlsTest, MissingLibraryFailsHttpsButNotPlainHttp) {
  transport_.SslLibraryName = "libqelvu-missing-ssl.so.3";
  TLoopbackServer listening;  // takes the TCP connect; TLS fails before any byte
  auto failure = test::ExpectThrow<EOSSLCouldNotLoadSSLLibrary>([&] {
    client_.GetDocument("https://127.0.0.1:" + std::to_string(listening.Port()) + "/", sink_);
  });
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->what(), "Could not load SSL library.");
  EXPECT_FALSE(client_.IsConnected());
  TLoopbackServer plain;
  plain.AddConnection(TServerScript().ReadRequest().Send(kHello));
  client_.GetDocument(plain.Url("/"), sink_);
  EXPECT_EQ(sink_.DataString(), "hello");
  EXPECT_TRUE(transport_.PassThrough());
}

TEST_F(TlsTest, FetchToolVerifiesHttpsCertificates) {
  auto server = Server();
  struct Case {
    const char* name;
    std::string environment;
    int status;
    const char* output;
  } cases[] = {
      {"trusted through SSL_CERT_FILE", "SSL_CERT_FILE=" + certificates_->Path("ca.pem"), 0,
       "hello"},
      {"system store only", "SSL_CERT_FILE=/dev/null", 1,
       "EOSSLConnectError: Error connecting with SSL."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string command = c.environment + " " + QELVU_FETCH + " " + Url(*server) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char chunk[256];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
    int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(output.rfind(c.output, 0), 0u) << output;
  }
}

TEST_F(TlsTest, FetchToolTunnelsThroughARealProxy) {
  auto server = Server();
  test::TTempFolder folder;
  auto proxy = test::TProxyProcess::Tinyproxy(folder.path(), "");
  ASSERT_EQ(proxy->Failure(), "");
  std::string command = "SSL_CERT_FILE=" + certificates_->Path("ca.pem") + " " + QELVU_FETCH +
                        " --proxy http://127.0.0.1:" + std::to_string(proxy->Port()) + " " +
                        Url(*server) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char chunk[256];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, n);
  EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 0) << output << proxy->Log();
  EXPECT_EQ(output, "hello");
  // The proxy only saw the tunnel: the request inside it reached the server as it was sent.
  std::vector<std::string> requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind(
                "GET /x HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->Port()) + "\r\n", 0),
            0u)
      << requests[0];
  EXPECT_EQ(requests[0].find("Via:"), std::string::npos) << requests[0];
  EXPECT_EQ(server->Handshakes(), 1);
}

TEST(TlsTransportTest, HttpsWithoutTheTlsTransportIsRefused) {
  for (bool through_proxy : {false, true}) {
    SCOPED_TRACE(through_proxy ? "through a proxy" : "direct");
    THttpClient client;
    client.ReadTimeout = 5000;
    TStringStream sink;
    TLoopbackServer proxy;
    if (through_proxy) {
      // A plain request first shows the route in use: it reaches the proxy.
      proxy.AddConnection(TServerScript().ReadRequest().Send(kHello));
      client.ProxyParams.SetProxyServer("127.0.0.1");
      client.ProxyParams.SetProxyPort(proxy.Port());
      client.GetDocument("http://127.0.0.1:1/", sink);
      ASSERT_EQ(proxy.Requests().size(), 1u);
      EXPECT_EQ(proxy.Requests()[0].rfind("GET http://127.0.0.1:1/ HTTP/1.1\r\n", 0), 0u);
    }
    auto failure = test::ExpectThrow<ETransportPropInvalid>(
        [&] { client.GetDocument("https://127.0.0.1:1/", sink); });
    if (failure) {
      EXPECT_STREQ(failure->what(), "Transport value is not valid");
    }
    // Nothing of the https request went out, to the proxy or anywhere.
    EXPECT_EQ(proxy.Requests().size(), through_proxy ? 1u : 0u);
    EXPECT_EQ(proxy.AcceptedConnections(), through_proxy ? 1 : 0);
  }
}

TEST_F(TlsTest, PeersThatTrickleFailAtTheLimitOfTheWholeStep) {
  constexpr int kLimit = 800;
  constexpr int kTrickleMs = 60;
  constexpr int kTrickledBytes = 40;  // three times the limit
  // After the client's first bytes, the head of a TLS record announcing 16 KiB, then a byte now
  // and then: each read waits far less than the limit, the record never completes within it.
  auto trickle_record = [](TServerScript& script) {
    script.ReadBytes(5).Send(std::string("\x16\x03\x03\x40\x00", 5));
    for (int i = 0; i < kTrickledBytes; ++i) script.Delay(kTrickleMs).Send(std::string(1, '\x01'));
  };
  // A SOCKS5 server that answers the greeting, then drips its connect reply.
  auto trickle_socks = [](TServerScript& script) {
    script.ReadBytes(3).Send(std::string("\x05\x00", 2)).ReadBytes(16);
    const std::string reply("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10);
    for (char byte : reply)
      script.Delay(kTrickledBytes * kTrickleMs / 10).Send(std::string(1, byte));
    script.Send(kHello);
  };
  struct Case {
    const char* name;
    int connect_timeout;
    int read_timeout;
    const char* exception;
  } cases[] = {
      {"TLS handshake, connect limit", kLimit, 30000, "EConnectTimeout"},
      {"TLS handshake, read limit without a connect limit", 0, kLimit, "EConnectTimeout"},
      {"TLS handshake in a proxy's tunnel", kLimit, 30000, "EConnectTimeout"},
      {"SOCKS5 reply, connect limit", kLimit, 30000, "ESocksServerRespondError"},
      {"SOCKS5 reply, read limit without a connect limit", 0, kLimit, "ESocksServerRespondError"},
      {"TLS record of the answer", 30000, kLimit, "EReadTimeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = c.name;
    TLoopbackServer server;
    TTlsTestServer answering(certificates_->Path("server.pem"), certificates_->Path("server.key"),
                             kHello, {.TrickleMs = kTrickleMs});
    TTlsTransport transport;
    transport.SSLOptions.RootCertFile = certificates_->Path("ca.pem");
    THttpClient client;
    client.SetTransport(&transport);
    client.ConnectTimeout = c.connect_timeout;
    client.ReadTimeout = c.read_timeout;
    std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/";
    TServerScript script;
    if (name.starts_with("SOCKS")) {
      trickle_socks(script);
      transport.SocksInfo.Version = TSocksVersion::svSocks5;
      transport.SocksInfo.Host = "127.0.0.1";
      transport.SocksInfo.Port = server.Port();
      url = "http://127.0.0.1/";
    } else if (name.find("tunnel") != std::string::npos) {
      script.ReadRequest().Send("HTTP/1.1 200 Connection established\r\n\r\n");
      trickle_record(script);
      client.ProxyParams.SetProxyServer("127.0.0.1");
      client.ProxyParams.SetProxyPort(server.Port());
      url = "https://127.0.0.1:1/";
    } else if (name.find("record") != std::string::npos) {
      url = Url(answering);
    } else {
      trickle_record(script);
    }
    server.AddConnection(script);
    TStringStream sink;
    const auto start = std::chrono::steady_clock::now();
    try {
      client.GetDocument(url, sink);
      ADD_FAILURE() << "no exception; got " << sink.DataString();
    } catch (const ENetException& e) {
      EXPECT_STREQ(e.ClassName(), c.exception) << e.what();
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    // Well before the peer would have finished, however often it sent a byte.
    EXPECT_LT(waited, std::chrono::milliseconds(kTrickledBytes * kTrickleMs * 3 / 4));
    EXPECT_EQ(sink.DataString(), "");
  }
}

TEST_F(TlsTest, ACutTlsConnectionFailsABodyOfKnownLength) {
  struct Case {
    const char* name;
    const char* answer;
    const char* body;  // null: the fetch fails with EOSSLConnectionTruncated
  } cases[] = {
      {"Content-Length, cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", nullptr},
      {"chunked, cut before the last chunk",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", nullptr},
      {"Content-Length, complete", kHello, "hello"},
      {"no length: the close ends the body", "HTTP/1.1 200 OK\r\n\r\nhello", "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTlsTestServer server(certificates_->Path("server.pem"), certificates_->Path("server.key"),
                          c.answer, {.CloseWithoutNotify = true});
    TStringStream sink;
    try {
      client_.GetDocument(Url(server), sink);
      ASSERT_NE(c.body, nullptr) << "no exception";
      EXPECT_EQ(sink.DataString(), c.body);
    } catch (const ENetException& e) {
      EXPECT_EQ(c.body, nullptr) << e.ClassName() << ": " << e.what();
      EXPECT_STREQ(e.ClassName(), "EOSSLConnectionTruncated") << e.what();
    }
    client_.Disconnect();
  }
}

TEST_F(TlsTest, AFailedTlsStartLetsNoPlainBytesThrough) {
  // A server that answers the TLS greeting with plain text, and would take a plain request.
  TLoopbackServer server;
  server.AddConnection(TServerScript().Send("HTTP/1.1 400 Bad Request\r\n\r\n").ReadRequest());
  TTcpClient connection;
  connection.SetTransport(&transport_);
  connection.SetHost("127.0.0.1");
  connection.SetPort(server.Port());
  transport_.SetPassThrough(true);
  connection.Connect(5000);
  EXPECT_THROW(transport_.SetPassThrough(false), EOSSLConnectError);
  EXPECT_THROW(connection.WriteText("GET / HTTP/1.1\r\n\r\n"), ENetException);
  char buffer[16];
  int error = 0;
  EXPECT_THROW(transport_.Receive(buffer, sizeof buffer, error), EClosedSocket);
  connection.Disconnect();
  EXPECT_TRUE(server.Requests().empty()) << server.Requests()[0];
}

}  // namespace
}  // namespace qelvu
