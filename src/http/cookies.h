// The cookie store of the HTTP client: cookies that servers set, kept per domain and path, and
// the "Cookie" header value for the next request.
//
// `TCookieManager` owns one `TCookieCollection`. The collection takes a reader/writer lock
// (reads for a request share it; storing and purging take it alone), so one store may serve
// clients on several threads. Cookie objects themselves are not locked. The collection is
// bounded as browsers bound theirs, and a `Domain` attribute that names a public suffix (from
// the Public Suffix List, through libpsl) is refused.
//
// A client holds its store through a `TCookieManagerLink`, which the store shares with every
// client it serves: the store's destructor empties the link, so a client never reaches a store
// that is gone, and either side may be destroyed first.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "http/uri.h"

namespace qelvu {

enum class TCookieFormat { NetscapeFormat = 0, Rfc2109Format = 1, Rfc2965Format = 2 };

class TNetscapeCookie {
 public:
  virtual ~TNetscapeCookie() = default;

  // Reads a "Set-cookie" value: name=value, then attributes; a text equal to the last one
  // parsed is not read again.
  void ParseCookie(const std::string& text);
  // True when a cookie with this `Domain` may be set by (and sent to) `host`: the host is the
  // domain, or lies under it (ends with "." and the domain) unless HostOnly; a dotted IPv4 host
  // must equal it.
  bool MatchesHost(const std::string& host) const;
  virtual std::string ServerForm() const;
  std::string ClientForm() const { return Name + "=" + Value; }

  const std::string& ExpiresText() const { return expires_text_; }
  virtual void SetExpiresText(const std::string& text) { expires_text_ = text; }

  std::string Name;
  std::string Value;
  std::string Path;
  std::string Domain;
  bool Secure = false;
  // The cookie goes to the host of its Domain alone, never to hosts under it (the store sets
  // this for a cookie from a host that is itself a public suffix).
  bool HostOnly = false;
  TCookieFormat Format = TCookieFormat::NetscapeFormat;
  std::string HeaderText;

 protected:
  // Attribute pieces: "NAME=value" with the name upper-cased, or a bare upper-cased word.
  virtual void LoadAttributes(const std::vector<std::string>& pieces);
  static std::string AttributeValue(const std::vector<std::string>& pieces,
                                    const std::string& name);
  static bool HasFlag(const std::vector<std::string>& pieces, const std::string& flag);

 private:
  std::string expires_text_;
};

class TCookieRFC2109 : public TNetscapeCookie {
 public:
  TCookieRFC2109() { Format = TCookieFormat::Rfc2109Format; }

  std::string ServerForm() const override;
  // Also sets MaxAge to the seconds from now until the date.
  void SetExpiresText(const std::string& text) override;

  int64_t MaxAge = -1;
  std::string VersionText;
  std::string Comment;

 protected:
  void LoadAttributes(const std::vector<std::string>& pieces) override;
};

class TCookieRFC2965 : public TCookieRFC2109 {
 public:
  TCookieRFC2965() { Format = TCookieFormat::Rfc2965Format; }

  // Raises ENetException "Index out of range." more than one past the end.
  void SetPort(size_t index, int port);

  std::string CommentUrl;
  bool Discard = false;
  std::vector<int> Ports;

 protected:
  void LoadAttributes(const std::vector<std::string>& pieces) override;
};

class TCookieCollection {
 public:
  // The bounds browsers use. A domain is a cookie's Domain, letter case and a leading dot aside.
  static constexpr int kMaxCookiesPerDomain = 50;
  static constexpr int kMaxCookies = 3000;
  // Of name and value together.
  static constexpr size_t kMaxCookieBytes = 4096;

  // Keeps the cookie under Domain + Path and its name (any letter case); a cookie already kept
  // under all three takes over the new one's attributes instead. Refuses a cookie whose name and
  // value exceed kMaxCookieBytes. Past kMaxCookiesPerDomain in the cookie's domain, or
  // kMaxCookies in all, the least recently stored cookie of that domain (of the store) goes; a
  // replacement counts as stored anew.
  void StoreCookie(std::unique_ptr<TNetscapeCookie> cookie);
  // Drops every cookie whose expiry has come (an unreadable expiry counts as past).
  void PurgeExpired();
  // The "Cookie" value for a request to `uri`: the cookies whose domain matches the host and
  // whose path begins the URI's directory, longest path first; empty when none applies.
  std::string CookieHeaderFor(const TUri& uri, bool secure);
  int Count() const;
  // Shows `visit` every kept cookie, under the read lock (so `visit` must not store cookies).
  void ForEach(const std::function<void(const TNetscapeCookie& cookie)>& visit) const;

 private:
  // One kept cookie; the index owns it, and the age lists point at it.
  struct TStored {
    std::unique_ptr<TNetscapeCookie> cookie;
    // Its own key in the index (the cookie's name may change as a replacement is parsed).
    const std::string* key = nullptr;
    std::string domain;
    // Domain and path upper-cased: the Cookie header lists the cookies of one group in a row,
    // the groups in the order they came into being, each one's newest cookie first.
    std::string group;
    uint64_t group_order = 0;
    uint64_t order = 0;
    std::list<TStored*>::iterator in_store;
    std::list<TStored*>::iterator in_domain;
  };
  struct TGroup {
    uint64_t order = 0;
    int count = 0;
  };
  using TIndex = std::unordered_map<std::string, TStored>;

  // Forgets the cookie at `it` everywhere; returns the index entry after it.
  TIndex::iterator Remove(TIndex::iterator it);
  void RemoveOldest(const std::list<TStored*>& by_age);

  mutable std::shared_mutex lock_;
  // Keyed by domain, path and name, upper-cased.
  TIndex index_;
  // Least recently stored first.
  std::list<TStored*> by_age_;
  std::unordered_map<std::string, std::list<TStored*>> domains_;
  std::unordered_map<std::string, TGroup> groups_;
  uint64_t next_order_ = 0;
};

class TCookieManager;

// What a client holds of its store: the store while it lives, nothing once it is gone. Made by
// the store and shared with every client that uses it; any thread may use it.
class TCookieManagerLink {
 public:
  // Keeps the store of `link` (none when `link` is null or the store is gone) from being
  // destroyed while the hold lives: the store's destructor waits for it to end, so the thread
  // that destroys the store must hold none, and a thread takes one hold at a time.
  class THold {
   public:
    explicit THold(const TCookieManagerLink* link);
    TCookieManager* get() const { return manager_; }
    TCookieManager* operator->() const { return manager_; }
    explicit operator bool() const { return manager_ != nullptr; }

   private:
    std::shared_lock<std::shared_mutex> lock_;
    TCookieManager* manager_ = nullptr;
  };

  explicit TCookieManagerLink(TCookieManager* manager) : manager_(manager) {}
  TCookieManagerLink(const TCookieManagerLink&) = delete;
  TCookieManagerLink& operator=(const TCookieManagerLink&) = delete;

  // The store, or null once it is gone; good for as long as the caller knows it lives. Takes
  // no hold, so it may be asked inside one.
  TCookieManager* Manager() const { return manager_.load(std::memory_order_acquire); }

 private:
  friend class TCookieManager;
  mutable std::shared_mutex lock_;
  std::atomic<TCookieManager*> manager_;
};

class TCookieManager {
 public:
  TCookieManager();
  // Detaches every client first (each then sees no store, and one still using the store is
  // waited for), then purges expired cookies and fires OnDestroy.
  ~TCookieManager();
  TCookieManager(const TCookieManager&) = delete;
  TCookieManager& operator=(const TCookieManager&) = delete;

  // Parses a "Set-cookie" (or, with `rfc2965`, "Set-cookie2") value from `host` and keeps it
  // unless its domain does not match the host, its Domain attribute is a public suffix other
  // than the host itself, or OnNewCookie refuses it. A cookie from a host that is itself a
  // public suffix is kept for that host alone (HostOnly).
  void AcceptCookie(const std::string& value, const std::string& host, bool rfc2965 = false);
  std::string CookieHeaderFor(const TUri& uri, bool secure) {
    return CookieCollection.CookieHeaderFor(uri, secure);
  }
  // Ties a client to this store; the first call fires OnCreate (on the caller's thread, before
  // any client can use the store). The client keeps the link.
  std::shared_ptr<TCookieManagerLink> Attach();

  TCookieCollection CookieCollection;
  // Fired once, when the first client is attached, not at construction (no handler can be set
  // before that).
  std::function<void(TCookieManager& sender, TCookieCollection& cookies)> OnCreate;
  std::function<void(TCookieManager& sender, TCookieCollection& cookies)> OnDestroy;
  std::function<void(TCookieManager& sender, TNetscapeCookie& cookie, bool& accept)> OnNewCookie;

 private:
  std::shared_ptr<TCookieManagerLink> link_;
  std::once_flag created_;
};

}  // namespace qelvu
