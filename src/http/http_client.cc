#include "http/http_client.h"

#include "common/scope_guard.h"
#include "http/net_exceptions.h"
#include "http/text_util.h"
#include "http/tls_transport.h"

namespace qelvu {
namespace {

// A line break inside the target or the host would end the request line or the header early
// and let URL text pose as headers of its own; such bytes go out percent-encoded.
std::string EscapeLineBreaks(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '\r') {
      result += "%0D";
    } else if (c == '\n') {
      result += "%0A";
    } else if (c == '\0') {
      result += "%00";
    } else {
      result += c;
    }
  }
  return result;
}

// The sink of a body read aside: keeps its first bytes, counts the rest, and stops the read
// once there are more than it may take.
class TAsideStream : public TByteStream {
 public:
  // Thrown out of the read when the body passes the drain limit.
  struct TFull {};

  TAsideStream(size_t keep, int64_t limit) : keep_(keep), limit_(limit) {}

  int64_t Size() const override { return total_; }
  void SetSize(int64_t /*size*/) override {}
  int64_t Position() const override { return total_; }
  void SetPosition(int64_t /*position*/) override {}
  int64_t Read(void* /*buffer*/, int64_t /*count*/) override { return 0; }
  void Write(const void* buffer, int64_t count) override {
    if (count <= 0) return;
    const size_t room = keep_ - kept_.size();
    kept_.append(static_cast<const char*>(buffer), std::min(room, static_cast<size_t>(count)));
    total_ += count;
    if (total_ > limit_) throw TFull{};
  }

  std::string TakeKept() { return std::move(kept_); }

 private:
  size_t keep_;
  int64_t limit_;
  std::string kept_;
  int64_t total_ = 0;
};

}  // namespace

int THttpResponse::StatusCode() const {
  size_t blank = StatusLine.find(' ');
  if (blank == std::string::npos) return -1;
  std::string rest = Trim(StatusLine.substr(blank + 1));
  std::string word = rest.substr(0, rest.find(' '));
  return static_cast<int>(ParseDecimal(word, INT32_MIN, INT32_MAX).value_or(-1));
}

bool THttpResponse::KeepConnection() {
  bool answered_1_0 = false;
  if (StatusLine.size() >= 8) {
    std::string version = StatusLine.substr(5, 3);
    answered_1_0 = version == "1.0";
    if (answered_1_0) ServerVersion = THttpProtocolVersion::pv1_0;
    if (version == "1.1") ServerVersion = THttpProtocolVersion::pv1_1;
  }
  client_.CheckPeerClosed(false, false);
  if (!client_.IsConnected()) return false;
  std::string connection = Trim(Connection);
  std::string proxy_connection = Trim(ProxyConnection);
  // A server that answers in 1.0 closes after the answer unless it said keep-alive: reusing
  // its connection races that close and fails the next request.
  if (client_.ProtocolVersion == THttpProtocolVersion::pv1_0 || answered_1_0) {
    return SameText(connection, "KEEP-ALIVE") || SameText(proxy_connection, "KEEP-ALIVE");
  }
  return !SameText(connection, "CLOSE") && !SameText(proxy_connection, "CLOSE");
}

void TProxyConnectionInfo::SetProxyServer(const std::string& server) {
  if (!SameText(server, proxy_server_)) DropCredentialsOfOldProxy();
  proxy_server_ = server;
}

void TProxyConnectionInfo::SetProxyPort(int port) {
  if (port != proxy_port_) DropCredentialsOfOldProxy();
  proxy_port_ = port;
}

void TProxyConnectionInfo::DropCredentialsOfOldProxy() {
  Authentication.reset();
  // Only what went to the old proxy is its own: a caller may set the new one's credentials
  // before naming it.
  if (sent_credentials_ && sent_credentials_->first == ProxyUsername &&
      sent_credentials_->second == ProxyPassword) {
    ProxyUsername.clear();
    ProxyPassword.clear();
    BasicAuthentication = false;
  }
  sent_credentials_.reset();
}

void TProxyConnectionInfo::Clear() {
  SetProxyServer("");
  SetProxyPort(0);
  ProxyUsername.clear();
  ProxyPassword.clear();
}

TCustomHttpClient::TCustomHttpClient() : response_(*this) {
  current_uri_.Port = "80";
  TTcpClient::SetPort(80);
}

TCustomHttpClient::~TCustomHttpClient() = default;

void TCustomHttpClient::SetHost(const std::string& host) {
  TTcpClient::SetHost(host);
  current_uri_.Host = host;
}

void TCustomHttpClient::SetPort(int port) {
  TTcpClient::SetPort(port);
  current_uri_.Port = std::to_string(port);
}

void TCustomHttpClient::SetCookieManager(TCookieManager* manager) {
  if (manager == CookieManager()) return;
  if (own_cookie_manager_.get() != manager) own_cookie_manager_.reset();
  cookie_link_ = manager ? manager->Attach() : nullptr;
}

void TCustomHttpClient::GetDocument(const std::string& url, TByteStream& sink) {
  PerformRequest(THttpMethod::hmGet, url, nullptr, &sink);
}

void TCustomHttpClient::PerformRequest(THttpMethod method, const std::string& url,
                                       TByteStream* source, TByteStream* sink) {
  int64_t start_position = sink ? sink->Position() : 0;
  request_.TargetUrl = url;
  request_.RequestMethod = method;
  request_.BodySource = source;
  response_.BodySink = sink;
  // Any failure but an error answer may leave part of an answer unread on the connection;
  // reusing it would hand those bytes to the next request as its answer.
  TScopeGuard drop_connection([this] { Disconnect(); });
  // A request that failed half-way must not leave its passes to count against this one.
  redirects_done_ = 0;
  try {
    bool finished = false;
    bool redirected = false;
    while (!finished) {
      ++redirects_done_;
      PrepareTarget(redirected);
      response_.RequestMethod = request_.RequestMethod;
      response_.StatusLine = ExchangeFirstLine();
      // A server that answers 100 Continue forever must not hold the client forever.
      constexpr int kMaxInterimAnswers = 16;
      int interim_answers = 0;
      while (true) {
        ReadResponseHead(response_);
        StoreCookies(response_);
        if (response_.StatusCode() != 100) break;
        if (++interim_answers > kMaxInterimAnswers) {
          throw EProtocolReplyError("Too many 100 Continue answers.");
        }
        response_.StatusLine = ReadLine();
      }
      switch (DecideNextStep(request_, response_)) {
        case TNextStep::RetryNewTarget:
          if (sink) {
            sink->SetPosition(start_position);
            sink->SetSize(start_position);
          }
          redirected = true;
          break;
        case TNextStep::Finished:
          finished = true;
          break;
        case TNextStep::Undetermined:
          throw ENetException("Undefined situation");
        case TNextStep::RetryWithCredentials: {
          --redirects_done_;
          // The credentials answer the server that asked, which after a redirect is not the
          // one the caller's URL names.
          TUri here = current_uri_;
          request_.TargetUrl = here.ComposeUri(0);
          break;
        }
      }
    }
  } catch (const EHTTPProtocolException&) {
    // The error answer was read whole, so the connection may serve the next request.
    drop_connection.Release();
    if (!response_.KeepConnection()) Disconnect();
    throw;
  }
  drop_connection.Release();
  if (!response_.KeepConnection()) Disconnect();
  redirects_done_ = 0;
}

void TCustomHttpClient::PrepareTarget(bool redirected) {
  TUri target(request_.TargetUrl);
  TUri& c = current_uri_;
  // The host is connected to, matched against cookies and written unescaped into the CONNECT
  // line: a NUL would make each of them see another host, a line break would start a header.
  // Refused before the current URI takes it, so the next relative URL does not inherit it.
  const std::string& host = target.Host.empty() ? c.Host : target.Host;
  if (HasLineBreakOrNul(host) || HasLineBreakOrNul(target.Port)) {
    throw EURIException("Host holds a line break or NUL byte");
  }
  c.Directory = ResolvePath(c.Directory, target.Directory);
  c.Resource = target.Resource;
  c.Query = target.Query;
  if (!target.Host.empty()) c.Host = target.Host;
  // A relative target, a redirect's Location among them, stays on the scheme it came from, as
  // it stays on the host and port: https must not fall back to plain text on port 443.
  if (!target.Scheme.empty()) {
    c.Scheme = target.Scheme;
  } else if (c.Scheme.empty()) {
    c.Scheme = "http";
  }
  if (!target.Port.empty()) {
    c.Port = target.Port;
  } else if (SameText(target.Scheme, "http")) {
    c.Port = "80";
  } else if (SameText(target.Scheme, "https")) {
    c.Port = "443";
  } else if (c.Port.empty()) {
    throw EUnknownProtocol("");
  }
  BindCredentials(redirected);
  // Credentials in the URL name their own origin, a redirect's as well.
  if (!target.UserName.empty()) {
    request_.Username = target.UserName;
    request_.Password = target.Password;
  }
  c.UserName = request_.Username;
  c.Password = request_.Password;
  request_.TargetUrl = EscapeLineBreaks(c.Directory + c.Resource + c.Query);
  if (request_.RequestMethod == THttpMethod::hmOptions && target.Resource == "*") {
    request_.TargetUrl = "*";
  }
  THttpMethod m = request_.RequestMethod;
  if ((m == THttpMethod::hmOptions || m == THttpMethod::hmTrace || m == THttpMethod::hmPut ||
       m == THttpMethod::hmDelete) &&
      ProtocolVersion == THttpProtocolVersion::pv1_0) {
    throw ENetException("This request method is supported in HTTP 1.1");
  }
  bool has_body = (m == THttpMethod::hmPost || m == THttpMethod::hmPut) && request_.BodySource;
  request_.SetContentLength(has_body ? static_cast<int32_t>(request_.BodySource->Size()) : -1);
  request_.Host = EscapeLineBreaks(c.Port == "80" ? c.Host : c.Host + ":" + c.Port);
}

void TCustomHttpClient::BindCredentials(bool redirected) {
  std::string origin = LowerCase(current_uri_.Scheme) + "://" + LowerCase(current_uri_.Host) + ":" +
                       current_uri_.Port;
  if (origin == credential_origin_) return;
  bool first_request = credential_origin_.empty();
  credential_origin_ = origin;
  if (first_request || (redirected && KeepCredentialsOnRedirect)) return;
  THttpRequest& r = request_;
  // The caller's own credentials are meant for each URL it asks for, not for wherever a server
  // sends it; what the handler answered one server is that server's alone.
  bool answered_here = answered_credentials_ && answered_credentials_->first == r.Username &&
                       answered_credentials_->second == r.Password;
  if (redirected || answered_here) {
    r.Username.clear();
    r.Password.clear();
    r.BasicAuthentication = false;
  }
  r.Authentication.reset();
  answered_credentials_.reset();
}

TConnectionKind TCustomHttpClient::SelectRoute() {
  bool https = SameText(current_uri_.Scheme, "HTTPS");
  // The connection target is set through the base class so the current URI keeps naming the
  // origin server even when the connection goes to a proxy.
  auto retarget = [this](const std::string& host, int port) {
    if (!SameText(Host(), host) || Port() != port) {
      if (IsConnected()) Disconnect();
      TTcpClient::SetHost(host);
      TTcpClient::SetPort(port);
    }
  };
  TTlsTransport* tls = dynamic_cast<TTlsTransport*>(Transport());
  // Without TLS an https request would go out in plain text, through a proxy as well.
  if (https && !tls) throw ETransportPropInvalid("Transport value is not valid");
  if (tls) tls->HostName = current_uri_.Host;
  if (ProxyParams.ProxyServer().empty()) {
    retarget(current_uri_.Host,
             static_cast<int>(ConvertInteger(current_uri_.Port, INT32_MIN, INT32_MAX)));
    SwitchTls(!https);
    return https ? TConnectionKind::TlsRoute : TConnectionKind::DirectRoute;
  }
  retarget(ProxyParams.ProxyServer(), ProxyParams.ProxyPort());
  if (https) return TConnectionKind::TlsProxyRoute;  // the tunnel decides
  SwitchTls(true);
  return TConnectionKind::ProxyRoute;
}

void TCustomHttpClient::SwitchTls(bool pass_through) {
  TTlsTransport* tls = dynamic_cast<TTlsTransport*>(Transport());
  if (!tls || tls->PassThrough() == pass_through) return;
  // Bytes of one kind must never go out on a connection opened for the other.
  if (IsConnected()) Disconnect();
  tls->SetPassThrough(pass_through);
}

void TCustomHttpClient::ApplyConnectionFields() {
  bool v10 = ProtocolVersion == THttpProtocolVersion::pv1_0;
  switch (request_.ConnectionKind) {
    case TConnectionKind::DirectRoute:
      if (v10 && request_.Connection.empty()) request_.Connection = "keep-alive";
      break;
    case TConnectionKind::ProxyRoute:
      if (v10 && request_.Connection.empty()) request_.ProxyConnection = "keep-alive";
      break;
    case TConnectionKind::TlsRoute:
    case TConnectionKind::TlsProxyRoute:
      request_.Connection.clear();
      break;
  }
}

std::string TCustomHttpClient::ExchangeFirstLine() {
  bool kept = OpenRoute();
  try {
    SendRequest();
    return ReadLine();
  } catch (const ENetException&) {
    // A server may close a kept connection just as the request goes out, having waited long
    // enough for one: the request fails before any byte of an answer. A GET or HEAD is safe to
    // send again, once, on a new connection; a POST may have had its effect, and the failure
    // of a fresh connection, of a partial answer or of a connection still open is real.
    THttpMethod m = request_.RequestMethod;
    bool repeatable = m == THttpMethod::hmGet || m == THttpMethod::hmHead;
    if (!kept || !repeatable || InputBuffer.Size() != 0 || IsConnected()) throw;
  }
  Disconnect();
  OpenRoute();
  SendRequest();
  return ReadLine();
}

bool TCustomHttpClient::OpenRoute() {
  request_.ConnectionKind = SelectRoute();
  if (request_.ConnectionKind == TConnectionKind::ProxyRoute) {
    TUri full = current_uri_;
    request_.TargetUrl = EscapeLineBreaks(full.Uri());
  }
  ApplyConnectionFields();
  if (request_.ConnectionKind == TConnectionKind::TlsProxyRoute) return OpenTunnel();
  return EnsureConnected(response_);
}

void TCustomHttpClient::SendRequest() {
  SendRequestHead(request_, &current_uri_);
  THttpMethod m = request_.RequestMethod;
  if ((m == THttpMethod::hmPost || m == THttpMethod::hmPut) && request_.BodySource) {
    WriteFromStream(*request_.BodySource, true, false);
  }
}

void TCustomHttpClient::DropStaleConnection(THttpResponse& previous) {
  if (!previous.KeepConnection()) Disconnect();
  try {
    // A look that does not wait: a close the server made while the connection sat idle is
    // already there to be seen, and waiting even 1 ms for one would cost every kept-alive
    // request that millisecond.
    FillInput(false, 0, false);
  } catch (const ESocketError&) {
    // A kept connection the server reset while idle is as good as closed: the failed receive
    // closed the socket, and a fresh connection follows.
  }
}

bool TCustomHttpClient::EnsureConnected(THttpResponse& previous) {
  DropStaleConnection(previous);
  if (IsConnected()) return true;
  Connect(ConnectTimeout);
  return false;
}

bool TCustomHttpClient::OpenTunnel() {
  TTlsTransport& tls = dynamic_cast<TTlsTransport&>(*Transport());
  std::string origin = current_uri_.Host + ":" + current_uri_.Port;
  DropStaleConnection(response_);
  if (IsConnected() && !tls.PassThrough() && SameText(tunnel_origin_, origin)) return true;
  // A connection to the proxy that is plain, or tunnels to another origin, cannot carry this.
  if (IsConnected()) Disconnect();
  tls.SetPassThrough(true);
  tunnel_origin_.clear();

  THttpRequest connect;
  connect.UserAgent = request_.UserAgent;
  connect.Host = request_.Host;
  // No body follows a CONNECT, so it announces none, whatever the real request carries.
  connect.Pragma = "no-cache";
  connect.TargetUrl = origin;
  connect.RequestMethod = THttpMethod::hmConnect;
  connect.ProxyConnection = "keep-alive";
  THttpResponse answer(*this);
  TStringStream scratch;
  answer.BodySink = &scratch;
  answer.RequestMethod = THttpMethod::hmConnect;
  for (int challenges = 0;; ++challenges) {
    EnsureConnected(answer);
    SendRequestHead(connect, nullptr);
    answer.StatusLine = ReadLine();
    // Only a proxy's 200 opens the tunnel; a line that says nothing is no consent to carry it.
    if (answer.StatusLine.empty()) {
      throw EProtocolReplyError("The proxy gave no answer to CONNECT.");
    }
    // The proxy speaks for itself here, not for the origin: its Set-Cookie would plant cookies
    // in the origin's name.
    ReadResponseHead(answer);
    if (answer.StatusCode() == 200) break;
    // Only a proxy's demand for credentials is worth another CONNECT, and no more often than
    // AuthRetries allows, however the scheme counts. The answer is taken as nothing else: a
    // Location in it leads nowhere, as the tunnel's end is fixed, and the caller's header hook
    // has no body of its own to spare here.
    if (answer.StatusCode() != 407 || challenges >= AuthRetries) RaiseProtocolError(answer);
    AnswerChallenge(connect, answer);
    if (IsConnected()) DrainBody(answer);
  }
  tls.SetPassThrough(false);
  tunnel_origin_ = origin;
  return false;
}

void TCustomHttpClient::SendRequestHead(THttpRequest& request, const TUri* uri) {
  request.ComposeHeaders();
  // Proxy credentials go only to the proxy itself: a plain request it forwards, or the CONNECT
  // that opens a tunnel, never a request inside the tunnel, which the origin server reads.
  if (request.ConnectionKind == TConnectionKind::ProxyRoute ||
      request.RequestMethod == THttpMethod::hmConnect) {
    RequireOneLine("Proxy user name", ProxyParams.ProxyUsername);
    RequireOneLine("Proxy password", ProxyParams.ProxyPassword);
    std::string authorization = ProxyParams.AuthorizationValue();
    RequireOneLine("Header Proxy-Authorization", authorization);
    request.RawHeaders.SetHeaderValue("Proxy-Authorization", authorization);
    if (!authorization.empty()) ProxyParams.NoteCredentialsSent();
  }
  if (TCookieManagerLink::THold cookies(cookie_link_.get()); uri && cookies) {
    // A Secure cookie goes only to an https address over a connection that really is TLS: a
    // TLS transport in pass-through carries plain text.
    const bool secure = SameText(uri->Scheme, "https") && Transport() && Transport()->IsEncrypted();
    request.RawHeaders.SetHeaderValue("Cookie", cookies->CookieHeaderFor(*uri, secure));
  }
  OpenWriteBatch();
  // Half a head must not stay batched for the next request to send.
  TScopeGuard discard_on_failure([this] { DiscardWriteBatch(); });
  WriteLine(std::string(MethodToken(request.RequestMethod)) + " " + request.TargetUrl + " HTTP/" +
            VersionText(ProtocolVersion));
  for (int i = 0; i < request.RawHeaders.Count(); ++i) {
    if (!request.RawHeaders.Line(i).empty()) WriteLine(request.RawHeaders.Line(i));
  }
  WriteLine("");
  CloseWriteBatch();
  discard_on_failure.Release();
}

void TCustomHttpClient::ReadResponseHead(THttpResponse& response) {
  response.RawHeaders.Clear();
  size_t total = response.StatusLine.size();
  while (true) {
    std::string line;
    try {
      line = ReadLine();
    } catch (const EConnClosedGracefully&) {
      if (response.RawHeaders.Count() == 0) throw;
      Disconnect();
      break;
    }
    if (line.empty()) break;
    total += line.size() + 2;
    // Each line is bounded by MaxLineLength; this bounds their number, so a head that never
    // ends cannot grow without limit.
    if (total > MaxHeaderBlockSize) throw EHeaderBlockTooLarge("Header block too large.");
    response.RawHeaders.Add(line);
  }
  response.InterpretHeaders();
}

void TCustomHttpClient::StoreCookies(THttpResponse& response) {
  if (!CookieManager() && AllowCookies) {
    own_cookie_manager_ = std::make_unique<TCookieManager>();
    cookie_link_ = own_cookie_manager_->Attach();
  }
  TCookieManagerLink::THold cookies(cookie_link_.get());
  if (!cookies) return;
  std::vector<std::string> values;
  response.RawHeaders.ExtractValues("Set-cookie", values);
  for (const std::string& value : values) {
    cookies->AcceptCookie(value, current_uri_.Host);
  }
  values.clear();
  response.RawHeaders.ExtractValues("Set-cookie2", values);
  for (const std::string& value : values) {
    cookies->AcceptCookie(value, current_uri_.Host, true);
  }
}

bool TCustomHttpClient::RunAuthorizeStep(const TCredentialSlot& slot) {
  if (!slot.authentication) {
    const TAuthSchemeClass* scheme_class = nullptr;
    for (const std::string& challenge : slot.challenges) {
      scheme_class = FindScheme(challenge.substr(0, challenge.find(' ')));
      if (scheme_class) break;
    }
    if (!scheme_class) return false;
    if (slot.on_select) slot.on_select(scheme_class, slot.challenges);
    if (!scheme_class) return false;
    slot.authentication = scheme_class->Create();
  }
  THttpAuthentication& auth = *slot.authentication;
  if (!slot.on_authorization && (HTTPOptions & hoInProcessAuth) == 0) return false;
  auth.SetUsername(slot.username);
  auth.SetPassword(slot.password);
  auth.Credentials.SetHeaderValue("Authorization", auth.AuthorizationValue());
  auth.SetChallenges(slot.challenges);
  while (true) {
    switch (auth.Advance()) {
      case TAuthAction::SendAgain:
        return true;
      case TAuthAction::GiveUp:
        return false;
      case TAuthAction::AskCaller: {
        // A handler that keeps answering without giving a user name would be asked forever.
        if (!slot.on_authorization || auth.Attempts > AuthRetries) return false;
        auth.SetUsername(slot.username);
        auth.SetPassword(slot.password);
        bool handled = false;
        slot.on_authorization(auth, handled);
        if (!handled) return false;
        slot.basic_authentication = true;
        slot.username = auth.Username();
        slot.password = auth.Password();
        if (slot.answered) *slot.answered = {slot.username, slot.password};
        break;
      }
    }
  }
}

bool TCustomHttpClient::AuthorizeStep(THttpRequest& request, THttpResponse& response) {
  return RunAuthorizeStep({request.Authentication, response.WWWAuthenticate, OnSelectAuthorization,
                           OnAuthorization, request.Username, request.Password,
                           request.BasicAuthentication, &answered_credentials_});
}

bool TCustomHttpClient::ProxyAuthorizeStep(THttpRequest&, THttpResponse& response) {
  return RunAuthorizeStep({ProxyParams.Authentication, response.ProxyAuthenticate,
                           OnSelectProxyAuthorization, OnProxyAuthorization,
                           ProxyParams.ProxyUsername, ProxyParams.ProxyPassword,
                           ProxyParams.BasicAuthentication, nullptr});
}

void TCustomHttpClient::DoDisconnected() {
  TTcpClient::DoDisconnected();
  if (request_.Authentication &&
      request_.Authentication->Step == request_.Authentication->StepCount()) {
    request_.Authentication.reset();
  }
  if (THttpAuthentication* proxy = ProxyParams.Authentication.get();
      proxy && proxy->Step == proxy->StepCount()) {
    ProxyParams.ProxyUsername.clear();
    ProxyParams.ProxyPassword.clear();
    proxy->Reset();
  }
}

bool TCustomHttpClient::DoRedirect(std::string& location, THttpMethod& method, int redirect_count) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(location, redirect_count, handled, method);
  return handled;
}

TNextStep TCustomHttpClient::DecideNextStep(THttpRequest& request, THttpResponse& response) {
  if (OnHeadersAvailable) {
    bool continue_reading = true;
    OnHeadersAvailable(response.RawHeaders, continue_reading);
    if (!continue_reading) {
      // The body stays unread, so the connection cannot serve another request.
      response.Connection = "close";
      response.ProxyConnection = "close";
      return TNextStep::Finished;
    }
  }
  TNextStep result = TNextStep::Undetermined;
  int code = response.StatusCode();
  int d = code / 100;
  if ((d == 3 && code != 304) || !response.Location.empty()) {
    std::string location = response.Location;
    THttpMethod method = request.RequestMethod;
    if (HandleRedirects && redirects_done_ < RedirectMaximum) {
      if (!DoRedirect(location, method, redirects_done_)) RaiseProtocolError(response);
      result = TNextStep::RetryNewTarget;
      request.TargetUrl = location;
      request.RequestMethod = method;
    } else {
      result = TNextStep::Finished;
      if (!DoRedirect(location, method, redirects_done_)) RaiseProtocolError(response);
      response.Location = location;
    }
    if (IsConnected()) DrainBody(response);
    return result;
  }
  bool in_process_auth = false;
  if (d != 2) {
    result = TNextStep::RetryNewTarget;
    if (code == 401 || code == 407) {
      AnswerChallenge(request, response);
      in_process_auth = (HTTPOptions & hoInProcessAuth) != 0;
    } else {
      RaiseProtocolError(response);
    }
  }
  if (IsConnected()) {
    if (in_process_auth) {
      DrainBody(response);
      result = TNextStep::RetryWithCredentials;
    } else {
      ReadBody(response);
      result = TNextStep::Finished;
    }
  }
  return result;
}

void TCustomHttpClient::AnswerChallenge(THttpRequest& request, THttpResponse& response) {
  bool proxy = response.StatusCode() == 407;
  std::unique_ptr<THttpAuthentication>& auth =
      proxy ? ProxyParams.Authentication : request.Authentication;
  bool refused =
      (auth && auth->Attempts >= AuthRetries) ||
      !(proxy ? ProxyAuthorizeStep(request, response) : AuthorizeStep(request, response));
  if (!refused) return;
  if (auth) auth->Reset();
  if (proxy) {
    ProxyParams.ProxyUsername.clear();
    ProxyParams.ProxyPassword.clear();
  }
  RaiseProtocolError(response);
}

void TCustomHttpClient::ReadBody(THttpResponse& response) {
  TByteStream* sink = response.BodySink;
  const int code = response.StatusCode();
  // These answers end at their head; bytes after it belong to the next answer.
  if (!sink || response.RequestMethod == THttpMethod::hmHead || code == 204 || code == 304) return;
  const bool chunked =
      LowerCase(response.RawHeaders.HeaderValue("Transfer-Encoding")).find("chunked") !=
      std::string::npos;
  // A TLS server that closes without its close notice may not have ended the body at all: an
  // attacker can cut the connection anywhere. Where the length is known, that is a failure.
  auto cut_short = [this] { return Transport() && Transport()->EndedWithoutCloseNotify(); };
  try {
    if (response.ContentLength() > 0) {
      try {
        ReadIntoStream(*sink, response.ContentLength());
      } catch (const EConnClosedGracefully&) {
        // A server that closes early leaves the bytes that came.
        if (cut_short()) throw;
      }
    } else if (chunked) {
      DoStatus(TStatus::hsStatusText, "Chunk Started");
      for (int size = ReadChunkSize(); size > 0; size = ReadChunkSize()) {
        ReadIntoStream(*sink, size);
        ReadLine();
      }
      ReadLine();
    } else if (!response.HasContentLength()) {
      ReadIntoStream(*sink, -1, true);
    }
  } catch (const EConnClosedGracefully&) {
    if (cut_short()) {
      throw EOSSLConnectionTruncated("TLS connection ended without close notify inside the body.");
    }
    throw;
  }
}

int TCustomHttpClient::ReadChunkSize() {
  std::string line = ReadLine();
  line = line.substr(0, line.find(' '));
  return static_cast<int>(ParseHex(line, INT32_MAX).value_or(0));
}

std::string TCustomHttpClient::ReadBodyAside(THttpResponse& response, int limit_ms,
                                             bool ignore_failure) {
  TAsideStream aside(kMaxErrorBody, MaxDrainSize);
  const TStepDeadline whole_read(limit_ms);
  TScopedValue<TByteStream*> sink(response.BodySink, &aside);
  TScopedValue<int> timeout(ReadTimeout, limit_ms);
  TScopedValue<const TStepDeadline*> step(ReadStep, &whole_read);
  try {
    ReadBody(response);
  } catch (const TAsideStream::TFull&) {
    // Reading on would cost more than a new connection does.
    Disconnect();
  } catch (const EReadTimeout&) {
    // The answer is known from its head; a body that does not come in time only costs the
    // connection, whose rest is unread.
    Disconnect();
  } catch (const ENetException&) {
    if (!ignore_failure) throw;
  }
  return aside.TakeKept();
}

void TCustomHttpClient::DrainBody(THttpResponse& response) { ReadBodyAside(response, 4000, true); }

void TCustomHttpClient::RaiseProtocolError(THttpResponse& response) {
  std::string body = ReadBodyAside(response, 2000, false);
  throw EHTTPProtocolException(response.StatusLine, response.StatusCode(), body);
}

}  // namespace qelvu
