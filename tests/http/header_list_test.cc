#include "http/header_list.h"

#include <gtest/gtest.h>

#include "http/http_dates.h"
#include "http/http_headers.h"

namespace qelvu {
namespace {

TEST(HeaderListTest, FoldsLongValuesAndJoinsThemBack) {
  THeaderList headers;
  std::string value;
  for (int i = 0; i < 30; ++i) value += "word" + std::to_string(i) + " ";
  value += "end";
  headers.SetHeaderValue("X-Long", value);
  ASSERT_GT(headers.Count(), 1);
  for (int i = 0; i < headers.Count(); ++i) {
    SCOPED_TRACE(headers.Line(i));
    EXPECT_LE(headers.Line(i).size(), 78u + 8u);
    if (i > 0) {
      EXPECT_EQ(headers.Line(i)[0], ' ');
      EXPECT_NE(headers.Line(i)[1], ' ');
    }
  }
  EXPECT_EQ(headers.HeaderValue("x-long"), value);

  // Replacing drops the old continuation lines.
  headers.SetHeaderValue("X-Long", "short");
  EXPECT_EQ(headers.Count(), 1);
  EXPECT_EQ(headers.Line(0), "X-Long: short");
}

TEST(HeaderListTest, QuotedTextIsNotBrokenAndShortLinesStayWhole) {
  EXPECT_EQ(FoldLine("A: b", 78).size(), 1u);
  std::string quoted = "A: \"" + std::string(40, 'x') + " " + std::string(40, 'y') + "\"";
  std::vector<std::string> pieces = FoldLine(quoted, 20);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "A:");
  EXPECT_EQ(pieces[1], " " + quoted.substr(3));
}

TEST(HeaderListTest, NoFoldEndsTheBlockWithAnEmptyLine) {
  // Control characters count as blanks when pieces are trimmed; a rest of them after a break
  // must not become a line of its own (an empty line ends a header block).
  for (const std::string& line :
       {std::string("X-Fuzz: \0", 9), std::string("A: b \x01\x02"), std::string("A: b,\t\x7f")}) {
    SCOPED_TRACE(line);
    for (const std::string& piece : FoldLine(line, 0)) EXPECT_FALSE(piece.empty());
  }
}

TEST(HeaderListTest, EmptyValueRemovesAndSettingAgainAppends) {
  THeaderList headers;
  headers.SetHeaderValue("A", "1");
  headers.SetHeaderValue("B", "2");
  headers.SetHeaderValue("A", "");
  EXPECT_EQ(headers.Text(), "B: 2\r\n");
  headers.SetHeaderValue("A", "3");
  EXPECT_EQ(headers.Text(), "B: 2\r\nA: 3\r\n");
  EXPECT_EQ(headers.IndexOfHeader("a"), 1);
  EXPECT_EQ(headers.IndexOfHeader("C"), -1);
}

TEST(HeaderListTest, SettingAHeaderLeavesNoOtherLineOfItsName) {
  struct Case {
    const char* name;
    const char* value;
    const char* text;
  } cases[] = {
      {"a value replaces the first and drops the rest", "new", "A: new\r\nB: 2\r\n"},
      {"an empty value drops them all", "", "B: 2\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    THeaderList headers;
    headers.SetText("A: 1\r\nB: 2\r\na: 3\r\n  folded\r\nA: 4\r\n");
    headers.SetHeaderValue("A", c.value);
    EXPECT_EQ(headers.Text(), c.text);
    EXPECT_EQ(headers.HeaderValue("A"), c.value);
  }
}

TEST(HeaderListTest, ReadsValuesWithAndWithoutBlankAndRepeatedNames) {
  THeaderList headers;
  headers.SetText("Set-Cookie:a=1\r\nset-cookie: b=2\nServer:\tx \r\nNoColon");
  EXPECT_EQ(headers.Count(), 4);
  std::vector<std::string> cookies;
  headers.ExtractValues("SET-COOKIE", cookies);
  EXPECT_EQ(cookies, (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_EQ(headers.HeaderValue("Server"), "x");
  EXPECT_EQ(headers.NameAt(0), "SET-COOKIE");
  EXPECT_EQ(headers.NameAt(3), "");
  EXPECT_EQ(headers.ValueAt(9), "");
}

TEST(RequestHeadersTest, ComposesInWireOrderAndCustomLinesKeepTheirPlace) {
  TRequestHeaderInfo request;
  request.Host = "h";
  request.Connection = "keep-alive";
  request.ContentType = "text/plain";
  request.SetContentLength(3);
  request.CacheControl = "no-cache";
  request.CustomHeaders.SetHeaderValue("X-Custom", "1");
  request.CustomHeaders.SetHeaderValue("User-Agent", "custom");
  request.ContentRangeStart = 10;
  request.ComposeHeaders();
  EXPECT_EQ(request.RawHeaders.Text(),
            "Connection: keep-alive\r\n"
            "Content-Type: text/plain\r\n"
            "Content-Length: 3\r\n"
            "Cache-control: no-cache\r\n"
            "X-Custom: 1\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Qelvu)\r\n"
            "Host: h\r\n"
            "Accept: text/html, */*\r\n"
            "Range: bytes=10-\r\n");
}

TEST(RequestHeadersTest, ClearingResetsDefaultsButKeepsCachingFields) {
  TRequestHeaderInfo request;
  request.Accept = "x";
  request.CacheControl = "no-cache";
  request.Pragma = "no-cache";
  request.SetContentLength(7);
  request.Clear();
  EXPECT_EQ(request.Accept, "text/html, */*");
  EXPECT_EQ(request.UserAgent, "Mozilla/3.0 (compatible; Qelvu)");
  EXPECT_EQ(request.ContentLength(), -1);
  EXPECT_FALSE(request.HasContentLength());
  EXPECT_EQ(request.CacheControl, "no-cache");
  EXPECT_EQ(request.Pragma, "no-cache");
}

TEST(HttpDatesTest, FormatsWithoutConvertingAndReadsLeniently) {
  TDateTime date = EncodeDateTime(1994, 11, 6, 8, 49, 37);
  EXPECT_EQ(FormatHttpGmtDate(date), "Sun, 06 Nov 1994 08:49:37 GMT");
  std::string internet = FormatInternetDate(date);
  EXPECT_EQ(internet.substr(0, 26), "Sun, 6 Nov 1994 08:49:37 +");

  // The same instant in several spellings reads back as one local time.
  TDateTime expected = ParseHeaderDate("Sun, 06 Nov 1994 08:49:37 GMT");
  ASSERT_NE(expected, 0);
  for (const char* text : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                           "Sun, 06 Nov 1994 09:49:37 +0100", "6 Nov 1994 08:49:37"}) {
    SCOPED_TRACE(text);
    EXPECT_DOUBLE_EQ(ParseHeaderDate(text), expected);
  }
  EXPECT_EQ(ParseHeaderDate("not a date"), 0);
  EXPECT_EQ(ParseHeaderDate(""), 0);
  EXPECT_DOUBLE_EQ(ParseHeaderDate(FormatInternetDate(date)), date);
}

}  // namespace
}  // namespace qelvu
