// Whole client sessions against scripted servers: redirects, 401 and 407 challenges, HTTP
// proxies with CONNECT tunnels, SOCKS, cookies and https over a transport that only pretends to
// encrypt. Every byte the client sends is checked as it goes out:
// - the caller's credentials go to the caller's origin only, and the proxy's to the proxy only;
// - a Secure cookie never goes out on a connection that is not encrypted;
// and what the client keeps stays bounded: an error body by the client's cap, the caller's body
// by the bytes that came.
//
// Input: two setting bytes, then the servers' bytes; "\n#\n" separates the bytes of one
// connection from the next (each connect takes the next part), and each part arrives in pieces
// whose size the second setting byte chooses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>

#include "http/base64.h"
#include "http/cookies.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/text_util.h"
#include "http/tls_transport.h"

namespace {

using namespace qelvu;

constexpr char kOrigin[] = "origin.example:8080";
constexpr char kUser[] = "qelvu-user";
constexpr char kPassword[] = "pw-4f1d";
constexpr char kProxyUser[] = "qelvu-proxy";
constexpr char kProxyPassword[] = "ppw-9c2e";

[[noreturn]] void Violation(const char* what, std::string_view bytes) {
  fprintf(stderr, "property violated: %s\n%.*s\n", what, static_cast<int>(bytes.size()),
          bytes.data());
  abort();
}

// The value of header `name` in a request head ("" when it has none).
std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::string lower = LowerCase(head);
  const size_t at = lower.find("\r\n" + LowerCase(name) + ":");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  return Trim(head.substr(start, head.find("\r\n", start) - start));
}

// A TLS transport without sockets or OpenSSL: connections replay the script, and "encrypted"
// means only that the client switched pass-through off.
class TScriptedTransport : public TTlsTransport {
 public:
  TScriptedTransport(std::deque<std::string> connections, size_t piece, TCookieManager& cookies,
                     bool proxy, bool https)
      : connections_(std::move(connections)),
        piece_(piece),
        cookies_(cookies),
        proxy_(proxy),
        https_(https) {}

  void Open() override {}
  bool IsOpen() const override { return open_; }
  void Close() override {
    open_ = false;
    input_.clear();
  }
  void ConnectTransport(const TConnectTarget& target) override {
    if (connections_.empty()) throw EConnectException("No server left");
    input_ = std::move(connections_.front());
    connections_.pop_front();
    open_ = true;
    sent_.clear();
    if (SocksInfo.Version != TSocksVersion::svNoSocks) {
      RunSocksHandshake(SocksInfo, target,
                        {[](const std::string&) {},
                         [this](int count) {
                           if (input_.size() < static_cast<size_t>(count)) {
                             throw ESocksServerRespondError("Socks server did not respond.");
                           }
                           std::string reply = input_.substr(0, static_cast<size_t>(count));
                           input_.erase(0, static_cast<size_t>(count));
                           return reply;
                         },
                         [](const std::string&) { return std::string("127.0.0.1"); }});
    }
  }
  bool Readable(int /*timeout_ms*/) override {
    if (!open_) throw EConnClosedGracefully("Connection Closed Gracefully.");
    return true;
  }
  int Receive(char* buffer, int length, int& error) override {
    if (!open_) throw EClosedSocket("Disconnected.");
    error = 0;
    const size_t n = std::min({static_cast<size_t>(length), piece_, input_.size()});
    input_.copy(buffer, n);
    input_.erase(0, n);
    return static_cast<int>(n);
  }
  int Send(const char* buffer, int length, int& error) override {
    if (!open_) throw EClosedSocket("Disconnected.");
    error = 0;
    sent_.append(buffer, static_cast<size_t>(length));
    for (size_t end; (end = sent_.find("\r\n\r\n")) != std::string::npos;) {
      CheckHead(sent_.substr(0, end + 4));
      sent_.erase(0, end + 4);
    }
    return length;
  }
  bool IsEncrypted() const override { return open_ && !PassThrough(); }
  void SetPassThrough(bool pass_through) override {
    // The base class only notes the mode while no connection is open; no TLS ever starts.
    const bool was_open = open_;
    open_ = false;
    TTlsTransport::SetPassThrough(pass_through);
    open_ = was_open;
  }

 private:
  void CheckHead(const std::string& head) {
    static const std::string user = "Basic " + EncodeBase64(std::string(kUser) + ":" + kPassword);
    static const std::string proxy =
        "Basic " + EncodeBase64(std::string(kProxyUser) + ":" + kProxyPassword);
    const bool connect = head.rfind("CONNECT ", 0) == 0;
    // The origin is scheme, host and port: the scheme shows in whether the request went out
    // encrypted.
    if (head.find(user) != std::string::npos &&
        (connect || IsEncrypted() != https_ || !SameText(HeaderOf(head, "Host"), kOrigin) ||
         HeaderOf(head, "Authorization") != user)) {
      Violation("the caller's credentials left their origin", head);
    }
    // The proxy's credentials go to the proxy, in the clear or not at all: never to an origin,
    // never into a tunnel.
    if (head.find(proxy) != std::string::npos &&
        (!proxy_ || IsEncrypted() || HeaderOf(head, "Proxy-Authorization") != proxy)) {
      Violation("the proxy's credentials went elsewhere", head);
    }
    if (!IsEncrypted()) CheckNoSecureCookie(head);
  }

  void CheckNoSecureCookie(const std::string& head) {
    const std::string sent = "; " + HeaderOf(head, "Cookie") + ";";
    if (sent.size() <= 3) return;
    bool leaked = false;
    cookies_.CookieCollection.ForEach([&](const TNetscapeCookie& cookie) {
      if (!cookie.Secure || cookie.Value.empty()) return;
      const std::string pair = "; " + cookie.ClientForm() + ";";
      if (sent.find(pair) == std::string::npos) return;
      // The same name and value may also be kept without the flag, under another path.
      bool plain_twin = false;
      cookies_.CookieCollection.ForEach([&](const TNetscapeCookie& other) {
        if (!other.Secure && other.ClientForm() == cookie.ClientForm()) plain_twin = true;
      });
      if (!plain_twin) leaked = true;
    });
    if (leaked) Violation("a Secure cookie went out in plain text", head);
  }

  std::deque<std::string> connections_;
  size_t piece_;
  TCookieManager& cookies_;
  bool proxy_;
  // The caller's origin is an https one.
  bool https_;
  std::string input_;
  std::string sent_;
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const uint8_t shape = data[1];
  const std::string script(reinterpret_cast<const char*>(data) + 2, size - 2);
  // A server that names the secrets itself, plain or encoded as they go out, has not learnt them
  // from the client (the fuzzer does learn them from the checks below).
  static const std::string kSecrets[] = {
      kPassword, kProxyPassword, EncodeBase64(std::string(kUser) + ":" + kPassword),
      EncodeBase64(std::string(kProxyUser) + ":" + kProxyPassword)};
  for (const std::string& secret : kSecrets) {
    if (script.find(secret) != std::string::npos) return 0;
  }
  std::deque<std::string> connections;
  for (size_t start = 0;;) {
    const size_t end = script.find("\n#\n", start);
    connections.push_back(script.substr(start, end - start));
    if (end == std::string::npos || connections.size() >= 16) break;
    start = end + 3;
  }

  const bool proxy = (flags & 0x04) != 0;
  const bool https = (flags & 0x40) != 0;
  TCookieManager cookies;
  TScriptedTransport transport(std::move(connections), 1 + (shape & 0x3f), cookies, proxy, https);
  THttpClient client;
  client.SetTransport(&transport);
  client.SetCookieManager(&cookies);
  client.HandleRedirects = (flags & 0x01) != 0;
  if (flags & 0x02) client.HTTPOptions |= hoInProcessAuth;
  if (shape & 0x40) client.ProtocolVersion = THttpProtocolVersion::pv1_0;
  THttpRequest& request = client.Request();
  request.Username = kUser;
  request.Password = kPassword;
  request.BasicAuthentication = (flags & 0x80) != 0;
  if (proxy) {
    client.ProxyParams.SetProxyServer("proxy.example");
    client.ProxyParams.SetProxyPort(3128);
    client.ProxyParams.ProxyUsername = kProxyUser;
    client.ProxyParams.ProxyPassword = kProxyPassword;
    client.ProxyParams.BasicAuthentication = (shape & 0x80) != 0;
  }
  static constexpr TSocksVersion kSocks[] = {TSocksVersion::svNoSocks, TSocksVersion::svSocks4,
                                             TSocksVersion::svSocks4A, TSocksVersion::svSocks5};
  transport.SocksInfo.Version = kSocks[(flags >> 3) & 3];
  transport.SocksInfo.Host = "socks.example";
  if (flags & 0x20) transport.SocksInfo.Authentication = TSocksAuthentication::saUsernamePassword;

  const std::string url = std::string(https ? "https" : "http") + "://" + kOrigin + "/start";
  // Two requests, as the scraper makes: the second shows what the first left behind.
  for (int i = 0; i < 2; ++i) {
    TStringStream sink;
    try {
      client.GetDocument(url, sink);
    } catch (const EHTTPProtocolException& e) {
      if (e.ErrorBody().size() > THttpClient::kMaxErrorBody) abort();
    } catch (const ENetException&) {
    }
    if (sink.Size() > static_cast<int64_t>(size)) abort();
  }
  return 0;
}
