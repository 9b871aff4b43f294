#include <gtest/gtest.h>

#include "http/cookies.h"
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

}  // namespace
}  // namespace qelvu
