#include "http/cookies.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "http/http_dates.h"
#include "http/net_exceptions.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

bool IsDottedQuad(const std::string& host) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(host.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4) return false;
  return a <= 255 && b <= 255 && c <= 255 && d <= 255 && host[0] >= '0' && host[0] <= '9';
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<std::string> SplitPieces(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t semicolon = text.find(';', start);
    if (semicolon == std::string::npos) {
      std::string last = Trim(text.substr(start));
      if (!last.empty() || pieces.empty()) pieces.push_back(last);
      return pieces;
    }
    pieces.push_back(Trim(text.substr(start, semicolon - start)));
    start = semicolon + 1;
  }
}

// An expiry text as a local time; nothing when it cannot be read.
TDateTime ExpiryOf(const TNetscapeCookie& cookie) { return ParseHeaderDate(cookie.ExpiresText()); }

}  // namespace

void TNetscapeCookie::ParseCookie(const std::string& text) {
  if (text == HeaderText) return;
  HeaderText = text;
  std::vector<std::string> pieces = SplitPieces(text);
  const std::string& first = pieces.front();
  size_t equals = first.find('=');
  Name = equals == std::string::npos ? std::string() : first.substr(0, equals);
  Value = equals == std::string::npos ? std::string() : first.substr(equals + 1);
  pieces.erase(pieces.begin());
  for (std::string& piece : pieces) {
    size_t eq = piece.find('=');
    piece = eq == std::string::npos ? UpperCase(piece)
                                    : UpperCase(piece.substr(0, eq)) + piece.substr(eq);
  }
  LoadAttributes(pieces);
}

std::string TNetscapeCookie::AttributeValue(const std::vector<std::string>& pieces,
                                            const std::string& name) {
  for (const std::string& piece : pieces) {
    size_t eq = piece.find('=');
    if (eq != std::string::npos && SameText(piece.substr(0, eq), name)) return piece.substr(eq + 1);
  }
  return std::string();
}

bool TNetscapeCookie::HasFlag(const std::vector<std::string>& pieces, const std::string& flag) {
  return std::find(pieces.begin(), pieces.end(), flag) != pieces.end();
}

void TNetscapeCookie::LoadAttributes(const std::vector<std::string>& pieces) {
  Path = AttributeValue(pieces, "PATH");
  if (!Path.empty() && Path.front() == '"') Path.erase(0, 1);
  if (!Path.empty() && Path.back() == '"') Path.pop_back();
  SetExpiresText(AttributeValue(pieces, "EXPIRES"));
  Domain = AttributeValue(pieces, "DOMAIN");
  Secure = HasFlag(pieces, "SECURE");
}

bool TNetscapeCookie::MatchesHost(const std::string& host) const {
  if (IsDottedQuad(host)) return Domain == host;
  if (!host.empty() && host[0] == '.') return SameText(Domain, host);
  // Only the domain itself or a host under it: "evilexample.com" must not set cookies for
  // "example.com".
  std::string domain = !Domain.empty() && Domain[0] == '.' ? Domain.substr(1) : Domain;
  if (domain.empty()) return false;
  return host == domain || EndsWith(host, "." + domain);
}

std::string TNetscapeCookie::ServerForm() const {
  std::vector<std::string> parts;
  auto add = [&parts](const std::string& name, const std::string& value) {
    if (!value.empty()) parts.push_back(name + "=" + value);
  };
  add(Name, Value);
  add("path", Path);
  if (Format == TCookieFormat::NetscapeFormat) add("expires", ExpiresText());
  add("domain", Domain);
  if (Secure) parts.push_back("secure");
  std::string result;
  for (const std::string& part : parts) result += (result.empty() ? "" : "; ") + part;
  return result;
}

void TCookieRFC2109::SetExpiresText(const std::string& text) {
  if (!text.empty()) {
    if (TDateTime expiry = ParseHeaderDate(text); expiry != 0) {
      MaxAge = static_cast<int64_t>((expiry - LocalNow()) * 86400.0);
    }
  }
  TNetscapeCookie::SetExpiresText(text);
}

void TCookieRFC2109::LoadAttributes(const std::vector<std::string>& pieces) {
  TNetscapeCookie::LoadAttributes(pieces);
  std::optional<int64_t> max_age =
      ParseDecimal(AttributeValue(pieces, "MAX-AGE"), INT64_MIN / 2, INT64_MAX / 2);
  MaxAge = max_age.value_or(-1);
  VersionText = AttributeValue(pieces, "VERSION");
  Comment = AttributeValue(pieces, "COMMENT");
  if (ExpiresText().empty()) {
    Format = TCookieFormat::NetscapeFormat;
    if (MaxAge >= 0) {
      // Bounded so an absurd max-age still yields a readable date.
      int64_t seconds = std::min<int64_t>(MaxAge, int64_t{100} * 365 * 86400);
      SetExpiresText(FormatInternetDate(LocalNow() + static_cast<double>(seconds) / 86400.0));
    }
  }
}

std::string TCookieRFC2109::ServerForm() const {
  std::string result = TNetscapeCookie::ServerForm();
  auto add = [&result](const std::string& name, const std::string& value) {
    if (!value.empty()) result += (result.empty() ? "" : "; ") + name + "=" + value;
  };
  if (MaxAge >= 0 && ExpiresText().empty()) add("max-age", std::to_string(MaxAge));
  add("comment", Comment);
  add("version", VersionText);
  return result;
}

void TCookieRFC2965::SetPort(size_t index, int port) {
  if (index > Ports.size()) throw ENetException("Index out of range.");
  if (index == Ports.size()) {
    Ports.push_back(port);
  } else {
    Ports[index] = port;
  }
}

void TCookieRFC2965::LoadAttributes(const std::vector<std::string>& pieces) {
  TCookieRFC2109::LoadAttributes(pieces);
  CommentUrl = AttributeValue(pieces, "CommentURL");
  Discard = HasFlag(pieces, "DISCARD");
  std::string port = AttributeValue(pieces, "PORT");
  if (port.empty()) {
    Ports = {80};
  } else if (port.size() >= 2 && port.front() == '"' && port.back() == '"') {
    std::string inner = port.substr(1, port.size() - 2);
    Ports.clear();
    if (inner.empty()) Ports = {80};
    size_t start = 0;
    while (!inner.empty()) {
      size_t comma = inner.find(',', start);
      std::string item =
          inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      SetPort(Ports.size(), static_cast<int>(ConvertInteger(item, INT32_MIN, INT32_MAX)));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
}

void TCookieCollection::StoreCookie(std::unique_ptr<TNetscapeCookie> cookie) {
  std::unique_lock<std::shared_mutex> lock(lock_);
  std::string key = cookie->Domain + cookie->Path;
  auto entry = std::find_if(domain_index_.begin(), domain_index_.end(),
                            [&key](const IndexEntry& e) { return SameText(e.key, key); });
  if (entry == domain_index_.end()) {
    domain_index_.push_back({key, {}});
    entry = domain_index_.end() - 1;
  }
  for (auto& [name, stored] : entry->cookies) {
    if (SameText(name, cookie->Name)) {
      stored->ParseCookie(cookie->ServerForm());
      stored->Format = cookie->Format;
      return;
    }
  }
  entry->cookies.emplace_back(cookie->Name, cookie.get());
  items_.push_back(std::move(cookie));
}

void TCookieCollection::PurgeExpired() {
  std::unique_lock<std::shared_mutex> lock(lock_);
  TDateTime now = LocalNow();
  auto expired = [now](const TNetscapeCookie* cookie) {
    if (cookie->ExpiresText().empty()) return false;
    TDateTime expiry = ExpiryOf(*cookie);
    // An expiry of exactly now has come: a max-age of 0 must never be sent.
    return expiry == 0 || expiry <= now;
  };
  for (IndexEntry& entry : domain_index_) {
    std::erase_if(entry.cookies, [&](const auto& named) { return expired(named.second); });
  }
  std::erase_if(domain_index_, [](const IndexEntry& e) { return e.cookies.empty(); });
  std::erase_if(items_, [&](const auto& cookie) { return expired(cookie.get()); });
}

std::string TCookieCollection::CookieHeaderFor(const TUri& uri, bool secure) {
  PurgeExpired();
  std::shared_lock<std::shared_mutex> lock(lock_);
  std::vector<const TNetscapeCookie*> taken;
  for (const IndexEntry& entry : domain_index_) {
    for (auto it = entry.cookies.rbegin(); it != entry.cookies.rend(); ++it) {
      const TNetscapeCookie* cookie = it->second;
      // The host must be the cookie's domain or lie under it; a key that merely occurs inside
      // "host + directory" would hand h.example's cookies to evilh.example.
      if (cookie->MatchesHost(uri.Host) && !cookie->Path.empty() &&
          uri.Directory.rfind(cookie->Path, 0) == 0 && (!cookie->Secure || secure) &&
          !cookie->Value.empty()) {
        taken.push_back(cookie);
      }
    }
  }
  std::stable_sort(taken.begin(), taken.end(), [](const auto* a, const auto* b) {
    return UpperCase(a->Path) > UpperCase(b->Path);
  });
  std::string header;
  for (const TNetscapeCookie* cookie : taken) {
    header += (header.empty() ? "" : "; ") + cookie->ClientForm();
  }
  return header;
}

int TCookieCollection::Count() const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  return static_cast<int>(items_.size());
}

TCookieManager::~TCookieManager() {
  CookieCollection.PurgeExpired();
  if (OnDestroy) OnDestroy(*this, CookieCollection);
}

void TCookieManager::AcceptCookie(const std::string& value, const std::string& host, bool rfc2965) {
  std::unique_ptr<TNetscapeCookie> cookie;
  if (rfc2965) {
    cookie = std::make_unique<TCookieRFC2965>();
  } else {
    cookie = std::make_unique<TCookieRFC2109>();
  }
  cookie->ParseCookie(value);
  if (cookie->Domain.empty()) cookie->Domain = host;
  if (!cookie->MatchesHost(host)) return;
  bool accept = true;
  if (OnNewCookie) OnNewCookie(*this, *cookie, accept);
  if (accept) CookieCollection.StoreCookie(std::move(cookie));
}

}  // namespace qelvu
