// Error classes of the HTTP client. Every failure of the client raises one of these; callers
// outside the client catch `ENetException`, the root of the family. Each class names itself
// through ClassName() so tools can report which failure happened.
#pragma once

#include <stdexcept>
#include <string>

namespace qelvu {

class ENetException : public std::runtime_error {
 public:
  explicit ENetException(const std::string& message) : std::runtime_error(message) {}
  virtual const char* ClassName() const noexcept { return "ENetException"; }
};

#define QELVU_NET_EXCEPTION(Name, Base)                               \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

QELVU_NET_EXCEPTION(ESilentException, ENetException);
QELVU_NET_EXCEPTION(EConnClosedGracefully, ESilentException);
QELVU_NET_EXCEPTION(EReadTimeout, ENetException);
QELVU_NET_EXCEPTION(EReadLnMaxLineLengthExceeded, ENetException);
QELVU_NET_EXCEPTION(ENotConnected, ENetException);
QELVU_NET_EXCEPTION(EClosedSocket, ENetException);
QELVU_NET_EXCEPTION(EAlreadyConnected, ENetException);
QELVU_NET_EXCEPTION(EConnectTimeout, ENetException);
QELVU_NET_EXCEPTION(EConnectException, ENetException);
QELVU_NET_EXCEPTION(EInvalidSocket, ENetException);
QELVU_NET_EXCEPTION(EInvalidIPAddress, ENetException);
QELVU_NET_EXCEPTION(ECouldNotBindSocket, ENetException);
QELVU_NET_EXCEPTION(ECanNotBindPortInRange, ENetException);
QELVU_NET_EXCEPTION(EInvalidPortRange, ENetException);
QELVU_NET_EXCEPTION(ENotEnoughDataInBuffer, ENetException);
QELVU_NET_EXCEPTION(ENoDataToRead, ENetException);
QELVU_NET_EXCEPTION(EFileNotFound, ENetException);
QELVU_NET_EXCEPTION(EStackInitializationFailed, ENetException);
QELVU_NET_EXCEPTION(EInterceptCircularLink, ENetException);
QELVU_NET_EXCEPTION(EURIException, ENetException);
QELVU_NET_EXCEPTION(EUnknownProtocol, ENetException);
QELVU_NET_EXCEPTION(EFailedToRetreiveTimeZoneInfo, ENetException);
QELVU_NET_EXCEPTION(ETransportPropInvalid, ENetException);
// A text that must hold a number does not (a port, a range, a cookie port list).
QELVU_NET_EXCEPTION(EConvertError, ENetException);
// Raised when a response head grows past the client's limit on its total size.
QELVU_NET_EXCEPTION(EHeaderBlockTooLarge, ENetException);

// A header name or value the caller set holds CR, LF or NUL: it would end its line early and
// let the rest go out as headers of its own.
QELVU_NET_EXCEPTION(EInvalidHeaderText, ENetException);

// Registering an authentication scheme name twice.
QELVU_NET_EXCEPTION(EAlreadyRegisteredAuthenticationMethod, ENetException);

// SOCKS handshake failures.
QELVU_NET_EXCEPTION(ESocksError, ENetException);
QELVU_NET_EXCEPTION(ESocksRequestFailed, ESocksError);
QELVU_NET_EXCEPTION(ESocksRequestServerFailed, ESocksError);
QELVU_NET_EXCEPTION(ESocksRequestIdentFailed, ESocksError);
QELVU_NET_EXCEPTION(ESocksUnknownError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerRespondError, ESocksError);
QELVU_NET_EXCEPTION(ESocksAuthMethodError, ESocksError);
QELVU_NET_EXCEPTION(ESocksAuthError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerGeneralError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerPermissionError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerNetUnreachableError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerHostUnreachableError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerConnectionRefusedError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerTTLExpiredError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerCommandError, ESocksError);
QELVU_NET_EXCEPTION(ESocksServerAddressError, ESocksError);

// TLS failures; loading the library, certificates and keys fail with EOpenSSLLoadError.
QELVU_NET_EXCEPTION(EOpenSSLError, ENetException);
QELVU_NET_EXCEPTION(EOpenSSLLoadError, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLCouldNotLoadSSLLibrary, EOpenSSLLoadError);
QELVU_NET_EXCEPTION(EOSSLLoadingRootCertError, EOpenSSLLoadError);
QELVU_NET_EXCEPTION(EOSSLLoadingCertError, EOpenSSLLoadError);
QELVU_NET_EXCEPTION(EOSSLLoadingKeyError, EOpenSSLLoadError);
QELVU_NET_EXCEPTION(EOSSLGetMethodError, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLModeNotSet, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLCreatingContextError, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLSettingCipherError, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLDataBindingError, EOpenSSLError);
QELVU_NET_EXCEPTION(EOSSLConnectError, EOpenSSLError);
// The server ended the TLS connection without its close notice before a body of known length
// was complete: an attacker on the path may have cut it.
QELVU_NET_EXCEPTION(EOSSLConnectionTruncated, EOpenSSLError);

#undef QELVU_NET_EXCEPTION

// A failed socket call; the message is "Socket Error # <code>" CR LF and the code's text.
class ESocketError : public ENetException {
 public:
  explicit ESocketError(int code);
  ESocketError(int code, const std::string& message) : ENetException(message), code_(code) {}
  const char* ClassName() const noexcept override { return "ESocketError"; }
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// A reply the caller does not accept, or one that breaks its protocol; carries the reply's code
// when it has one (0 otherwise).
class EProtocolReplyError : public ENetException {
 public:
  explicit EProtocolReplyError(const std::string& message, int error_code = 0)
      : ENetException(message), error_code_(error_code) {}
  const char* ClassName() const noexcept override { return "EProtocolReplyError"; }
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

// A final HTTP status the client does not accept; the message is the status line as received.
class EHTTPProtocolException : public EProtocolReplyError {
 public:
  EHTTPProtocolException(const std::string& status_line, int error_code, std::string error_body)
      : EProtocolReplyError(status_line, error_code), error_body_(std::move(error_body)) {}
  const char* ClassName() const noexcept override { return "EHTTPProtocolException"; }
  const std::string& ErrorBody() const { return error_body_; }

 private:
  std::string error_body_;
};

// The fixed text of a Windows socket error code; empty for codes outside the table.
std::string SocketErrorText(int code);

}  // namespace qelvu
