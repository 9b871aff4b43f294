#include "http/tls_transport.h"

#include <openssl/err.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>

#include "common/scope_guard.h"
#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "http/socket_stack.h"
#include "http/text_util.h"
#include "http/tls_library.h"

namespace qelvu {
namespace {

// OpenSSL writes to the socket itself, without the no-signal flag the socket layer uses, so a
// peer that went away would raise SIGPIPE and end the process. The signal is held back on this
// thread during each call and a SIGPIPE raised by it is taken off the thread again.
class TSigpipeGuard {
 public:
  TSigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_mask_);
  }
  ~TSigpipeGuard() {
    if (!was_pending_) {
      timespec no_wait{0, 0};
      while (sigtimedwait(&pipe_, nullptr, &no_wait) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  TSigpipeGuard(const TSigpipeGuard&) = delete;
  TSigpipeGuard& operator=(const TSigpipeGuard&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_mask_;
  bool was_pending_ = false;
};

// OpenSSL's callbacks carry no pointer back to the transport that runs the call; the transport
// that is inside an OpenSSL call on this thread answers them.
struct TActiveCall {
  TTlsTransport* transport = nullptr;
  const TTlsLibrary* library = nullptr;
};
thread_local TActiveCall active_call;

int PasswordCallback(char* buffer, int size, int /*rwflag*/, void* /*userdata*/) {
  const TActiveCall& call = active_call;
  if (!call.transport || !call.transport->OnGetPassword || size <= 0) return 0;
  std::string password;
  call.transport->OnGetPassword(password);
  int n = std::min<int>(size - 1, static_cast<int>(password.size()));
  std::memcpy(buffer, password.data(), static_cast<size_t>(n));
  buffer[n] = '\0';
  return n;
}

void InfoCallback(const SSL* ssl, int /*where*/, int /*ret*/) {
  const TActiveCall& call = active_call;
  if (!call.transport || !call.library || !call.transport->OnStatusInfo) return;
  call.transport->OnStatusInfo(std::string("SSL status: \"") +
                               call.library->SSL_state_string_long(ssl) + "\"");
}

std::string NameText(const TTlsLibrary& library, X509_NAME* name) {
  char buffer[512] = {};
  if (name) library.X509_NAME_oneline(name, buffer, sizeof buffer);
  return buffer;
}

int VerifyCallback(int preverify_ok, X509_STORE_CTX* store) {
  const TActiveCall& call = active_call;
  if (!call.transport || !call.library || !call.transport->OnVerifyPeer) {
    return preverify_ok;
  }
  const TTlsLibrary& library = *call.library;
  TTlsCertificate certificate;
  if (X509* x509 = library.X509_STORE_CTX_get_current_cert(store)) {
    certificate.Subject = NameText(library, library.X509_get_subject_name(x509));
    certificate.Issuer = NameText(library, library.X509_get_issuer_name(x509));
  }
  certificate.Depth = library.X509_STORE_CTX_get_error_depth(store);
  bool accept = preverify_ok == 1;
  call.transport->OnVerifyPeer(certificate, accept);
  return accept ? 1 : 0;
}

}  // namespace

TTlsTransport::~TTlsTransport() { FreeTls(); }

void TTlsTransport::FreeTls() {
  ssl_.reset();
  context_.reset();
}

void TTlsTransport::BuildContext() {
  context_.reset();
  library_ = &TTlsLibrary::Load(SslLibraryName, CryptoLibraryName);
  const TTlsLibrary& lib = *library_;
  TScopedValue<TActiveCall> active(active_call, {this, library_});
  if (SSLOptions.Mode == TTlsMode::sslmUnassigned) SSLOptions.Mode = TTlsMode::sslmClient;
  switch (SSLOptions.Method) {
    case TTlsVersion::sslvSSLv2:
    case TTlsVersion::sslvSSLv23:
    case TTlsVersion::sslvSSLv3:
    case TTlsVersion::sslvTLSv1:
      break;
    default:
      throw EOSSLGetMethodError("Error geting SSL method.");
  }
  const SSL_METHOD* method = nullptr;
  switch (SSLOptions.Mode) {
    case TTlsMode::sslmClient:
      method = lib.TLS_client_method();
      break;
    case TTlsMode::sslmServer:
      method = lib.TLS_server_method();
      break;
    case TTlsMode::sslmBoth:
      method = lib.TLS_method();
      break;
    default:
      throw EOSSLModeNotSet("Mode has not been set.");
  }
  TTlsContext context(lib.SSL_CTX_new(method), {lib.SSL_CTX_free});
  if (!context || lib.SSL_CTX_ctrl(context.get(), SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION,
                                   nullptr) != 1) {
    throw EOSSLCreatingContextError("Error creating SSL context.");
  }
  SSL_CTX* ctx = context.get();
  // A record without application data (a session ticket) must not make a read wait for data
  // that may never come; Readable looks past such records within its time limit.
  lib.SSL_CTX_ctrl(ctx, SSL_CTRL_CLEAR_MODE, SSL_MODE_AUTO_RETRY, nullptr);
  lib.SSL_CTX_set_default_passwd_cb(ctx, PasswordCallback);
  lib.SSL_CTX_set_default_passwd_cb_userdata(ctx, this);
  lib.SSL_CTX_set_default_verify_paths(ctx);
  const TTlsOptions& o = SSLOptions;
  if ((!o.RootCertFile.empty() &&
       lib.SSL_CTX_load_verify_locations(ctx, o.RootCertFile.c_str(), nullptr) != 1) ||
      (!o.VerifyDirs.empty() &&
       lib.SSL_CTX_load_verify_locations(ctx, nullptr, o.VerifyDirs.c_str()) != 1)) {
    throw EOSSLLoadingRootCertError("Could not load root certificate.");
  }
  if (!o.CertFile.empty() &&
      lib.SSL_CTX_use_certificate_file(ctx, o.CertFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw EOSSLLoadingCertError("Could not load certificate.");
  }
  if (!o.KeyFile.empty() &&
      (lib.SSL_CTX_use_PrivateKey_file(ctx, o.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
       lib.SSL_CTX_check_private_key(ctx) != 1)) {
    throw EOSSLLoadingKeyError("Could not load key, check password.");
  }
  if (OnStatusInfo) lib.SSL_CTX_set_info_callback(ctx, InfoCallback);
  if (!o.CipherList.empty() && lib.SSL_CTX_set_cipher_list(ctx, o.CipherList.c_str()) != 1) {
    throw EOSSLSettingCipherError("SetCipher failed.");
  }
  lib.SSL_CTX_set_verify(ctx, o.VerifyMode, OnVerifyPeer ? VerifyCallback : nullptr);
  if (o.VerifyDepth > 0) lib.SSL_CTX_set_verify_depth(ctx, o.VerifyDepth);
  if (!o.RootCertFile.empty()) {
    if (STACK_OF(X509_NAME)* names = lib.SSL_load_client_CA_file(o.RootCertFile.c_str())) {
      lib.SSL_CTX_set_client_CA_list(ctx, names);
    }
  }
  context_ = std::move(context);
}

std::string TTlsTransport::FailureReason(int result) {
  const TTlsLibrary& lib = *library_;
  long verify = lib.SSL_get_verify_result(ssl_.get());
  if (verify != X509_V_OK) return lib.X509_verify_cert_error_string(verify);
  if (unsigned long code = lib.ERR_get_error()) {
    char text[256] = {};
    lib.ERR_error_string_n(code, text, sizeof text);
    return text;
  }
  int error = lib.SSL_get_error(ssl_.get(), result);
  if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN) {
    return "the server closed the connection";
  }
  return "error " + std::to_string(error);
}

void TTlsTransport::StartTls() { StartTls(TStepDeadline(handshake_limit_)); }

bool TTlsTransport::WaitForTls(int error, int timeout_ms) {
  return WaitSocket(error == SSL_ERROR_WANT_WRITE, timeout_ms);
}

void TTlsTransport::StartTls(const TStepDeadline& step) {
  if (!context_) BuildContext();
  const TTlsLibrary& lib = *library_;
  TScopedValue<TActiveCall> active(active_call, {this, library_});
  ended_without_notify_ = false;
  end_result_ = 1;
  end_error_ = 0;
  ssl_ = TTlsSocket(lib.SSL_new(context_.get()), {lib.SSL_free});
  if (!ssl_ || !Socket() || lib.SSL_set_fd(ssl_.get(), Socket()->Handle()) != 1) {
    ssl_.reset();
    throw EOSSLDataBindingError("Error binding data to SSL socket.");
  }
  const std::string& host = HostName.empty() ? connected_host_ : HostName;
  uint32_t address;
  bool dotted = ParseDottedAddress(host, address);
  // SNI names a host; an address is never sent as a name.
  if (!dotted) {
    lib.SSL_ctrl(ssl_.get(), SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(host.c_str()));
  }
  if ((SSLOptions.VerifyMode & sslvrfPeer) != 0) {
    int named =
        dotted ? lib.X509_VERIFY_PARAM_set1_ip_asc(lib.SSL_get0_param(ssl_.get()), host.c_str())
               : lib.SSL_set1_host(ssl_.get(), host.c_str());
    if (named != 1) {
      ssl_.reset();
      throw EOSSLDataBindingError("Error binding data to SSL socket.");
    }
  }
  // On a blocking socket OpenSSL would wait inside one call for as long as the peer takes to
  // complete a message or a record; without blocking, every wait is ours and keeps its limit.
  TSocketStack::Instance().SetNonBlocking(Socket()->Handle(), true);
  while (true) {
    lib.ERR_clear_error();
    int result;
    {
      TSigpipeGuard guard;
      result = lib.SSL_connect(ssl_.get());
    }
    if (result == 1) break;
    const int error = lib.SSL_get_error(ssl_.get(), result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (WaitForTls(error, step.Remaining())) continue;
      ssl_.reset();
      throw EConnectTimeout("Connect timed out.");
    }
    std::string reason = FailureReason(result);
    ssl_.reset();
    throw EOSSLConnectError("Error connecting with SSL.\n" + reason);
  }
  if (OnStatusInfo) {
    const SSL_CIPHER* cipher = lib.SSL_get_current_cipher(ssl_.get());
    char description[256] = {};
    lib.SSL_CIPHER_description(cipher, description, sizeof description);
    OnStatusInfo(std::string("Cipher: name = ") + lib.SSL_CIPHER_get_name(cipher) + "; " +
                 "description = " + TrimRight(description) + "; " +
                 "bits = " + std::to_string(lib.SSL_CIPHER_get_bits(cipher, nullptr)) + "; " +
                 "version = " + lib.SSL_CIPHER_get_version(cipher) + "; ");
  }
}

void TTlsTransport::ConnectTransport(const TConnectTarget& target) {
  FreeTls();
  ended_without_notify_ = false;
  connected_host_ = target.Host;
  handshake_limit_ = target.Timeout > 0 ? target.Timeout : std::max(target.ReplyTimeout, 0);
  const TStepDeadline connect_step(target.Timeout);
  TSocketTransport::ConnectTransport(target);
  if (OnBeforeConnect) OnBeforeConnect();
  // Plain bytes need no library: the context is built when TLS starts, here or later on the
  // open connection, and only then can a missing library fail the connect.
  if (!pass_through_) StartTls(TStepDeadline::ForHandshake(target, connect_step));
}

void TTlsTransport::SetPassThrough(bool pass_through) {
  if (pass_through == pass_through_) return;
  pass_through_ = pass_through;
  if (!IsOpen()) return;
  if (pass_through_) {
    TSocketStack::Instance().SetNonBlocking(Socket()->Handle(), false);
    return;
  }
  try {
    StartTls();
  } catch (...) {
    // Half a handshake leaves nothing the connection could carry, plain or encrypted.
    Close();
    throw;
  }
}

void TTlsTransport::Close() {
  if (ssl_ && !pass_through_ && IsOpen()) {
    TSigpipeGuard guard;
    library_->SSL_shutdown(ssl_.get());
  }
  FreeTls();
  TSocketTransport::Close();
}

bool TTlsTransport::Readable(int timeout_ms) {
  if (pass_through_ || !IsOpen()) return TSocketTransport::Readable(timeout_ms);
  // A TLS connection whose session failed to start carries nothing, least of all plain text.
  if (!ssl_) throw EClosedSocket("Disconnected.");
  if (end_result_ <= 0) return true;
  TScopedValue<TActiveCall> active(active_call, {this, library_});
  const TStepDeadline step(timeout_ms);
  while (true) {
    // Bytes OpenSSL already decrypted never show on the socket again.
    if (library_->SSL_pending(ssl_.get()) > 0) return true;
    char byte;
    int want = 0;
    const int n = ReadTls(&byte, 1, true, end_error_, want);
    if (n > 0) return true;
    if (n != -2) {
      end_result_ = n;
      return true;
    }
    // A record that arrives in parts counts against the one limit of this wait.
    if (!WaitForTls(want, timeout_ms <= 0 ? timeout_ms : step.Remaining())) return false;
  }
}

int TTlsTransport::ReadTls(char* buffer, int length, bool peek, int& error, int& want) {
  const TTlsLibrary& lib = *library_;
  int n;
  {
    TSigpipeGuard guard;
    lib.ERR_clear_error();
    errno = 0;
    n = peek ? lib.SSL_peek(ssl_.get(), buffer, length) : lib.SSL_read(ssl_.get(), buffer, length);
  }
  if (n > 0) return n;
  const int failure = lib.SSL_get_error(ssl_.get(), n);
  switch (failure) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      want = failure;
      return -2;
    case SSL_ERROR_SYSCALL:
      if (errno == 0) {
        ended_without_notify_ = true;
        return 0;
      }
      error = TSocketStack::MapErrno(errno);
      return -1;
    case SSL_ERROR_SSL:
      if (ERR_GET_REASON(lib.ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
        // The peer closed without the close notice: an end of data to a reader that knows no
        // length, a cut to one that does (the client tells them apart).
        ended_without_notify_ = true;
        return 0;
      }
      error = kWsaConnReset;
      return -1;
    default:
      error = kWsaConnReset;
      return -1;
  }
}

int TTlsTransport::Receive(char* buffer, int length, int& error) {
  if (pass_through_) return TSocketTransport::Receive(buffer, length, error);
  if (!IsOpen() || !ssl_) throw EClosedSocket("Disconnected.");
  if (end_result_ <= 0) {
    error = end_error_;
    return end_result_;
  }
  TScopedValue<TActiveCall> active(active_call, {this, library_});
  while (true) {
    int want = 0;
    const int n = ReadTls(buffer, length, false, error, want);
    if (n != -2) {
      if (n <= 0) {
        end_result_ = n;
        end_error_ = error;
      }
      return n;
    }
    // Asked without Readable first: the caller takes the wait as a blocking read would.
    WaitForTls(want, -2);
  }
}

int TTlsTransport::Send(const char* buffer, int length, int& error) {
  if (pass_through_) return TSocketTransport::Send(buffer, length, error);
  if (!IsOpen() || !ssl_) throw EClosedSocket("Disconnected.");
  const TTlsLibrary& lib = *library_;
  TScopedValue<TActiveCall> active(active_call, {this, library_});
  while (true) {
    int n;
    {
      TSigpipeGuard guard;
      lib.ERR_clear_error();
      errno = 0;
      n = lib.SSL_write(ssl_.get(), buffer, length);
    }
    if (n > 0) return n;
    const int failure = lib.SSL_get_error(ssl_.get(), n);
    switch (failure) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        // As a blocking send waits for room, so does this one; the same bytes go again.
        WaitForTls(failure, -2);
        continue;
      case SSL_ERROR_SYSCALL:
        error = errno == 0 ? kWsaConnReset : TSocketStack::MapErrno(errno);
        return -1;
      default:
        error = kWsaConnReset;
        return -1;
    }
  }
}

}  // namespace qelvu
