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
QELVU_NET_EXCEPTION(EProtocolReplyError, ENetException);
// A text that must hold a number does not (a port, a range, a cookie port list).
QELVU_NET_EXCEPTION(EConvertError, ENetException);
// Raised when a response head grows past the client's limit on its total size.
QELVU_NET_EXCEPTION(EHeaderBlockTooLarge, ENetException);

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

// A final HTTP status the client does not accept; the message is the status line as received.
class EHTTPProtocolException : public EProtocolReplyError {
 public:
  EHTTPProtocolException(const std::string& status_line, int error_code, std::string error_body)
      : EProtocolReplyError(status_line),
        error_code_(error_code),
        error_body_(std::move(error_body)) {}
  const char* ClassName() const noexcept override { return "EHTTPProtocolException"; }
  int ErrorCode() const { return error_code_; }
  const std::string& ErrorBody() const { return error_body_; }

 private:
  int error_code_;
  std::string error_body_;
};

// The fixed text of a Windows socket error code; empty for codes outside the table.
std::string SocketErrorText(int code);

}  // namespace qelvu
