#include "http/cookies.h"

#include <libpsl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <tuple>

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

std::string WithoutLeadingDot(const std::string& domain) {
  return !domain.empty() && domain[0] == '.' ? domain.substr(1) : domain;
}

// The newest list libpsl has (the system's file or the one built in), loaded once and only read
// afterwards, which libpsl allows from any thread; null when neither can be had.
const psl_ctx_t* PublicSuffixList() {
  static const std::unique_ptr<psl_ctx_t, void (*)(psl_ctx_t*)> latest(psl_latest(nullptr),
                                                                       psl_free);
  return latest ? latest.get() : psl_builtin();
}

// Without a list every name counts as a public suffix: a cookie then stays with its own host.
bool IsPublicSuffix(const std::string& host) {
  const psl_ctx_t* list = PublicSuffixList();
  return !list || psl_is_public_suffix(list, LowerCase(host).c_str()) != 0;
}

bool DomainAcceptable(const std::string& host, const std::string& domain) {
  const psl_ctx_t* list = PublicSuffixList();
  if (!list) return SameText(WithoutLeadingDot(domain), host);
  return psl_is_cookie_domain_acceptable(list, LowerCase(host).c_str(),
                                         LowerCase(WithoutLeadingDot(domain)).c_str()) != 0;
}

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
  std::string domain = WithoutLeadingDot(Domain);
  if (domain.empty()) return false;
  return host == domain || (!HostOnly && EndsWith(host, "." + domain));
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
  if (cookie->Name.size() + cookie->Value.size() > kMaxCookieBytes) return;
  std::unique_lock<std::shared_mutex> lock(lock_);
  std::string group = UpperCase(cookie->Domain) + '\n' + UpperCase(cookie->Path);
  std::string key = group + '\n' + UpperCase(cookie->Name);
  if (auto found = index_.find(key); found != index_.end()) {
    TStored& stored = found->second;
    // The new cookie takes the old one's place whole: a copy through its server form would read
    // an empty value's "path=/" as the name and value of the cookie.
    stored.cookie = std::move(cookie);
    by_age_.splice(by_age_.end(), by_age_, stored.in_store);
    std::list<TStored*>& in_domain = domains_[stored.domain];
    in_domain.splice(in_domain.end(), in_domain, stored.in_domain);
    return;
  }
  TGroup& group_entry = groups_[group];
  if (group_entry.count++ == 0) group_entry.order = next_order_++;
  auto entry = index_.try_emplace(std::move(key)).first;
  TStored& stored = entry->second;
  stored.key = &entry->first;
  stored.domain = LowerCase(WithoutLeadingDot(cookie->Domain));
  stored.group = std::move(group);
  stored.group_order = group_entry.order;
  stored.order = next_order_++;
  stored.cookie = std::move(cookie);
  stored.in_store = by_age_.insert(by_age_.end(), &stored);
  std::list<TStored*>& in_domain = domains_[stored.domain];
  stored.in_domain = in_domain.insert(in_domain.end(), &stored);
  // The new cookie is the newest in both lists, so it is never the one to go.
  if (in_domain.size() > static_cast<size_t>(kMaxCookiesPerDomain)) RemoveOldest(in_domain);
  if (by_age_.size() > static_cast<size_t>(kMaxCookies)) RemoveOldest(by_age_);
}

void TCookieCollection::RemoveOldest(const std::list<TStored*>& by_age) {
  Remove(index_.find(*by_age.front()->key));
}

TCookieCollection::TIndex::iterator TCookieCollection::Remove(TIndex::iterator it) {
  TStored& stored = it->second;
  by_age_.erase(stored.in_store);
  auto domain = domains_.find(stored.domain);
  domain->second.erase(stored.in_domain);
  if (domain->second.empty()) domains_.erase(domain);
  auto group = groups_.find(stored.group);
  if (--group->second.count == 0) groups_.erase(group);
  return index_.erase(it);
}

void TCookieCollection::PurgeExpired() {
  std::unique_lock<std::shared_mutex> lock(lock_);
  TDateTime now = LocalNow();
  auto expired = [now](const TNetscapeCookie& cookie) {
    if (cookie.ExpiresText().empty()) return false;
    TDateTime expiry = ExpiryOf(cookie);
    // An expiry of exactly now has come: a max-age of 0 must never be sent.
    return expiry == 0 || expiry <= now;
  };
  for (auto it = index_.begin(); it != index_.end();) {
    it = expired(*it->second.cookie) ? Remove(it) : std::next(it);
  }
}

std::string TCookieCollection::CookieHeaderFor(const TUri& uri, bool secure) {
  PurgeExpired();
  std::shared_lock<std::shared_mutex> lock(lock_);
  struct TTaken {
    std::string path;
    const TStored* stored;
  };
  std::vector<TTaken> taken;
  for (const auto& [key, stored] : index_) {
    const TNetscapeCookie* cookie = stored.cookie.get();
    // The host must be the cookie's domain or lie under it; a key that merely occurs inside
    // "host + directory" would hand h.example's cookies to evilh.example.
    if (cookie->MatchesHost(uri.Host) && !cookie->Path.empty() &&
        uri.Directory.rfind(cookie->Path, 0) == 0 && (!cookie->Secure || secure) &&
        !cookie->Value.empty()) {
      taken.push_back({UpperCase(cookie->Path), &stored});
    }
  }
  std::sort(taken.begin(), taken.end(), [](const TTaken& a, const TTaken& b) {
    return std::tie(b.path, a.stored->group_order, b.stored->order) <
           std::tie(a.path, b.stored->group_order, a.stored->order);
  });
  std::string header;
  for (const TTaken& cookie : taken) {
    header += (header.empty() ? "" : "; ") + cookie.stored->cookie->ClientForm();
  }
  return header;
}

int TCookieCollection::Count() const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  return static_cast<int>(index_.size());
}

void TCookieCollection::ForEach(
    const std::function<void(const TNetscapeCookie& cookie)>& visit) const {
  std::shared_lock<std::shared_mutex> lock(lock_);
  for (const auto& [key, stored] : index_) visit(*stored.cookie);
}

TCookieManagerLink::THold::THold(const TCookieManagerLink* link) {
  if (!link) return;
  lock_ = std::shared_lock<std::shared_mutex>(link->lock_);
  manager_ = link->manager_.load(std::memory_order_relaxed);
}

TCookieManager::TCookieManager() : link_(std::make_shared<TCookieManagerLink>(this)) {}

TCookieManager::~TCookieManager() {
  {
    std::unique_lock<std::shared_mutex> lock(link_->lock_);
    link_->manager_.store(nullptr, std::memory_order_release);
  }
  CookieCollection.PurgeExpired();
  if (OnDestroy) OnDestroy(*this, CookieCollection);
}

std::shared_ptr<TCookieManagerLink> TCookieManager::Attach() {
  std::call_once(created_, [this] {
    if (OnCreate) OnCreate(*this, CookieCollection);
  });
  return link_;
}

void TCookieManager::AcceptCookie(const std::string& value, const std::string& host, bool rfc2965) {
  std::unique_ptr<TNetscapeCookie> cookie;
  if (rfc2965) {
    cookie = std::make_unique<TCookieRFC2965>();
  } else {
    cookie = std::make_unique<TCookieRFC2109>();
  }
  cookie->ParseCookie(value);
  const bool domain_given = !cookie->Domain.empty();
  if (!domain_given) cookie->Domain = host;
  if (!cookie->MatchesHost(host)) return;
  // An address has no public suffix; MatchesHost already holds it to itself.
  if (!IsDottedQuad(host) && host.find(':') == std::string::npos) {
    // A Domain such as "co.uk" or "github.io" would reach every site under it.
    if (domain_given && !DomainAcceptable(host, cookie->Domain)) return;
    // A host that is a public suffix itself may keep cookies, but the sites under it are
    // other parties, so they never see them.
    if (SameText(WithoutLeadingDot(cookie->Domain), host) && IsPublicSuffix(host)) {
      cookie->HostOnly = true;
    }
  }
  bool accept = true;
  if (OnNewCookie) OnNewCookie(*this, *cookie, accept);
  if (accept) CookieCollection.StoreCookie(std::move(cookie));
}

}  // namespace qelvu
