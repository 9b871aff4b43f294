#include "http/uri.h"

#include <gtest/gtest.h>

#include "http/net_exceptions.h"
#include "support/expect_throw.h"

namespace qelvu {
namespace {

struct ParseCase {
  const char* text;
  const char* scheme;
  const char* user;
  const char* password;
  const char* host;
  const char* port;
  const char* directory;
  const char* resource;
  const char* query;
  const char* fragment;
};

TEST(UriTest, ParsesEveryForm) {
  const ParseCase cases[] = {
      {"http://u:p@h:8080/a/b.htm?x=1#top", "http", "u", "p", "h", "8080", "/a/", "b.htm", "?x=1",
       "top"},
      {"http://h", "http", "", "", "h", "", "/", "", "", ""},
      {"http://h/", "http", "", "", "h", "", "/", "", "", ""},
      {"http://h/list.htm", "http", "", "", "h", "", "/", "list.htm", "", ""},
      {"http://h/a/b?c=d/e", "http", "", "", "h", "", "/a/", "b", "?c=d/e", ""},
      {"http://h/a/b=c", "http", "", "", "h", "", "/a/", "b", "=c", ""},
      {"http://h/a#top", "http", "", "", "h", "", "/", "a", "", "top"},
      {"http://user@h/", "http", "user", "", "h", "", "/", "", "", ""},
      {"http://:pw@h/", "http", "", "", "h", "", "/", "", "", ""},
      {"http:\\\\h\\x", "http", "", "", "h", "", "/", "x", "", ""},
      {"c.htm", "", "", "", "", "", "", "c.htm", "", ""},
      {"../x/c.htm?q#f", "", "", "", "", "", "../x/", "c.htm", "?q", "f"},
      // A GBK character whose trail byte is a backslash keeps it.
      {"http://h/\x95\\.htm", "http", "", "", "h", "", "/", "\x95\\.htm", "", ""},
      {"", "", "", "", "", "", "", "", "", ""},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    TUri uri(c.text);
    EXPECT_EQ(uri.Scheme, c.scheme);
    EXPECT_EQ(uri.UserName, c.user);
    EXPECT_EQ(uri.Password, c.password);
    EXPECT_EQ(uri.Host, c.host);
    EXPECT_EQ(uri.Port, c.port);
    EXPECT_EQ(uri.Directory, c.directory);
    EXPECT_EQ(uri.Resource, c.resource);
    EXPECT_EQ(uri.Query, c.query);
    EXPECT_EQ(uri.Fragment, c.fragment);
  }
}

TEST(UriTest, ComposesWithOptionsAndRejectsMissingParts) {
  TUri uri("http://u:p@h:8080/a/b.htm?x=1#top");
  EXPECT_EQ(uri.ComposeUri(0), "http://h:8080/a/b.htm?x=1");
  EXPECT_EQ(uri.ComposeUri(TUri::IncludeCredentials | TUri::IncludeFragment),
            "http://u:p@h:8080/a/b.htm?x=1#top");
  EXPECT_EQ(uri.Uri(), "http://h:8080/a/b.htm?x=1");
  EXPECT_EQ(uri.SourceText, "http://u:p@h:8080/a/b.htm?x=1#top");

  TUri relative("c.htm");
  auto no_scheme = test::ExpectThrow<EURIException>([&] { relative.ComposeUri(0); });
  ASSERT_TRUE(no_scheme);
  EXPECT_STREQ(no_scheme->what(), "Protocol field is empty");
  relative.Scheme = "http";
  auto no_host = test::ExpectThrow<EURIException>([&] { relative.ComposeUri(0); });
  ASSERT_TRUE(no_host);
  EXPECT_STREQ(no_host->what(), "Host field is empty");
}

TEST(UriTest, ResolvesPaths) {
  struct Case {
    const char* base;
    const char* path;
    const char* expected;
  } cases[] = {
      {"/a/", "/x/", "/x/"},      {"/a/", "", "/a/"},        {"/a/b/", "../", "/a/"},
      {"/a/b/", "./", "/a/b/./"}, {"/a/b", "c/", "/a/b/c/"}, {"/a//b/", "c", "/a/b/c"},
      {"/a/", "../../../", "/"},  {"", "x/", "x/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.path);
    EXPECT_EQ(ResolvePath(c.base, c.path), c.expected);
  }
}

}  // namespace
}  // namespace qelvu
