// The header records of requests and responses: typed fields, the raw header lines they are
// composed into or read from, and the rules that reset them. Plain value types owned by the
// HTTP client; one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/header_list.h"
#include "http/http_auth.h"
#include "http/http_dates.h"
#include "http/net_exceptions.h"

namespace qelvu {

class TByteStream;

enum class THttpMethod { hmHead, hmGet, hmPost, hmOptions, hmTrace, hmPut, hmDelete, hmConnect };
enum class THttpProtocolVersion { pv1_0, pv1_1 };
enum class TConnectionKind { DirectRoute = 0, TlsRoute = 1, ProxyRoute = 2, TlsProxyRoute = 3 };

// The token sent on the request line ("GET", ...).
const char* MethodToken(THttpMethod method);
// Raises EInvalidHeaderText naming `what` when `text` holds CR, LF or NUL.
void RequireOneLine(const std::string& what, const std::string& text);
// "1.0" or "1.1".
const char* VersionText(THttpProtocolVersion version);

class TEntityHeaderInfo {
 public:
  TEntityHeaderInfo();
  virtual ~TEntityHeaderInfo() = default;

  // Empties texts, dates, range and RawHeaders; CacheControl and Pragma keep their values.
  virtual void Clear();
  // Reads the typed fields back from RawHeaders.
  virtual void InterpretHeaders();

  int32_t ContentLength() const { return content_length_; }
  bool HasContentLength() const { return content_length_ >= 0; }
  void SetContentLength(int32_t value) { content_length_ = value < 0 ? -1 : value; }

  std::string CacheControl;
  std::string Connection;
  std::string ContentEncoding;
  std::string ContentLanguage;
  uint32_t ContentRangeStart = 0;
  uint32_t ContentRangeEnd = 0;
  std::string ContentType;
  std::string ContentVersion;
  THeaderList CustomHeaders;
  TDateTime Date = 0;
  TDateTime Expires = 0;
  TDateTime LastModified = 0;
  std::string Pragma;
  THeaderList RawHeaders;

 private:
  int32_t content_length_ = -1;
};

class TRequestHeaderInfo : public TEntityHeaderInfo {
 public:
  TRequestHeaderInfo() { Clear(); }

  void Clear() override;
  void InterpretHeaders() override;
  // Fills RawHeaders from the fields in the wire order.
  void ComposeHeaders();

  std::string Accept;
  std::string AcceptCharSet;
  std::string AcceptEncoding;
  std::string AcceptLanguage;
  bool BasicAuthentication = false;
  std::string Host;
  std::string From;
  std::string Password;
  std::string Referer;
  std::string UserAgent;
  std::string Username;
  std::string ProxyConnection;
  std::unique_ptr<THttpAuthentication> Authentication;
};

class TResponseHeaderInfo : public TEntityHeaderInfo {
 public:
  TResponseHeaderInfo() { ContentType = "text/html"; }

  void Clear() override;
  void InterpretHeaders() override;

  std::string Location;
  std::string Server;
  std::string ProxyConnection;
  std::vector<std::string> WWWAuthenticate;
  std::vector<std::string> ProxyAuthenticate;
};

class THttpRequest : public TRequestHeaderInfo {
 public:
  THttpMethod RequestMethod = THttpMethod::hmGet;
  std::string TargetUrl;
  TByteStream* BodySource = nullptr;
  TConnectionKind ConnectionKind = TConnectionKind::DirectRoute;
};

}  // namespace qelvu
