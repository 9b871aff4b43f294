#include "regex/regex_matcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qelvu {
namespace {

using Matches = std::vector<std::pair<int, int>>;  // (offset, length) of each match

// Runs a first search and then next searches until one fails.
Matches AllMatches(TRegexMatcher& matcher) {
  Matches found;
  for (bool ok = matcher.FindFirstMatch(); ok; ok = matcher.FindNextMatch()) {
    found.emplace_back(matcher.MatchOffset(), matcher.MatchLength());
    if (found.size() > 100) break;  // a matcher that never advances must not hang the test
  }
  return found;
}

// The message of the ERegexError that `access` raises; a test failure when it raises none.
std::string ErrorText(const std::function<void()>& access) {
  try {
    access();
  } catch (const ERegexError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

// The REQUIRE messages carry the source position after the text.
testing::Matcher<std::string> IsRequire(const std::string& message) {
  return testing::StartsWith(message + " (regex_matcher.cc, line ");
}

struct SearchCase {
  const char* name;
  std::string pattern;
  std::string text;
  Matches expected;
  TRegexOptions options = {};
  TRegexSearchFlags flags = {rxNoEmptyMatch};
};

const SearchCase kSearchCases[] = {
    {"ab over xabyab", "ab", "xabyab", {{2, 2}, {5, 2}}},
    {"no match at all", "ab", "xyz", {}},
    {"match ends at the last byte", "b+", "aabb", {{3, 2}}},
    {"empty-only pattern never matches by default", "x*", "ab", {}},
    {"empty matches advance by one", "x*", "ab", {{1, 0}, {2, 0}, {3, 0}}, {}, {}},
    {"empty match then a real one", "a*", "baa", {{1, 0}, {2, 2}, {4, 0}}, {}, {}},
    {"dot stops at CR", "a.z", "a\rz", {}},
    {"dot stops at LF", "a.z", "a\nz", {}},
    {"dot stops at VT", "a.z", "a\vz", {}},
    {"dot stops at FF", "a.z", "a\fz", {}},
    {"dot stops at byte 133", "a.z", "a\x85z", {}},
    {"dot takes any other byte", "a.z", "a\x84z a\tz", {{1, 3}, {5, 3}}},
    {"GBK pair is two bytes", "^..$", "\xd6\xd0", {{1, 2}}},
    {"rxSingleLine lets the dot take byte 133", "a.z", "a\x85z", {{1, 3}}, {rxSingleLine}},
    {"case-sensitive by default", "AB", "xab", {}},
    {"rxCaseLess", "AB", "xab", {{2, 2}}, {rxCaseLess}},
    {"caret at text start only by default", "^b", "a\nb", {}},
    {"rxMultiLine after LF", "^b", "a\nb", {{3, 1}}, {rxMultiLine}},
    {"rxMultiLine after byte 133", "^z", "a\x85z", {{3, 1}}, {rxMultiLine}},
    {"rxExtended", "a b # comment", "ab", {{1, 2}}, {rxExtended}},
    {"rxAnchored", "b", "ab", {}, {rxAnchored}},
    {"rxAnchored at the start", "a", "aab", {{1, 1}, {2, 1}}, {rxAnchored}},
    {"greedy by default", "a+", "aaa", {{1, 3}}},
    {"rxUnGreedy", "a+", "aaa", {{1, 1}, {2, 1}, {3, 1}}, {rxUnGreedy}},
    {"rxNoLineStart", "^a", "ab", {}, {}, {rxNoLineStart, rxNoEmptyMatch}},
    {"line end by default", "b$", "ab", {{2, 1}}},
    {"rxNoLineEnd", "b$", "ab", {}, {}, {rxNoLineEnd, rxNoEmptyMatch}},
};

TEST(RegexMatcherSearch, CasesGiveTheExpectedMatches) {
  for (bool jit : {false, true}) {
    for (const SearchCase& c : kSearchCases) {
      SCOPED_TRACE(std::string(c.name) + (jit ? " (jit)" : ""));
      TRegexMatcher matcher;
      matcher.SetUseJit(jit);
      matcher.SetOptions(c.options);
      matcher.SetSearchFlags(c.flags);
      matcher.SetRegEx(c.pattern);
      matcher.SetSearchText(c.text);
      EXPECT_EQ(AllMatches(matcher), c.expected);
      EXPECT_FALSE(matcher.HasMatch());
    }
  }
}

TEST(RegexMatcherSearch, TheLongestTextKeepsEveryPositionInAnInt) {
  // A match ending at the last byte reports the 1-based position just past it; that must be an
  // int, so the longest accepted text is one byte shorter than INT_MAX.
  constexpr std::size_t kPastTheEnd = TRegexMatcher::kMaxSearchTextSize + 1;
  EXPECT_EQ(kPastTheEnd, static_cast<std::size_t>(INT_MAX));
}

TEST(RegexMatcherSearch, BacktrackingHeavyTextsMatchTheSameWithAndWithoutJit) {
  // (a|b)* keeps one backtracking frame per byte: 3000 bytes outgrow PCRE2's default JIT stack
  // and 200000 outgrow the matcher's own, which leaves them to the interpreter.
  struct DeepCase {
    const char* pattern;
    std::size_t length;
  };
  const DeepCase cases[] = {
      {"(a|b)*c", 3000},
      {"(?:a|ab)*c", 3000},
      {"(a|b)*c", 200000},
  };
  for (const DeepCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " over " + std::to_string(c.length));
    const std::string text = std::string(c.length, 'a') + "c";
    for (bool jit : {false, true}) {
      SCOPED_TRACE(jit ? "jit" : "interpreter");
      TRegexMatcher matcher;
      matcher.SetUseJit(jit);
      matcher.SetRegEx(c.pattern);
      matcher.SetSearchText(text);
      EXPECT_EQ(AllMatches(matcher), (Matches{{1, static_cast<int>(text.size())}}));
    }
  }
}

TEST(RegexMatcherSearch, DefaultsAreEmptyOptionsAndNoEmptyMatch) {
  TRegexMatcher matcher;
  EXPECT_EQ(matcher.Options(), TRegexOptions{});
  EXPECT_EQ(matcher.SearchFlags(), TRegexSearchFlags{rxNoEmptyMatch});
  EXPECT_TRUE(matcher.RegEx().empty());
  EXPECT_FALSE(matcher.HasMatch());
  EXPECT_FALSE(matcher.FindFirstMatch());
}

TEST(RegexMatcherSearch, NewTextRestartsWithoutLosingThePattern) {
  TRegexMatcher matcher;
  matcher.SetRegEx("ab");
  matcher.SetSearchText("xabyab");
  ASSERT_TRUE(matcher.FindFirstMatch());
  ASSERT_TRUE(matcher.FindNextMatch());

  matcher.SetSearchText("abab");
  EXPECT_FALSE(matcher.HasMatch());
  ASSERT_TRUE(matcher.FindNextMatch());
  EXPECT_EQ(matcher.MatchOffset(), 1);
}

TEST(RegexMatcherSearch, OnlyADifferentPatternOrOptionSetDropsTheMatch) {
  TRegexMatcher matcher;
  matcher.SetRegEx("ab");
  matcher.SetSearchText("xAbyab");
  ASSERT_TRUE(matcher.FindFirstMatch());

  matcher.SetRegEx("ab");
  matcher.SetOptions({});
  EXPECT_TRUE(matcher.HasMatch());

  matcher.SetOptions({rxCaseLess});
  EXPECT_FALSE(matcher.HasMatch());
  ASSERT_TRUE(matcher.FindFirstMatch());
  EXPECT_EQ(matcher.MatchOffset(), 2);

  matcher.SetRegEx("y");
  EXPECT_FALSE(matcher.HasMatch());
  ASSERT_TRUE(matcher.FindNextMatch());  // carries on after the last match, with the new pattern
  EXPECT_EQ(matcher.MatchOffset(), 4);
}

TEST(RegexMatcherGroups, NumberedGroupsAndGroupsThatTookNoPart) {
  TRegexMatcher matcher;
  matcher.SetRegEx("(x)|(b)(c)?(d)?");
  matcher.SetSearchText("abd");
  ASSERT_TRUE(matcher.FindFirstMatch());

  EXPECT_EQ(matcher.SubExpressionCount(), 4);
  EXPECT_EQ(matcher.GroupText(0), "bd");
  EXPECT_EQ(matcher.GroupOffset(1), 0);
  EXPECT_EQ(matcher.GroupLength(1), 0);
  EXPECT_EQ(matcher.GroupText(1), "");
  EXPECT_EQ(matcher.GroupOffset(2), 2);
  EXPECT_EQ(matcher.GroupText(3), "");
  EXPECT_EQ(matcher.GroupOffset(4), 3);
  EXPECT_EQ(matcher.GroupText(4), "d");
}

TEST(RegexMatcherGroups, IndexOutsideTheSetGroups) {
  TRegexMatcher matcher;
  matcher.SetRegEx("(a)(x)?");
  matcher.SetSearchText("a");
  ASSERT_TRUE(matcher.FindFirstMatch());
  ASSERT_EQ(matcher.SubExpressionCount(), 1);  // the unset last group is not counted

  for (int index : {-1, 2}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(matcher.GroupText(index), "");
    const auto is_index_error = IsRequire("REQUIRE: Index <= SubExpressionCount");
    EXPECT_THAT(ErrorText([&] { matcher.GroupOffset(index); }), is_index_error);
    EXPECT_THAT(ErrorText([&] { matcher.GroupLength(index); }), is_index_error);
  }
}

TEST(RegexMatcherGroups, NoAutoCaptureKeepsOnlyNamedGroups) {
  TRegexMatcher matcher;
  matcher.SetOptions({rxNoAutoCapture});
  matcher.SetRegEx("(a)(?<tail>b)");
  matcher.SetSearchText("ab");
  ASSERT_TRUE(matcher.FindFirstMatch());
  EXPECT_EQ(matcher.SubExpressionCount(), 1);
  EXPECT_EQ(matcher.GroupText(1), "b");
  EXPECT_EQ(matcher.GroupIndexOf("tail"), 1);
}

TEST(RegexMatcherGroups, GroupIndexOfNamesAndMissingNames) {
  TRegexMatcher matcher;
  matcher.SetRegEx(R"re(<div class="boxtop"(.*?)">(?<tvname>.*?)</div>(.*?))re");
  EXPECT_EQ(matcher.GroupIndexOf("tvname"), 2);  // compiles on demand
  EXPECT_EQ(matcher.GroupIndexOf("tv"), -7);
  EXPECT_EQ(matcher.GroupIndexOf(""), -7);

  matcher.SetRegEx("(x)(?J)(?<n>a)|(?<n>b)");
  EXPECT_EQ(matcher.GroupIndexOf("n"), 2);
}

TEST(RegexMatcherGroups, NinetyNineGroupsFitOneHundredDoNot) {
  for (int groups : {99, 100}) {
    SCOPED_TRACE(groups);
    std::string pattern;
    for (int i = 0; i < groups; ++i) pattern += "(a)";
    TRegexMatcher matcher;
    matcher.SetRegEx(pattern);
    matcher.SetSearchText(std::string(groups, 'a'));
    const bool fits = groups == 99;
    EXPECT_EQ(matcher.FindFirstMatch(), fits);
    EXPECT_EQ(matcher.HasMatch(), fits);
    if (fits) {
      EXPECT_EQ(matcher.GroupOffset(99), 99);
    }
  }
}

// Each step leaves the matcher without a current match; every accessor must then refuse.
struct NoMatchCase {
  const char* name;
  bool search_first;
  std::function<void(TRegexMatcher&)> step;
};

TEST(RegexMatcherGroups, AccessorsRefuseWithoutACurrentMatch) {
  const NoMatchCase cases[] = {
      {"fresh matcher", false, [](TRegexMatcher&) {}},
      {"text replaced", true, [](TRegexMatcher& m) { m.SetSearchText("xabyab"); }},
      {"failed next search", true,
       [](TRegexMatcher& m) {
         while (m.FindNextMatch()) {
         }
       }},
      {"failed first search", true,
       [](TRegexMatcher& m) {
         m.SetRegEx("zz");
         m.FindFirstMatch();
       }},
      {"explicit recompile", true, [](TRegexMatcher& m) { m.Compile(); }},
      {"different pattern", true, [](TRegexMatcher& m) { m.SetRegEx("a"); }},
  };
  for (const NoMatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRegexMatcher matcher;
    matcher.SetRegEx("ab");
    matcher.SetSearchText("xabyab");
    if (c.search_first) {
      ASSERT_TRUE(matcher.FindFirstMatch());
    }
    c.step(matcher);

    EXPECT_FALSE(matcher.HasMatch());
    const auto is_no_match_error = IsRequire("REQUIRE: There must be a successful match first");
    EXPECT_THAT(ErrorText([&] { matcher.GroupText(0); }), is_no_match_error);
    EXPECT_THAT(ErrorText([&] { matcher.GroupOffset(0); }), is_no_match_error);
    EXPECT_THAT(ErrorText([&] { matcher.MatchLength(); }), is_no_match_error);
  }
}

TEST(RegexMatcherErrors, CompileErrorsRaiseFromCompileAndNextButNotFirst) {
  struct ErrorCase {
    const char* pattern;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"", "TRegexMatcher.Compile() - Please specify a regular expression in RegEx first"},
      {"a(b", "TRegexMatcher.Compile() - Error in regex at offset 3: missing closing parenthesis"},
      {"ab[",
       "TRegexMatcher.Compile() - Error in regex at offset 3: missing terminating ] for "
       "character class"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.pattern);
    TRegexMatcher matcher;
    matcher.SetSearchText("ab");
    matcher.SetRegEx(c.pattern);
    EXPECT_EQ(ErrorText([&] { matcher.Compile(); }), c.message);
    EXPECT_EQ(ErrorText([&] { matcher.FindNextMatch(); }), c.message);
    EXPECT_FALSE(matcher.FindFirstMatch());
  }
}

TEST(RegexMatcherOnMatch, RunsOncePerMatchWithTheMatcherAsSender) {
  TRegexMatcher matcher;
  std::vector<int> seen;
  matcher.OnMatch = [&](TRegexMatcher& sender) {
    EXPECT_EQ(&sender, &matcher);
    seen.push_back(sender.MatchOffset());
  };
  matcher.SetRegEx("ab");
  matcher.SetSearchText("xabyab");
  AllMatches(matcher);
  EXPECT_EQ(seen, (std::vector<int>{2, 5}));
}

TEST(RegexMatcherOnMatch, FailureIsSwallowedOnlyByTheFirstSearch) {
  TRegexMatcher matcher;
  matcher.OnMatch = [](TRegexMatcher&) { throw std::runtime_error("handler failed"); };
  matcher.SetRegEx("ab");
  matcher.SetSearchText("xabyab");

  EXPECT_FALSE(matcher.FindFirstMatch());
  EXPECT_FALSE(matcher.HasMatch());  // "no match" must not leave a match behind
  EXPECT_THROW(matcher.FindNextMatch(), std::runtime_error);
}

// The channel directory's two patterns over a GBK page, cut the way the scraper cuts it:
// each category header opens a section that runs to the next header or the end of the page.
class RegexMatcherScraperPatterns : public ::testing::Test {
 protected:
  static constexpr const char* kCategoryPattern =
      R"re(<div class="boxtop"(.*?)">(?<tvname>.*?)</div>(.*?))re";
  static constexpr const char* kLinkPattern = R"re(<a id=(.*?)href="(.*?)">(.*?)</a>)re";

  // clang-format off
  const std::string page_ =
      "<html><a id=0 href=\"early.htm\">early</a>\r\n"                 // before any header
      "<div class=\"boxtop\" id=\"c1\">\xd1\xeb\xca\xd3</div>\r\n"     // 43: "央视"
      "<a id=1 href=\"cctv1.htm\">CCTV-1</a>\r\n"                      // 83
      "<a id=2 class=\"hot\" href=\"cctv5.htm\">\xcc\xe5\xd3\xfd</a>"  // 120, ends before a header
      "<div class=\"boxtop\" id=\"c2\">\xce\xc0\xca\xd3</div>"         // 165: "卫视"
      "<div class=\"boxtop\" id=\"c3\">\r\nbroken</div>"               // line break: no header
      "<a id=3 href=\"hn.htm\">\xba\xfe\xc4\xcf</a>\r\n"               // 245
      "<div class=\"boxtop\" id=\"c4\">\xbf\x85</div>"                 // byte 133: no header
      "<a id=4 href=\"x\x85.htm\">bad</a>\r\n"                         // byte 133: no link
      "<div class=\"boxtop\" id=\"c5\">\xb5\xe7\xd3\xb0</div>"         // 344: "电影", no links
      "<div class=\"boxtop\" id=\"c6\">\xc9\xd9\xb6\xf9</div>"         // 382: "少儿"
      "<a id=5 href=\"kids.htm\">\xc9\xd9\xb6\xf9</a>";                // 420, ends the page
  // clang-format on

  struct Header {
    int offset;
    int length;
    std::string name;
    bool operator==(const Header&) const = default;
  };

  std::vector<Header> headers_;
  std::vector<std::string> lines_;  // category|name|suffix| per link
  std::vector<int> link_offsets_;   // 1-based in the page

  void Scrape() {
    TRegexMatcher category;
    TRegexMatcher link;
    category.SetSearchText(page_);
    category.SetRegEx(kCategoryPattern);
    link.SetRegEx(kLinkPattern);
    for (bool more = category.FindFirstMatch(); more;) {
      const int section_start = category.MatchOffset() + category.MatchLength();
      const std::string name = category.GroupText(category.GroupIndexOf("tvname"));
      headers_.push_back({category.MatchOffset(), category.MatchLength(), name});
      more = category.FindNextMatch();
      const int section_end = more ? category.MatchOffset() - 1 : static_cast<int>(page_.size());
      link.SetSearchText(page_.substr(section_start - 1, section_end - section_start + 1));
      for (bool found = link.FindFirstMatch(); found; found = link.FindNextMatch()) {
        lines_.push_back(name + "|" + link.GroupText(3) + "|" + link.GroupText(2) + "|");
        link_offsets_.push_back(section_start - 1 + link.MatchOffset());
      }
    }
  }
};

TEST_F(RegexMatcherScraperPatterns, CutsCategoriesAndLinksWithPagePositions) {
  Scrape();
  const std::vector<Header> expected_headers = {
      {43, 38, "\xd1\xeb\xca\xd3"},
      {165, 38, "\xce\xc0\xca\xd3"},
      {344, 38, "\xb5\xe7\xd3\xb0"},
      {382, 38, "\xc9\xd9\xb6\xf9"},
  };
  EXPECT_EQ(headers_, expected_headers);
  const std::vector<std::string> expected_lines = {
      "\xd1\xeb\xca\xd3|CCTV-1|cctv1.htm|",
      "\xd1\xeb\xca\xd3|\xcc\xe5\xd3\xfd|cctv5.htm|",
      "\xce\xc0\xca\xd3|\xba\xfe\xc4\xcf|hn.htm|",
      "\xc9\xd9\xb6\xf9|\xc9\xd9\xb6\xf9|kids.htm|",
  };
  EXPECT_EQ(lines_, expected_lines);
  EXPECT_EQ(link_offsets_, (std::vector<int>{83, 120, 245, 420}));
}

}  // namespace
}  // namespace qelvu
