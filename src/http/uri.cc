#include "http/uri.h"

#include "http/net_exceptions.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

// Splits W (the path, resource and query part) as both URL forms do; `directory_prefix` is
// what goes before the directory characters ("/" for absolute URLs).
void SplitPathPart(const std::string& w, const std::string& directory_prefix, TUri& uri) {
  size_t q = w.find('?');
  if (q == std::string::npos) q = w.find('=');
  size_t s = 0;  // count of characters up to and including the last "/" before the query
  size_t search_end = q == std::string::npos ? w.size() : q;
  size_t slash = search_end == 0 ? std::string::npos : w.rfind('/', search_end - 1);
  if (slash != std::string::npos) s = slash + 1;
  uri.Directory = directory_prefix + w.substr(0, s);
  uri.Resource = w.substr(s, search_end - s);
  uri.Query = q == std::string::npos ? std::string() : w.substr(q);
  size_t hash = uri.Resource.find('#');
  if (hash != std::string::npos) {
    uri.Fragment = uri.Resource.substr(hash + 1);
    uri.Resource.erase(hash);
  }
}

}  // namespace

TUri::TUri(const std::string& text) {
  if (!text.empty()) ParseUri(text);
}

void TUri::ParseUri(const std::string& text) {
  SourceText = text;
  for (size_t i = 0; i < SourceText.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(SourceText[i]))) {
      ++i;  // the trail byte of a GBK character may equal "\\" and must stay
    } else if (SourceText[i] == '\\') {
      SourceText[i] = '/';
    }
  }
  Scheme.clear();
  UserName.clear();
  Password.clear();
  Host.clear();
  Port.clear();
  Directory.clear();
  Resource.clear();
  Query.clear();
  Fragment.clear();

  std::string w = SourceText;
  size_t p = w.find("://");
  if (p != std::string::npos) {
    Scheme = w.substr(0, p);
    w.erase(0, p + 3);
    size_t slash = w.find('/');
    std::string authority = w.substr(0, slash);
    w.erase(0, slash == std::string::npos ? w.size() : slash + 1);
    size_t at = authority.find('@');
    if (at != std::string::npos) {
      std::string user = authority.substr(0, at);
      authority.erase(0, at + 1);
      size_t colon = user.find(':');
      UserName = user.substr(0, colon);
      if (colon != std::string::npos) Password = user.substr(colon + 1);
      if (UserName.empty()) Password.clear();
    }
    size_t colon = authority.find(':');
    Host = authority.substr(0, colon);
    if (colon != std::string::npos) Port = authority.substr(colon + 1);
    SplitPathPart(w, "/", *this);
  } else {
    SplitPathPart(w, "", *this);
  }
  if (Fragment.empty()) {
    size_t hash = Query.find('#');
    if (hash != std::string::npos) {
      Fragment = Query.substr(hash + 1);
      Query.erase(hash);
    }
  }
}

std::string TUri::ComposeUri(int options) const {
  if (Scheme.empty()) throw EURIException("Protocol field is empty");
  if (Host.empty()) throw EURIException("Host field is empty");
  std::string result = Scheme + "://";
  if ((options & IncludeCredentials) && !UserName.empty()) {
    result += UserName;
    if (!Password.empty()) result += ":" + Password;
    result += "@";
  }
  result += Host;
  if (!Port.empty()) result += ":" + Port;
  result += Directory + Resource + Query;
  if ((options & IncludeFragment) && !Fragment.empty()) result += "#" + Fragment;
  return result;
}

std::string TUri::Uri() {
  SourceText = ComposeUri(IncludeCredentials | IncludeFragment);
  return ComposeUri(0);
}

std::string ResolvePath(const std::string& base, const std::string& path, char delimiter) {
  if (!path.empty() && path[0] == delimiter) return path;
  bool keep_trailing = path.empty() || path.back() == delimiter;
  std::string w = base;
  if (!w.empty() && w.back() != delimiter) w += delimiter;
  w += path;

  std::string r;
  for (size_t i = 0; i < w.size(); ++i) {
    char c = w[i];
    if (c == delimiter) {
      if (i == 0) {
        r.assign(1, delimiter);
      } else if (r.empty() || r.back() != delimiter) {
        r += delimiter;
      }
    } else if (c == '.' && !r.empty() && r.back() == delimiter && i + 1 < w.size() &&
               w[i + 1] == '.') {
      r.pop_back();
      while (!r.empty() && r.back() != delimiter) r.pop_back();
      ++i;
    } else {
      r += c;
    }
  }
  if (!keep_trailing && !r.empty() && r.back() == delimiter) r.pop_back();
  return r;
}

}  // namespace qelvu
