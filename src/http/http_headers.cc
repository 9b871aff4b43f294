#include "http/http_headers.h"

#include <cstdio>

#include "http/text_util.h"

namespace qelvu {
namespace {

uint32_t ToUInt32(const std::string& text) {
  return static_cast<uint32_t>(ConvertInteger(text, 0, UINT32_MAX));
}

}  // namespace

const char* MethodToken(THttpMethod method) {
  static constexpr const char* kTokens[] = {"HEAD",  "GET", "POST",   "OPTIONS",
                                            "TRACE", "PUT", "DELETE", "CONNECT"};
  return kTokens[static_cast<int>(method)];
}

void RequireOneLine(const std::string& what, const std::string& text) {
  if (HasLineBreakOrNul(text)) {
    throw EInvalidHeaderText(what + " holds a line break or NUL byte");
  }
}

const char* VersionText(THttpProtocolVersion version) {
  return version == THttpProtocolVersion::pv1_0 ? "1.0" : "1.1";
}

TEntityHeaderInfo::TEntityHeaderInfo() {
  // Raw lines are long on the wire; only headers a caller composes fold at the usual width.
  RawHeaders.FoldWidth = 1024;
}

void TEntityHeaderInfo::Clear() {
  Connection.clear();
  ContentVersion.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType.clear();
  content_length_ = -1;
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  Date = 0;
  Expires = 0;
  LastModified = 0;
  RawHeaders.Clear();
}

void TEntityHeaderInfo::InterpretHeaders() {
  Connection = RawHeaders.HeaderValue("Connection");
  ContentVersion = RawHeaders.HeaderValue("Content-Version");
  ContentEncoding = RawHeaders.HeaderValue("Content-Encoding");
  ContentLanguage = RawHeaders.HeaderValue("Content-Language");
  ContentType = RawHeaders.HeaderValue("Content-Type");
  std::optional<int64_t> length =
      ParseDecimal(Trim(RawHeaders.HeaderValue("Content-Length")), INT32_MIN, INT32_MAX);
  SetContentLength(length ? static_cast<int32_t>(*length) : -1);
  Date = ParseHeaderDate(RawHeaders.HeaderValue("Date"));
  LastModified = ParseHeaderDate(RawHeaders.HeaderValue("Last-Modified"));
  std::string expires = RawHeaders.HeaderValue("Expires");
  if (std::optional<int64_t> seconds = ParseDecimal(expires, INT32_MIN, INT32_MAX)) {
    Expires = *seconds < 0 ? 0 : LocalNow() + static_cast<double>(*seconds) / 86400.0;
  } else {
    Expires = ParseHeaderDate(expires);
  }
  Pragma = RawHeaders.HeaderValue("Pragma");
}

void TRequestHeaderInfo::Clear() {
  Accept = "text/html, */*";
  UserAgent = "Mozilla/3.0 (compatible; Qelvu)";
  AcceptCharSet.clear();
  BasicAuthentication = false;
  TEntityHeaderInfo::Clear();
}

void TRequestHeaderInfo::InterpretHeaders() {
  TEntityHeaderInfo::InterpretHeaders();
  Accept = RawHeaders.HeaderValue("Accept");
  AcceptCharSet = RawHeaders.HeaderValue("Accept-Charset");
  AcceptEncoding = RawHeaders.HeaderValue("Accept-Encoding");
  AcceptLanguage = RawHeaders.HeaderValue("Accept-Language");
  Host = RawHeaders.HeaderValue("Host");
  From = RawHeaders.HeaderValue("From");
  Referer = RawHeaders.HeaderValue("Referer");
  UserAgent = RawHeaders.HeaderValue("User-Agent");
  std::string range = RawHeaders.HeaderValue("Range");
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  if (range.rfind("bytes=", 0) == 0) {
    std::string span = range.substr(6);
    size_t dash = span.find('-');
    ContentRangeStart = ToUInt32(span.substr(0, dash));
    if (dash != std::string::npos && dash + 1 < span.size()) {
      ContentRangeEnd = ToUInt32(span.substr(dash + 1));
    }
  }
}

void TRequestHeaderInfo::ComposeHeaders() {
  // Every value is checked before it joins the list: the list's own text round trip would
  // split a line break into lines of their own.
  THeaderList& h = RawHeaders;
  auto set = [&h](const std::string& name, const std::string& value) {
    RequireOneLine("Header " + name, value);
    h.SetHeaderValue(name, value);
  };
  for (int i = 0; i < CustomHeaders.Count(); ++i) {
    RequireOneLine("Custom header", CustomHeaders.Line(i));
  }
  // Encoded credentials hide the bytes, but a scheme that quotes them would not.
  RequireOneLine("User name", Username);
  RequireOneLine("Password", Password);
  h.Clear();
  set("Connection", Connection);
  set("Content-Version", ContentVersion);
  set("Content-Encoding", ContentEncoding);
  set("Content-Language", ContentLanguage);
  set("Content-Type", ContentType);
  if (HasContentLength()) set("Content-Length", std::to_string(ContentLength()));
  set("Cache-control", CacheControl);
  if (Date != 0) set("Date", FormatInternetDate(Date));
  if (Expires != 0) set("Expires", FormatInternetDate(Expires));
  if (LastModified != 0) set("Last-Modified", FormatHttpGmtDate(LastModified));
  set("Pragma", Pragma);
  h.SetText(h.Text() + CustomHeaders.Text());
  set("Proxy-Connection", ProxyConnection);
  set("Host", Host);
  set("Accept", Accept);
  set("Accept-Charset", AcceptCharSet);
  set("Accept-Encoding", AcceptEncoding);
  set("Accept-Language", AcceptLanguage);
  set("From", From);
  set("Referer", Referer);
  set("User-Agent", UserAgent);
  if (LastModified != 0) set("If-Modified-Since", FormatInternetDate(LastModified));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string range = "bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += std::to_string(ContentRangeEnd);
    set("Range", range);
  }
  set("Authorization",
      ComposeAuthorization(Authentication, BasicAuthentication, Username, Password));
}

void TResponseHeaderInfo::Clear() {
  TEntityHeaderInfo::Clear();
  Location.clear();
  Server.clear();
  ProxyConnection.clear();
  WWWAuthenticate.clear();
  ProxyAuthenticate.clear();
}

void TResponseHeaderInfo::InterpretHeaders() {
  TEntityHeaderInfo::InterpretHeaders();
  Location = RawHeaders.HeaderValue("Location");
  Server = RawHeaders.HeaderValue("Server");
  ProxyConnection = RawHeaders.HeaderValue("Proxy-Connection");
  ContentRangeStart = 0;
  ContentRangeEnd = 0;
  std::string range = RawHeaders.HeaderValue("Content-Range");
  if (!range.empty()) {
    size_t blank = range.find(' ');
    std::string span = blank == std::string::npos ? std::string() : range.substr(blank + 1);
    size_t dash = span.find('-');
    size_t slash = span.find('/', dash == std::string::npos ? 0 : dash);
    ContentRangeStart = ToUInt32(span.substr(0, dash));
    ContentRangeEnd = ToUInt32(dash == std::string::npos ? std::string()
                                                         : span.substr(dash + 1, slash - dash - 1));
  }
  WWWAuthenticate.clear();
  RawHeaders.ExtractValues("WWW-Authenticate", WWWAuthenticate);
  ProxyAuthenticate.clear();
  RawHeaders.ExtractValues("Proxy-Authenticate", ProxyAuthenticate);
}

}  // namespace qelvu
