#include "channels/playlist.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "channels/channel_list.h"

namespace qelvu {
namespace {

using Lines = std::vector<std::string>;

// One line per channel in display order: "category|name|url", then "|user agent|referer" when
// the channel has request options.
Lines Render(const std::vector<TPlaylistCategory>& categories) {
  Lines lines;
  for (const TPlaylistCategory& category : categories) {
    for (const TPlaylistEntry& channel : category.channels) {
      EXPECT_EQ(channel.category, category.name);
      std::string line = category.name + "|" + channel.name + "|" + channel.url;
      if (channel.options != TRequestOptions()) {
        line += "|" + channel.options.user_agent + "|" + channel.options.referer;
      }
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

constexpr char kBase[] = "http://host/lists/tv.m3u";
constexpr char kFffd[] = "\xEF\xBF\xBD";

TEST(PlaylistTest, Rules) {
  const std::string u = kFffd;
  const struct {
    const char* name;
    std::string text;
    Lines channels;
    std::string base = kBase;
  } cases[] = {
      {"header, attributes and title",
       "#EXTM3U x-tvg-url=\"http://epg/\"\n#EXTINF:-1 tvg-id=\"a\" group-title=\"News\",One\n"
       "http://s/1\n",
       {"News|One|http://s/1"}},
      {"CR LF line ends",
       "#EXTM3U\r\n#EXTINF:-1 group-title=\"A\",One\r\nhttp://s/1\r\n#EXTINF:-1,Two\r\nhttp://s/2",
       {"A|One|http://s/1", "未分类|Two|http://s/2"}},
      {"CR line ends",
       "#EXTINF:-1 group-title=\"A\",One\rhttp://s/1\r#EXTINF:-1,Two\rhttp://s/2\r",
       {"A|One|http://s/1", "未分类|Two|http://s/2"}},
      {"byte-order mark and no header",
       "\xEF\xBB\xBF#EXTINF:-1,One\nhttp://s/1\n",
       {"未分类|One|http://s/1"}},
      {"blanks around lines and empty lines",
       "\n  \t#EXTINF:-1 group-title=\"A\" ,  Spaced title \t\n\n   \n\t http://s/1  \n\n",
       {"A|Spaced title|http://s/1"}},
      {"commas inside quoted values",
       "#EXTINF:-1 tvg-logo=\"http://l/a,b.png\" group-title=\"News, World\",Title, with, commas\n"
       "http://s/1\n",
       {"News, World|Title, with, commas|http://s/1"}},
      {"unquoted attributes, the comma ends the last",
       "#EXTINF:-1 tvg-name=Alt group-title=Sport,\nhttp://s/1\n"
       "#EXTINF:0 group-title=Film,Movie\nhttp://s/2\n",
       {"Sport|Alt|http://s/1", "Film|Movie|http://s/2"}},
      {"an unclosed quote leaves no title",
       "#EXTINF:-1 group-title=\"G\" tvg-name=\"Alt, no end,T\nhttp://s/1\n",
       {"G|Alt, no end,T|http://s/1"}},
      {"EXTGRP for the next entry only; group-title wins",
       "#EXTGRP:Music\n#EXTINF:-1,A\nhttp://s/a\n#EXTINF:-1,B\nhttp://s/b\n"
       "#EXTGRP: Kept \n#EXTINF:-1 group-title=\"Own\",C\nhttp://s/c\n#EXTGRP:Bare\nhttp://s/d\n",
       {"Music|A|http://s/a", "未分类|B|http://s/b", "Own|C|http://s/c",
        "Bare|http://s/d|http://s/d"}},
      {"EXTVLCOPT for the next entry only",
       "#EXTINF:-1,A\n#EXTVLCOPT:http-user-agent=Agent/1.0 "
       "(X)\n#EXTVLCOPT:http-referrer=http://r/\n"
       "#EXTVLCOPT:network-caching=1000\nhttp://s/a\n#EXTINF:-1,B\nhttp://s/b\n",
       {"未分类|A|http://s/a|Agent/1.0 (X)|http://r/", "未分类|B|http://s/b"}},
      {"request options after a bar, over EXTVLCOPT",
       "#EXTVLCOPT:http-user-agent=Old\n#EXTVLCOPT:http-referrer=http://old/\n#EXTINF:-1,A\n"
       "http://s/a?x=1|User-Agent=Agent 2&X-Forwarded-For=1.2.3.4&referer=http://r/p?q\n"
       "#EXTINF:-1,B\nrel/b.m3u8 |Cookie=c\n",
       {"未分类|A|http://s/a?x=1|Agent 2|http://r/p?q", "未分类|B|http://host/lists/rel/b.m3u8"}},
      {"relative URLs against an http base",
       "a.m3u8\n../up/b.m3u8\n/root/c\n//other/d\n?only=query\n./e/./f/../g\n",
       {"未分类|http://host/lists/a.m3u8|http://host/lists/a.m3u8",
        "未分类|http://host/up/b.m3u8|http://host/up/b.m3u8",
        "未分类|http://host/root/c|http://host/root/c", "未分类|http://other/d|http://other/d",
        "未分类|http://host/lists/tv.m3u?only=query|http://host/lists/tv.m3u?only=query",
        "未分类|http://host/lists/e/g|http://host/lists/e/g"}},
      {"relative URLs against a file base",
       "#EXTINF:-1,Local\nsub/x.ts\n#EXTINF:-1,Up\n../../y.ts\n",
       {"未分类|Local|file:///home/u/sub/x.ts", "未分类|Up|file:///y.ts"},
       "file:///home/u/list.m3u"},
      {"a placeholder line is a relative URL as written",
       "#EXTINF:-1 group-title=\"Off\",Gone\n[NO PUBLIC STREAM]\n",
       {"Off|Gone|http://host/lists/[NO PUBLIC STREAM]"}},
      {"a URL without EXTINF", "#EXTM3U\nhttp://s/bare\n", {"未分类|http://s/bare|http://s/bare"}},
      {"name: title, then tvg-name, then URL",
       "#EXTINF:-1 tvg-name=\"Alt\",Title\nhttp://s/1\n#EXTINF:-1 tvg-name=\"Alt\",  \nhttp://s/2\n"
       "#EXTINF:-1 tvg-name=\"\",\nhttp://s/3\n#EXTINF:-1\nhttp://s/4\n",
       {"未分类|Title|http://s/1", "未分类|Alt|http://s/2", "未分类|http://s/3|http://s/3",
        "未分类|http://s/4|http://s/4"}},
      {"category: group-title, then EXTGRP, then the default; one value is one category",
       "#EXTGRP:G\n#EXTINF:-1 group-title=\"  \",A\nhttp://s/a\n#EXTINF:-1 group-title=\"\",B\n"
       "http://s/b\n#EXTINF:-1 group-title=\"Animation;Kids\",C\nhttp://s/c\n",
       {"G|A|http://s/a", "未分类|B|http://s/b", "Animation;Kids|C|http://s/c"}},
      {"bars, tabs and line separators in names and categories",
       "#EXTINF:-1 group-title=\"A|B\tC\",N|M\tX\xE2\x80\xA8Y\nhttp://s/1\n",
       {"A｜B C|N｜M X Y|http://s/1"}},
      {"invalid UTF-8 becomes U+FFFD per maximal subpart",
       "#EXTINF:-1,a\xF1\x80\x80\xE1\x80\xC2"
       "b\x80"
       "c\x80\xBF"
       "d\xC0\xAF\xED\xA0\x80\xF4\x90\n"
       "http://s/1\n#EXTINF:-1,end\xE6\x96",
       {"未分类|a" + u + u + u + "b" + u + "c" + u + u + "d" + u + u + u + u + u + u + u +
        "|http://s/1"}},
      {"a truncated sequence at the end of the text",
       "http://s/\xE6\x96",
       {"未分类|http://s/" + u + "|http://s/" + u}},
      {"duplicates kept, categories in order of first appearance",
       "#EXTINF:-1 group-title=\"B\",1\nhttp://s/1\n#EXTINF:-1 group-title=\"A\",2\nhttp://s/2\n"
       "#EXTINF:-1 group-title=\"B\",1\nhttp://s/1\nhttp://s/3\n#EXTINF:-1 group-title=\"A\",4\n"
       "http://s/4\n",
       {"B|1|http://s/1", "B|1|http://s/1", "A|2|http://s/2", "A|4|http://s/4",
        "未分类|http://s/3|http://s/3"}},
      {"an EXTINF without URL gives way to the next; other # lines are comments",
       "#EXTINF:-1 group-title=\"Lost\",Lost\n# a comment\n#EXT-X-VERSION:3\n#EXTINF:-1,Kept\n"
       "http://s/1\n#EXTINF:-1,Trailing\n",
       {"未分类|Kept|http://s/1"}},
      {"nothing but comments", "#EXTM3U\n\n# nothing\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Render(ParsePlaylist(c.text, c.base)), c.channels);
  }
}

TEST(PlaylistTest, ResolveReferenceFollowsRfc3986) {
  const struct {
    const char* reference;
    const char* target;
  } cases[] = {
      // Section 5.4.1, normal examples.
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      // Section 5.4.2, abnormal examples (strict parser).
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http:g"},
      // Text as written: nothing is encoded, and a colon after a non-scheme is a path.
      {"[NO PUBLIC STREAM]", "http://a/b/c/[NO PUBLIC STREAM]"},
      {"频道 1.m3u8", "http://a/b/c/频道 1.m3u8"},
      {"[Off air]: soon", "http://a/b/c/[Off air]: soon"},
      {"http://[2409:8087::e5]:6610/x/../i.m3u8", "http://[2409:8087::e5]:6610/i.m3u8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference);
    EXPECT_EQ(ResolveReference("http://a/b/c/d;p?q", c.reference), c.target);
  }
  // A base with an empty path merges below "/".
  EXPECT_EQ(ResolveReference("http://a", "g"), "http://a/g");
  EXPECT_EQ(ResolveReference("file:///srv/list.m3u", "x.ts"), "file:///srv/x.ts");
}

TEST(PlaylistTest, RepairUtf8KeepsValidTextAndReplacesEachMaximalSubpart) {
  const std::string u = kFffd;
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"plain ASCII", "plain ASCII"},
      {"中文 \xF0\x9F\x93\xBA \xF4\x8F\xBF\xBF", "中文 \xF0\x9F\x93\xBA \xF4\x8F\xBF\xBF"},
      {"\x80", u},                                   // a lone continuation byte
      {"\xC1\xBF", u + u},                           // an overlong lead is not a lead
      {"\xE0\x9F\x80", u + u + u},                   // overlong three-byte form
      {"\xED\xBF\xBF", u + u + u},                   // a surrogate
      {"\xF0\x8F\x80\x80", u + u + u + u},           // overlong four-byte form
      {"\xF4\x90\x80\x80", u + u + u + u},           // above U+10FFFF
      {"\xF5\x80", u + u},                           // never a lead
      {"\xE6\x96x", u + "x"},                        // truncated, then ASCII
      {"\xF0\x9F\x93", u},                           // truncated at the end
      {"\xE6\x96\xE6\x96\x87", u + "\xE6\x96\x87"},  // truncated, then a whole character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(RepairUtf8(c.bytes), c.text);
  }
}

TEST(PlaylistTest, FileUrlEncodesOnlyWhatChangesTheAddress) {
  EXPECT_EQ(FileUrl("/srv/tv lists/频道.m3u"), "file:///srv/tv lists/频道.m3u");
  EXPECT_EQ(FileUrl("/srv/100%/a?b#c.m3u"), "file:///srv/100%25/a%3Fb%23c.m3u");
  EXPECT_EQ(FileUrl("/srv/a\tb"), "file:///srv/a%09b");
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(FileUrl("list.m3u"), "file://" + cwd + "/list.m3u");
  // What the reader makes of it resolves back below the file's folder.
  EXPECT_EQ(ResolveReference(FileUrl("/srv/100%/a.m3u"), "b.ts"), "file:///srv/100%25/b.ts");
}

// The figure is the benchmark's business; here only that a large list comes out whole and in
// order.
TEST(PlaylistTest, LargePlaylistComesOutWhole) {
  std::string text = "#EXTM3U\n";
  constexpr int kEntries = 100000;
  for (int i = 0; i < kEntries; ++i) {
    text += "#EXTINF:-1 tvg-id=\"c" + std::to_string(i) + "\" tvg-logo=\"http://logo/" +
            std::to_string(i) + ".png\" group-title=\"Group " + std::to_string(i % 50) +
            "\",Channel " + std::to_string(i) + "\nhttp://s/" + std::to_string(i) + "/index.m3u8\n";
  }
  const std::vector<TPlaylistCategory> categories = ParsePlaylist(text, kBase);
  ASSERT_EQ(categories.size(), 50u);
  size_t channels = 0;
  for (const TPlaylistCategory& category : categories) channels += category.channels.size();
  EXPECT_EQ(channels, size_t{kEntries});
  EXPECT_EQ(categories[7].channels[3].name, "Channel 157");
}

}  // namespace
}  // namespace qelvu
