// TLS over the socket transport, with OpenSSL 3 loaded at run time.
//
// `TTlsTransport` is a `TSocketTransport` (SOCKS included) that encrypts what it sends and
// receives unless `PassThrough` is set. The HTTP client switches it: pass-through for plain
// http and for the CONNECT to a proxy, TLS for https. Every TLS start on a new connection builds
// a fresh context from `SSLOptions`; the handshake sends `HostName` for SNI and, by default,
// verifies the server's chain against the system trust store (and `RootCertFile`) and its name
// against `HostName`. A failed check fails the connect with `EOSSLConnectError`. The handshake
// keeps to the connect's time limit (or, without one, the read limit) as a whole, and a read
// keeps to its own limit even while a record arrives in parts: the socket does not block while
// TLS runs on it. A session that is missing never lets plain bytes through. The transport owns
// its context and connection state; one thread at a time.
//
//   TTlsTransport tls;
//   THttpClient client;
//   client.SetTransport(&tls);
//   client.GetDocument("https://host/", page);
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "http/transport.h"

struct ssl_st;
struct ssl_ctx_st;

namespace qelvu {

struct TTlsLibrary;

// Every value gives TLS 1.2 or newer over OpenSSL's general method; the older protocols these
// names once chose are no longer offered.
enum class TTlsVersion { sslvSSLv2, sslvSSLv23, sslvSSLv3, sslvTLSv1 };
enum class TTlsMode { sslmUnassigned, sslmClient, sslmServer, sslmBoth };
enum TTlsVerifyFlag { sslvrfPeer = 1, sslvrfFailIfNoPeerCert = 2, sslvrfClientOnce = 4 };

struct TTlsOptions {
  std::string RootCertFile;
  std::string CertFile;
  std::string KeyFile;
  TTlsVersion Method = TTlsVersion::sslvSSLv2;
  TTlsMode Mode = TTlsMode::sslmUnassigned;
  // Peer verification is on unless a caller clears sslvrfPeer; then no certificate and no
  // host name is checked at all.
  int VerifyMode = sslvrfPeer;
  // Longest chain accepted; 0 leaves OpenSSL's own limit.
  int VerifyDepth = 0;
  // Extra directories of trusted certificates (hashed names), besides the system store.
  std::string VerifyDirs;
  // Empty leaves OpenSSL's default list.
  std::string CipherList;
};

// What the verification callback is told about one certificate of the chain.
struct TTlsCertificate {
  std::string Subject;
  std::string Issuer;
  int Depth = 0;
};

// Frees an OpenSSL object with the function of the library that made it: the library is
// loaded at run time, so the function is known only then.
template <typename T>
struct TTlsFree {
  void (*free)(T*) = nullptr;
  void operator()(T* object) const { free(object); }
};

// An OpenSSL object and the library function that frees it.
template <typename T>
using TTlsHandle = std::unique_ptr<T, TTlsFree<T>>;

using TTlsContext = TTlsHandle<ssl_ctx_st>;
using TTlsSocket = TTlsHandle<ssl_st>;

class TTlsTransport : public TSocketTransport {
 public:
  TTlsTransport() = default;
  ~TTlsTransport() override;

  // Connects the socket and, unless passing through, builds the context and runs the handshake.
  void ConnectTransport(const TConnectTarget& target) override;
  // Sends the TLS close notice when encrypting, frees the TLS state, then closes the socket.
  void Close() override;
  bool Readable(int timeout_ms) override;
  int Receive(char* buffer, int length, int& error) override;
  int Send(const char* buffer, int length, int& error) override;
  bool IsTls() const override { return true; }
  bool IsEncrypted() const override { return ssl_ != nullptr && !pass_through_; }
  bool EndedWithoutCloseNotify() const override { return ended_without_notify_; }

  bool PassThrough() const { return pass_through_; }
  // Clearing it on an open connection starts TLS at once; a failed start closes the socket.
  void SetPassThrough(bool pass_through) override;
  // The client handshake on the open socket, within the last connect's limit (or read limit).
  // Raises the EOpenSSLError family: the library, context and certificate errors, or
  // EOSSLConnectError with OpenSSL's reason; EConnectTimeout when the limit passes.
  void StartTls();

  TTlsOptions SSLOptions;
  // The server's name for SNI and the certificate check; empty means the connect target.
  std::string HostName;
  // Library files to load; a test may name missing ones.
  std::string SslLibraryName = "libssl.so.3";
  std::string CryptoLibraryName = "libcrypto.so.3";

  // "SSL status: ..." during handshakes and the cipher text after each.
  std::function<void(const std::string& text)> OnStatusInfo;
  // Asked for the password of an encrypted key file.
  std::function<void(std::string& password)> OnGetPassword;
  // Told each certificate of the chain; `accept` starts as OpenSSL's verdict.
  std::function<void(const TTlsCertificate& certificate, bool& accept)> OnVerifyPeer;
  // Fired after the TCP connect, before the context is built.
  std::function<void()> OnBeforeConnect;

 private:
  void StartTls(const TStepDeadline& step);
  // Waits for what the last OpenSSL call on `ssl_` wants (`error`: SSL_ERROR_WANT_READ or
  // _WRITE) within `timeout_ms`; false when it did not come in time.
  bool WaitForTls(int error, int timeout_ms);
  // One SSL_read (or, with `peek`, SSL_peek) without waiting: a byte count, 0 for the peer's
  // close, -1 for a failure (`error` its code), or -2 when OpenSSL wants what `want` says.
  int ReadTls(char* buffer, int length, bool peek, int& error, int& want);
  void BuildContext();
  // The failure text OpenSSL left for the last call on `ssl_`.
  std::string FailureReason(int result);
  void FreeTls();

  const TTlsLibrary* library_ = nullptr;
  TTlsContext context_;
  TTlsSocket ssl_;
  bool pass_through_ = false;
  bool ended_without_notify_ = false;
  // The close (0) or failure (-1, with its code) a look of Readable found: a session gives
  // that answer once, so the receive that follows takes it from here.
  int end_result_ = 1;
  int end_error_ = 0;
  std::string connected_host_;
  // The limit of a handshake that starts on an open connection (ms; 0 = none).
  int handshake_limit_ = 0;
};

}  // namespace qelvu
