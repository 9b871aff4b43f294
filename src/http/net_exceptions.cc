#include "http/net_exceptions.h"

#include <map>

#include "http/socket_errors.h"

namespace qelvu {

std::string SocketErrorText(int code) {
  static const std::map<int, const char*> kTexts = {
      {kWsaIntr, "Interrupted system call."},
      {kWsaBadF, "Bad file number."},
      {kWsaAccess, "Access denied."},
      {kWsaFault, "Bad address."},
      {kWsaInval, "Invalid argument."},
      {kWsaMFile, "Too many open files."},
      {kWsaWouldBlock, "Operation would block. "},
      {kWsaInProgress, "Operation now in progress."},
      {kWsaAlready, "Operation already in progress."},
      {kWsaNotSock, "Socket operation on non-socket."},
      {kWsaDestAddrReq, "Destination address required."},
      {kWsaMsgSize, "Message too long."},
      {kWsaPrototype, "Protocol wrong type for socket."},
      {kWsaNoProtoOpt, "Bad protocol option."},
      {kWsaProtoNoSupport, "Protocol not supported."},
      {kWsaSocktNoSupport, "Socket type not supported."},
      {kWsaOpNotSupp, "Operation not supported on socket."},
      {kWsaPfNoSupport, "Protocol family not supported."},
      {kWsaAfNoSupport, "Address family not supported by protocol family."},
      {kWsaAddrInUse, "Address already in use."},
      {kWsaAddrNotAvail, "Cannot assign requested address."},
      {kWsaNetDown, "Network is down."},
      {kWsaNetUnreach, "Network is unreachable."},
      {kWsaNetReset, "Net dropped connection or reset."},
      {kWsaConnAborted, "Software caused connection abort."},
      {kWsaConnReset, "Connection reset by peer."},
      {kWsaNoBufs, "No buffer space available."},
      {kWsaIsConn, "Socket is already connected."},
      {kWsaNotConn, "Socket is not connected."},
      {kWsaShutdown, "Cannot send or receive after socket is closed."},
      {kWsaTooManyRefs, "Too many references, cannot splice."},
      {kWsaTimedOut, "Connection timed out."},
      {kWsaConnRefused, "Connection refused."},
      {kWsaLoop, "Too many levels of symbolic links."},
      {kWsaNameTooLong, "File name too long."},
      {kWsaHostDown, "Host is down."},
      {kWsaHostUnreach, "No route to host."},
      {kWsaNotEmpty, "Directory not empty"},
      {kWsaHostNotFound, "Host not found."},
  };
  auto it = kTexts.find(code);
  return it == kTexts.end() ? std::string() : std::string(it->second);
}

ESocketError::ESocketError(int code)
    : ENetException("Socket Error # " + std::to_string(code) + "\r\n" + SocketErrorText(code)),
      code_(code) {}

}  // namespace qelvu
