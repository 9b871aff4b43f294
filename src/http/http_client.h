// The blocking HTTP/1.0 and 1.1 client.
//
// `THttpClient` runs one request to completion on the calling thread: it merges the URL into
// its current location, connects (or reuses the kept connection), sends the head, reads the
// answer, keeps cookies, and writes a 2xx body into the caller's stream at its position. Every
// other final status raises `EHTTPProtocolException`; transport failures raise the connection's
// exceptions; all derive from `ENetException`. The client owns its request and response
// records, its current URI and (when it made it) its cookie store. One thread at a time.
//
// Redirects are followed only with `HandleRedirects`; 401 and 407 answers are answered only
// through the authorization events or `hoInProcessAuth`. Credentials go only to the origin
// (scheme, host, port) they belong to: those of the request record to the URL the caller asked
// for, those a 401 exchange settled to the server that asked, those of the proxy to that proxy.
// `ProxyParams` routes requests through an HTTP proxy (https through a CONNECT tunnel). https needs
// a `TTlsTransport` assigned with SetTransport; without one it raises `ETransportPropInvalid`.
//
//   THttpClient client;
//   client.ReadTimeout = 30000;
//   TStringStream page;
//   client.GetDocument("http://host/", page);
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/byte_stream.h"
#include "http/cookies.h"
#include "http/http_auth.h"
#include "http/http_headers.h"
#include "http/tcp_connection.h"
#include "http/uri.h"

namespace qelvu {

class TCustomHttpClient;

// The answer to the last request. Status code and keep-alive verdict are derived on demand.
class THttpResponse : public TResponseHeaderInfo {
 public:
  explicit THttpResponse(TCustomHttpClient& client) : client_(client) {}

  // The code read from the status line's second word; -1 when there is none.
  int StatusCode() const;
  // Whether the connection stays open after this answer, by the 1.0 rule when either the client
  // or this answer speaks 1.0, else by the 1.1 rule.
  bool KeepConnection();

  std::string StatusLine;
  THttpProtocolVersion ServerVersion = THttpProtocolVersion::pv1_0;
  TByteStream* BodySink = nullptr;
  // The method of the request this answers: the answer to a HEAD has no body, whatever its
  // headers announce.
  THttpMethod RequestMethod = THttpMethod::hmGet;

 private:
  TCustomHttpClient& client_;
};

// An HTTP proxy to route requests through; an empty server means none. Owns the proxy's
// authentication object. A change of server (any letter case) or port drops that object and the
// user name and password that went to the old proxy; credentials set since then stay.
class TProxyConnectionInfo {
 public:
  const std::string& ProxyServer() const { return proxy_server_; }
  void SetProxyServer(const std::string& server);
  int ProxyPort() const { return proxy_port_; }
  void SetProxyPort(int port);
  // Empties the texts and sets the port to 0.
  void Clear();
  // The "Proxy-Authorization" value; empty sends none (see ComposeAuthorization).
  std::string AuthorizationValue() {
    return ComposeAuthorization(Authentication, BasicAuthentication, ProxyUsername, ProxyPassword);
  }
  // Records that the user name and password went to the current proxy, so they are its own.
  void NoteCredentialsSent() { sent_credentials_ = {ProxyUsername, ProxyPassword}; }

  std::string ProxyUsername;
  std::string ProxyPassword;
  bool BasicAuthentication = false;
  std::unique_ptr<THttpAuthentication> Authentication;

 private:
  void DropCredentialsOfOldProxy();

  std::string proxy_server_;
  int proxy_port_ = 0;
  // The user name and password as they last went to the current proxy.
  std::optional<std::pair<std::string, std::string>> sent_credentials_;
};

enum THttpOption { hoInProcessAuth = 1, hoKeepOrigProtocol = 2, hoForceEncodeParams = 4 };

enum class TNextStep { RetryNewTarget, Finished, Undetermined, RetryWithCredentials };

class TCustomHttpClient : public TTcpClient {
 public:
  TCustomHttpClient();
  ~TCustomHttpClient() override;

  // GETs `url` into `sink` at its position.
  void GetDocument(const std::string& url, TByteStream& sink);
  // Runs one request to its end; returns only when it finished, raises otherwise.
  virtual void PerformRequest(THttpMethod method, const std::string& url, TByteStream* source,
                              TByteStream* sink);

  THttpRequest& Request() { return request_; }
  THttpResponse& Response() { return response_; }
  TUri& CurrentUri() { return current_uri_; }
  int RedirectsDone() const { return redirects_done_; }

  // Setting the target also sets the current URI's host or port.
  void SetHost(const std::string& host) override;
  void SetPort(int port) override;

  // The store in use, or null (also once that store was destroyed). Assigning one the client
  // does not own replaces its own.
  TCookieManager* CookieManager() const { return cookie_link_ ? cookie_link_->Manager() : nullptr; }
  void SetCookieManager(TCookieManager* manager);

  int AuthRetries = 3;
  bool AllowCookies = true;
  bool HandleRedirects = false;
  // A redirect to another scheme, host or port drops the request's credentials (user name,
  // password, BasicAuthentication, the scheme object) unless this allows them to follow.
  bool KeepCredentialsOnRedirect = false;
  THttpProtocolVersion ProtocolVersion = THttpProtocolVersion::pv1_1;
  int RedirectMaximum = 15;
  TProxyConnectionInfo ProxyParams;
  int HTTPOptions = hoForceEncodeParams;
  int ConnectTimeout = 0;
  // Upper bound of one response head in bytes; a longer head raises EHeaderBlockTooLarge.
  size_t MaxHeaderBlockSize = 1 << 20;
  // The body of an error answer is kept for EHTTPProtocolException::ErrorBody up to this size.
  static constexpr size_t kMaxErrorBody = 64 * 1024;
  // An error or redirect body is read (and, past kMaxErrorBody, dropped) up to this many bytes
  // to keep the connection for the next request; a longer one costs the connection instead.
  int64_t MaxDrainSize = int64_t{1} << 20;

  std::function<void(const THeaderList& headers, bool& continue_reading)> OnHeadersAvailable;
  std::function<void(std::string& destination, int redirect_count, bool& handled,
                     THttpMethod& method)>
      OnRedirect;
  // A 401 (407) names a registered scheme and no object exists yet: may replace the class
  // (null refuses). `challenges` are the answer's authenticate values.
  using TSelectAuthorizationEvent = std::function<void(const TAuthSchemeClass*& scheme_class,
                                                       const std::vector<std::string>& challenges)>;
  TSelectAuthorizationEvent OnSelectAuthorization;
  TSelectAuthorizationEvent OnSelectProxyAuthorization;
  // The scheme asks for credentials: set them on `authentication` and `handled` to send them.
  using TAuthorizationEvent =
      std::function<void(THttpAuthentication& authentication, bool& handled)>;
  TAuthorizationEvent OnAuthorization;
  TAuthorizationEvent OnProxyAuthorization;

 protected:
  // Credential steps for 401 and 407 answers; true retries with credentials. They answer
  // only through OnAuthorization (OnProxyAuthorization) or with hoInProcessAuth.
  virtual bool AuthorizeStep(THttpRequest& request, THttpResponse& response);
  virtual bool ProxyAuthorizeStep(THttpRequest& request, THttpResponse& response);
  // Whether to follow a redirect to `location` (which it may change, as the method).
  virtual bool DoRedirect(std::string& location, THttpMethod& method, int redirect_count);
  // Drops a scheme object that finished its exchange when the connection goes.
  void DoDisconnected() override;

 private:
  struct TCredentialSlot {
    std::unique_ptr<THttpAuthentication>& authentication;
    const std::vector<std::string>& challenges;
    const TSelectAuthorizationEvent& on_select;
    const TAuthorizationEvent& on_authorization;
    std::string& username;
    std::string& password;
    bool& basic_authentication;
    // Where the caller's answer to an AskCaller step is noted; null keeps no note.
    std::optional<std::pair<std::string, std::string>>* answered;
  };
  bool RunAuthorizeStep(const TCredentialSlot& slot);

  // `redirected` tells a followed Location from the caller's own URL.
  void PrepareTarget(bool redirected);
  // Drops the request's credentials that belong to another origin than the current URI's: on a
  // redirect all of them (unless KeepCredentialsOnRedirect), on the caller's own URL only what
  // the client made itself, the scheme object and the handler's answer.
  void BindCredentials(bool redirected);
  // Sends the request and returns the first line of its answer; a GET or HEAD whose kept
  // connection the server closed before answering goes out once more on a new one.
  std::string ExchangeFirstLine();
  // Connects (or keeps the connection) for the current URI; true when a kept one serves.
  bool OpenRoute();
  // The request head and, for POST and PUT, the body.
  void SendRequest();
  TConnectionKind SelectRoute();
  void ApplyConnectionFields();
  // Closes a connection the previous answer or the server gave up.
  void DropStaleConnection(THttpResponse& previous);
  // True when the connection was kept, false when it was made now.
  bool EnsureConnected(THttpResponse& previous);
  // The CONNECT tunnel through the proxy to the origin, TLS on once the proxy agrees; a kept
  // tunnel to the same origin is used again (and true returned). The proxy's answers set no
  // cookies.
  bool OpenTunnel();
  // Sets a TLS transport's pass-through, closing a connection opened in the other mode.
  void SwitchTls(bool pass_through);
  void SendRequestHead(THttpRequest& request, const TUri* uri);
  // Reads the header lines after the status line and interprets them.
  void ReadResponseHead(THttpResponse& response);
  void StoreCookies(THttpResponse& response);
  TNextStep DecideNextStep(THttpRequest& request, THttpResponse& response);
  // Takes up a 401 or 407 with the credentials of the scheme or the caller; raises the answer
  // when they are refused or their attempts spent.
  void AnswerChallenge(THttpRequest& request, THttpResponse& response);
  void ReadBody(THttpResponse& response);
  int ReadChunkSize();
  void DrainBody(THttpResponse& response);
  [[noreturn]] void RaiseProtocolError(THttpResponse& response);
  // Reads a body that is not the caller's within `limit_ms` as a whole and MaxDrainSize bytes,
  // or drops the connection; returns its first kMaxErrorBody bytes.
  std::string ReadBodyAside(THttpResponse& response, int limit_ms, bool ignore_failure);

  TUri current_uri_;
  THttpRequest request_;
  THttpResponse response_;
  int redirects_done_ = 0;
  // "host:port" the open connection tunnels to through the proxy, or empty.
  std::string tunnel_origin_;
  // "scheme://host:port" the request's credentials belong to; empty before the first request.
  std::string credential_origin_;
  // The user name and password OnAuthorization gave, while the request record holds them.
  std::optional<std::pair<std::string, std::string>> answered_credentials_;
  // To the store in use; the store empties it when it goes.
  std::shared_ptr<TCookieManagerLink> cookie_link_;
  std::unique_ptr<TCookieManager> own_cookie_manager_;
};

class THttpClient : public TCustomHttpClient {};

}  // namespace qelvu
