#include "channels/channel_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/expect_throw.h"

namespace qelvu {
namespace {

using namespace std::string_literals;

TEST(GetFieldTest, FieldsByIndex) {
  struct Case {
    std::string text;
    std::string separator;
    int index;
    std::string expected;
  } cases[] = {
      {"a|b|c|", "|", 1, "a"},
      {"a|b|c|", "|", 2, "b"},
      {"a|b|c|", "|", 3, "c"},
      {"a|b|c|", "|", 4, ""},
      {"a|b|c|", "|", 9, ""},
      {"a|b|c", "|", 3, "c"},  // no final bar
      {"|x|", "|", 1, ""},
      {"|x|", "|", 2, "x"},
      {"", "|", 1, ""},
      {"abc", "|", 1, "abc"},
      {"abc", "|", 2, ""},
      {"a|b\0c|d|"s, "|", 2, "b"},  // NUL ends the text
      {"a|b\0c|d|"s, "|", 3, ""},
      {"a::b::c", "::", 2, "b"},  // a separator of several bytes
      {"a|b|", "|\0x"s, 2, "b"},  // the separator ends at NUL too
      {"a|b|", "|", 0, ""},
      {"a|b|", "|", -1, ""},
      {"a|b|", "", 1, ""},                                                   // would never advance
      {"\xB6\xAB\xB7\xBD|\xCE\xC0\xCA\xD3|x|", "|", 2, "\xCE\xC0\xCA\xD3"},  // GBK stays bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text=\"" + c.text + "\" index=" + std::to_string(c.index));
    EXPECT_EQ(GetField(c.text, c.separator, c.index), c.expected);
  }
}

TEST(SplitCacheLinesTest, LineEnds) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},  // last line without an end still counts
      {"a\n\nb\n", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\n\r", {"a", ""}},  // LF then a lone CR: two line ends
      {"\r\n", {""}},
      {"", {}},
      {"a\nb\0c\nd"s, {"a", "b"}},  // NUL ends the whole text
      {"\0a\n"s, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text=\"" + c.text + "\"");
    const auto split = SplitCacheLines(c.text);
    EXPECT_EQ(std::vector<std::string>(split.begin(), split.end()), c.lines);
  }
}

TEST(SplitCacheLinesTest, JoinNormalisesToCrLf) {
  EXPECT_EQ(JoinCacheLines(SplitCacheLines("a|b|c|\nd|e|f|\rg|h|i|")),
            "a|b|c|\r\nd|e|f|\r\ng|h|i|\r\n");
  EXPECT_EQ(ComposeCacheLine("S", "C", "P"), "S|C|P|");
}

TEST(ExpandEnvPathTest, Variables) {
  ::setenv("QELVU_TEST_A", "/tmp/a", 1);
  ::setenv("QELVU_TEST_EMPTY", "", 1);
  ::unsetenv("QELVU_TEST_UNDEFINED");
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"%QELVU_TEST_A%/x.dat", "/tmp/a/x.dat"},
      {"%QELVU_TEST_A%%QELVU_TEST_A%", "/tmp/a/tmp/a"},
      {"pre%QELVU_TEST_EMPTY%post", "prepost"},
      {"plain/path", "plain/path"},
      {"%QELVU_TEST_UNDEFINED%/x.dat", ""},  // an undefined variable is a failure
      {"50%", "50%"},                        // no closing '%'
      {"a%%b", "a%%b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExpandEnvPath(c.path), c.expected);
  }
}

TEST(GetCacheFileNameTest, FollowsXdgCacheHome) {
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CACHE_HOME", "/var/cache/u", 1);
  EXPECT_EQ(GetCacheFileName(), "/var/cache/u/qelvu/QoviList.dat");
  ::setenv("XDG_CACHE_HOME", "", 1);
  EXPECT_EQ(GetCacheFileName(), "/home/u/.cache/qelvu/QoviList.dat");
  ::unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(GetCacheFileName(), "/home/u/.cache/qelvu/QoviList.dat");
  ::unsetenv("HOME");
  EXPECT_EQ(GetCacheFileName(), "");
}

TEST(ReadFileBytesTest, ReadsBytesAndReportsFailures) {
  char path[] = "/tmp/qelvu-read-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string bytes = "a\0b\r\n\xff"s;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
  EXPECT_EQ(ReadFileBytes(path), bytes);
  ::unlink(path);
  EXPECT_EQ(std::string(
                test::ExpectThrow<std::runtime_error>([&] { ReadFileBytes(path); }).value().what()),
            "Cannot open file \"" + std::string(path) + "\". No such file or directory");
  EXPECT_THROW(ReadFileBytes("/"), std::runtime_error);  // a folder cannot be read
}

}  // namespace
}  // namespace qelvu
