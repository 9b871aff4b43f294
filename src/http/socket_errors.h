// The Windows socket error numbers the client reports its socket failures with, whatever the
// platform: messages and codes read the same everywhere, and callers compare against these
// names. Each is named after its WSAE... code (WSAHOST_NOT_FOUND for the failed name lookup).
#pragma once

namespace qelvu {

inline constexpr int kWsaIntr = 10004;
inline constexpr int kWsaBadF = 10009;
inline constexpr int kWsaAccess = 10013;
inline constexpr int kWsaFault = 10014;
inline constexpr int kWsaInval = 10022;
inline constexpr int kWsaMFile = 10024;
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaInProgress = 10036;
inline constexpr int kWsaAlready = 10037;
inline constexpr int kWsaNotSock = 10038;
inline constexpr int kWsaDestAddrReq = 10039;
inline constexpr int kWsaMsgSize = 10040;
inline constexpr int kWsaPrototype = 10041;
inline constexpr int kWsaNoProtoOpt = 10042;
inline constexpr int kWsaProtoNoSupport = 10043;
inline constexpr int kWsaSocktNoSupport = 10044;
inline constexpr int kWsaOpNotSupp = 10045;
inline constexpr int kWsaPfNoSupport = 10046;
inline constexpr int kWsaAfNoSupport = 10047;
inline constexpr int kWsaAddrInUse = 10048;
inline constexpr int kWsaAddrNotAvail = 10049;
inline constexpr int kWsaNetDown = 10050;
inline constexpr int kWsaNetUnreach = 10051;
inline constexpr int kWsaNetReset = 10052;
inline constexpr int kWsaConnAborted = 10053;
inline constexpr int kWsaConnReset = 10054;
inline constexpr int kWsaNoBufs = 10055;
inline constexpr int kWsaIsConn = 10056;
inline constexpr int kWsaNotConn = 10057;
inline constexpr int kWsaShutdown = 10058;
inline constexpr int kWsaTooManyRefs = 10059;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnRefused = 10061;
inline constexpr int kWsaLoop = 10062;
inline constexpr int kWsaNameTooLong = 10063;
inline constexpr int kWsaHostDown = 10064;
inline constexpr int kWsaHostUnreach = 10065;
inline constexpr int kWsaNotEmpty = 10066;
inline constexpr int kWsaHostNotFound = 11001;

}  // namespace qelvu
