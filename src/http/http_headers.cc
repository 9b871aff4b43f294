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
  THeaderList& h = RawHeaders;
  h.Clear();
  h.SetHeaderValue("Connection", Connection);
  h.SetHeaderValue("Content-Version", ContentVersion);
  h.SetHeaderValue("Content-Encoding", ContentEncoding);
  h.SetHeaderValue("Content-Language", ContentLanguage);
  h.SetHeaderValue("Content-Type", ContentType);
  if (HasContentLength()) h.SetHeaderValue("Content-Length", std::to_string(ContentLength()));
  h.SetHeaderValue("Cache-control", CacheControl);
  if (Date != 0) h.SetHeaderValue("Date", FormatInternetDate(Date));
  if (Expires != 0) h.SetHeaderValue("Expires", FormatInternetDate(Expires));
  if (LastModified != 0) h.SetHeaderValue("Last-Modified", FormatHttpGmtDate(LastModified));
  h.SetHeaderValue("Pragma", Pragma);
  h.SetText(h.Text() + CustomHeaders.Text());
  h.SetHeaderValue("Proxy-Connection", ProxyConnection);
  h.SetHeaderValue("Host", Host);
  h.SetHeaderValue("Accept", Accept);
  h.SetHeaderValue("Accept-Charset", AcceptCharSet);
  h.SetHeaderValue("Accept-Encoding", AcceptEncoding);
  h.SetHeaderValue("Accept-Language", AcceptLanguage);
  h.SetHeaderValue("From", From);
  h.SetHeaderValue("Referer", Referer);
  h.SetHeaderValue("User-Agent", UserAgent);
  if (LastModified != 0) h.SetHeaderValue("If-Modified-Since", FormatInternetDate(LastModified));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    std::string range = "bytes=" + std::to_string(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += std::to_string(ContentRangeEnd);
    h.SetHeaderValue("Range", range);
  }
  h.SetHeaderValue("Authorization",
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
