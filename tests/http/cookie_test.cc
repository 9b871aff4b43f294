#include <gtest/gtest.h>

#include <string>

#include "http/cookies.h"
#include "http/http_client.h"
#include "http/http_dates.h"
#include "http/net_exceptions.h"

namespace qelvu {
namespace {

// A store fed with "Set-cookie" values from one host.
class CookieTest : public ::testing::Test {
 protected:
  void Accept(const std::string& value, const std::string& host = "h.example") {
    manager_.AcceptCookie(value, host);
  }
  std::string HeaderFor(const std::string& url, bool secure = false) {
    return manager_.CookieHeaderFor(TUri(url), secure);
  }

  TCookieManager manager_;
};

TEST_F(CookieTest, PathDecidesWhereACookieGoes) {
  Accept("root=1; path=/");
  Accept("nopath=2");
  Accept("deep=3; path=/a/b");
  EXPECT_EQ(manager_.CookieCollection.Count(), 3);
  EXPECT_EQ(HeaderFor("http://h.example/list.htm"), "root=1");
  // The directory of /a/b is /a/, so a cookie for /a/b needs something below it.
  EXPECT_EQ(HeaderFor("http://h.example/a/b"), "root=1");
  EXPECT_EQ(HeaderFor("http://h.example/a/b/c.htm"), "deep=3; root=1");
}

TEST_F(CookieTest, LongerPathsComeFirst) {
  Accept("outer=1; path=/");
  Accept("inner=2; path=/a/");
  Accept("second=3; path=/");
  EXPECT_EQ(HeaderFor("http://h.example/a/x.htm"), "inner=2; second=3; outer=1");
}

TEST_F(CookieTest, LaterValueReplacesTheEarlierOne) {
  Accept("sid=old; path=/");
  Accept("sid=new; path=/");
  EXPECT_EQ(manager_.CookieCollection.Count(), 1);
  EXPECT_EQ(HeaderFor("http://h.example/"), "sid=new");
}

TEST_F(CookieTest, AReplacementTakesTheNewCookieWhole) {
  struct Case {
    const char* name;
    const char* replacement;
    const char* kept;    // name and value of the cookie kept
    const char* plain;   // the header for a plain request
    const char* secure;  // and for one over TLS
  } cases[] = {
      {"a new value", "sid=new; path=/", "sid=new", "sid=new", "sid=new"},
      {"an empty value: nothing is sent", "sid=; path=/", "sid=", "", ""},
      {"the secure flag", "sid=new; path=/; secure", "sid=new", "", "sid=new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCookieManager manager;
    manager.AcceptCookie("sid=old; path=/", "h.example");
    manager.AcceptCookie(c.replacement, "h.example");
    EXPECT_EQ(manager.CookieCollection.Count(), 1);
    manager.CookieCollection.ForEach([&c](const TNetscapeCookie& kept) {
      EXPECT_EQ(kept.ClientForm(), c.kept);
      EXPECT_EQ(kept.Path, "/");
    });
    EXPECT_EQ(manager.CookieHeaderFor(TUri("http://h.example/"), false), c.plain);
    EXPECT_EQ(manager.CookieHeaderFor(TUri("https://h.example/"), true), c.secure);
  }
}

TEST_F(CookieTest, ExpiryDropsCookies) {
  Accept("gone=1; path=/; max-age=0");
  Accept("past=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT");
  Accept("bad=1; path=/; expires=never");
  Accept("kept=1; path=/; max-age=3600");
  EXPECT_EQ(HeaderFor("http://h.example/"), "kept=1");
  EXPECT_EQ(manager_.CookieCollection.Count(), 1);
}

TEST_F(CookieTest, SecureCookiesOnlyOverTls) {
  Accept("s=1; path=/; secure");
  EXPECT_EQ(HeaderFor("http://h.example/"), "");
  EXPECT_EQ(HeaderFor("https://h.example/", true), "s=1");
}

TEST_F(CookieTest, DomainMustBeTheHostOrAboveIt) {
  struct Case {
    const char* host;
    const char* domain;
    bool kept;
  } cases[] = {
      {"h.example", "", true},
      {"h.example", "h.example", true},
      {"www.h.example", "h.example", true},
      {"www.h.example", ".h.example", true},
      {"h.example", ".h.example", true},
      {"evilh.example", "h.example", false},
      {"evilh.example", ".h.example", false},
      {"h.example", "other.example", false},
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.1", "0.0.1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " sets domain " + c.domain);
    TCookieManager manager;
    std::string value = "a=1; path=/";
    if (*c.domain) value += std::string("; domain=") + c.domain;
    manager.AcceptCookie(value, c.host);
    EXPECT_EQ(manager.CookieCollection.Count(), c.kept ? 1 : 0);
  }
}

TEST_F(CookieTest, CookiesGoOnlyToTheirDomain) {
  Accept("host=1; path=/");
  Accept("wide=2; path=/; domain=.h.example");
  EXPECT_EQ(HeaderFor("http://h.example/"), "host=1; wide=2");
  EXPECT_EQ(HeaderFor("http://www.h.example/"), "host=1; wide=2");
  EXPECT_EQ(HeaderFor("http://evilh.example/"), "");
  EXPECT_EQ(HeaderFor("http://other.example/h.example/"), "");
}

TEST_F(CookieTest, ParsesAttributesAndServerForm) {
  TCookieRFC2109 cookie;
  cookie.ParseCookie(" n=v=w ; Path=\"/p\"; DOMAIN=d.example; comment=hi; Secure; version=1");
  EXPECT_EQ(cookie.Name, "n");
  EXPECT_EQ(cookie.Value, "v=w");
  EXPECT_EQ(cookie.Path, "/p");
  EXPECT_EQ(cookie.Domain, "d.example");
  EXPECT_TRUE(cookie.Secure);
  EXPECT_EQ(cookie.MaxAge, -1);
  EXPECT_EQ(cookie.Format, TCookieFormat::NetscapeFormat);
  EXPECT_EQ(cookie.ServerForm(), "n=v=w; path=/p; domain=d.example; secure; comment=hi; version=1");
  EXPECT_EQ(cookie.ClientForm(), "n=v=w");

  TCookieRFC2965 cookie2;
  cookie2.ParseCookie("a=b; Port=\"80,8080\"");
  EXPECT_EQ(cookie2.Ports, (std::vector<int>{80, 8080}));
  EXPECT_THROW(cookie2.ParseCookie("a=b; Port=\"x\""), EConvertError);
  EXPECT_THROW(cookie2.SetPort(5, 1), ENetException);
}

TEST_F(CookieTest, NewCookieEventMayRefuse) {
  manager_.OnNewCookie = [](TCookieManager&, TNetscapeCookie& cookie, bool& accept) {
    accept = cookie.Name != "no";
  };
  Accept("no=1; path=/");
  Accept("yes=1; path=/");
  EXPECT_EQ(HeaderFor("http://h.example/"), "yes=1");
}

TEST_F(CookieTest, DomainThatIsAPublicSuffixIsRefused) {
  struct Case {
    const char* host;
    const char* domain;
    bool kept;
  } cases[] = {
      {"www.example.com", "example.com", true},
      {"www.example.com", ".example.com", true},
      {"www.example.com", "com", false},
      {"www.example.com", ".com", false},
      {"www.bbc.co.uk", "bbc.co.uk", true},
      {"www.bbc.co.uk", "co.uk", false},
      {"bbc.co.uk", ".co.uk", false},
      {"me.github.io", "me.github.io", true},
      {"me.github.io", "github.io", false},
      // The host itself may name itself, public suffix or not.
      {"github.io", "github.io", true},
      {"www.h.example", "example", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + " sets domain " + c.domain);
    TCookieManager manager;
    manager.AcceptCookie(std::string("a=1; path=/; domain=") + c.domain, c.host);
    EXPECT_EQ(manager.CookieCollection.Count(), c.kept ? 1 : 0);
  }
}

TEST_F(CookieTest, AHostThatIsAPublicSuffixKeepsItsCookiesToItself) {
  for (const char* value : {"a=1; path=/", "a=1; path=/; domain=.github.io"}) {
    SCOPED_TRACE(value);
    TCookieManager manager;
    manager.AcceptCookie(value, "github.io");
    EXPECT_EQ(manager.CookieHeaderFor(TUri("http://github.io/"), false), "a=1");
    EXPECT_EQ(manager.CookieHeaderFor(TUri("http://me.github.io/"), false), "");
  }
  // An ordinary host's cookie still reaches the hosts under it.
  Accept("a=1; path=/");
  EXPECT_EQ(HeaderFor("http://www.h.example/"), "a=1");
}

// Bounds that keep a server from filling the store without end.
class CookieLimitsTest : public CookieTest {
 protected:
  // Stores "<prefix><i>=v" for i in [first, last) from `host`.
  void AcceptRange(const std::string& prefix, int first, int last,
                   const std::string& host = "h.example") {
    for (int i = first; i < last; ++i) Accept(prefix + std::to_string(i) + "=v; path=/", host);
  }
  bool Has(const std::string& name, const std::string& host = "h.example") {
    std::string header = "; " + HeaderFor("http://" + host + "/") + ";";
    return header.find("; " + name + "=") != std::string::npos;
  }
};

TEST_F(CookieLimitsTest, TheFiftyFirstCookieOfADomainEvictsItsOldest) {
  Accept("other=1; path=/", "other.example");
  AcceptRange("c", 0, TCookieCollection::kMaxCookiesPerDomain + 1);
  EXPECT_EQ(manager_.CookieCollection.Count(), TCookieCollection::kMaxCookiesPerDomain + 1);
  EXPECT_FALSE(Has("c0"));
  EXPECT_TRUE(Has("c1"));
  EXPECT_TRUE(Has("c50"));
  // Another domain's cookie is not the oldest of this one.
  EXPECT_TRUE(Has("other", "other.example"));
}

TEST_F(CookieLimitsTest, AReplacementKeepsOneCookieAndCountsAsNew) {
  AcceptRange("c", 0, TCookieCollection::kMaxCookiesPerDomain);
  Accept("c0=new; path=/");
  EXPECT_EQ(manager_.CookieCollection.Count(), TCookieCollection::kMaxCookiesPerDomain);
  AcceptRange("c", 50, 51);
  EXPECT_EQ(manager_.CookieCollection.Count(), TCookieCollection::kMaxCookiesPerDomain);
  const std::string header = HeaderFor("http://h.example/");
  EXPECT_NE(header.find("c0=new"), std::string::npos) << header;
  EXPECT_EQ(header.find("c0=v"), std::string::npos) << header;
  EXPECT_FALSE(Has("c1"));
}

TEST_F(CookieLimitsTest, TheCookieAfterTheLastOneAllowedEvictsTheOldestOfAll) {
  // 30 in each of 100 domains: no domain reaches its own bound.
  for (int domain = 0; domain < 100; ++domain) {
    AcceptRange("d" + std::to_string(domain) + "n", 0, 30,
                "d" + std::to_string(domain) + ".example");
  }
  ASSERT_EQ(manager_.CookieCollection.Count(), TCookieCollection::kMaxCookies);
  Accept("last=1; path=/", "new.example");
  EXPECT_EQ(manager_.CookieCollection.Count(), TCookieCollection::kMaxCookies);
  EXPECT_FALSE(Has("d0n0", "d0.example"));
  EXPECT_TRUE(Has("d0n1", "d0.example"));
  EXPECT_TRUE(Has("last", "new.example"));
}

TEST_F(CookieLimitsTest, ACookieLargerThanTheBoundIsRefused) {
  struct Case {
    const char* name;
    size_t value_bytes;  // after the one-letter name
    bool kept;
  } cases[] = {
      {"name and value at the bound", TCookieCollection::kMaxCookieBytes - 1, true},
      {"one byte over", TCookieCollection::kMaxCookieBytes, false},
      {"5000 bytes", 4999, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCookieManager manager;
    manager.AcceptCookie("a=old; path=/", "h.example");
    manager.AcceptCookie("a=" + std::string(c.value_bytes, 'x') + "; path=/", "h.example");
    EXPECT_EQ(manager.CookieCollection.Count(), 1);
    // A refused value leaves the one kept before.
    const std::string header = manager.CookieHeaderFor(TUri("http://h.example/"), false);
    EXPECT_EQ(header.substr(0, 5), c.kept ? "a=xxx" : "a=old");
    EXPECT_EQ(header.size(), c.kept ? c.value_bytes + 2 : 5u);
  }
}

TEST(CookieManagerEventsTest, OnCreateFiresOnceWhenTheFirstClientIsAttached) {
  TCookieManager manager;
  int created = 0;
  TCookieManager* sender = nullptr;
  manager.OnCreate = [&](TCookieManager& from, TCookieCollection&) {
    ++created;
    sender = &from;
  };
  EXPECT_EQ(created, 0);
  THttpClient first;
  THttpClient second;
  first.SetCookieManager(&manager);
  EXPECT_EQ(created, 1);
  second.SetCookieManager(&manager);
  first.SetCookieManager(nullptr);
  first.SetCookieManager(&manager);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(sender, &manager);
}

}  // namespace
}  // namespace qelvu
