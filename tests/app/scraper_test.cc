#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "channels/channel_scraper.h"
#include "channels/directory_client.h"
#include "fake_main_view.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "test_files.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;
using test::Answer;
using test::ReadText;
using Lines = std::vector<std::string>;
using test::TLoopbackServer;
using test::TServerScript;

constexpr char kOldCache[] = "old|kept|x|\r\n";

std::string Header(const std::string& name) {
  return "<div class=\"boxtop\" data-id=\"h\">" + name + "</div>";
}
std::string Link(const std::string& suffix, const std::string& name) {
  return "<a id=\"c\" href=\"" + suffix + "\">" + name + "</a>";
}

// A cache file holding an earlier list, in a folder of its own.
class ScraperTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(cache_, std::ios::binary) << kOldCache; }

  // Scrapes a site whose list page is answered by `list_answer` into a fresh view.
  test::FakeMainView Scrape(const std::string& front, TServerScript list_answer) {
    TLoopbackServer server;
    server.AddConnection(Answer(front));
    server.AddConnection(std::move(list_answer));
    test::FakeMainView view;
    THttpPageSource source;
    TTreeScrapeSink sink(view);
    ScrapeChannelDirectory(source, server.Url("/"), cache_.string(), sink);
    const std::vector<std::string> requests = server.Requests();
    EXPECT_GE(requests.size(), 1u);
    if (requests.size() == 2) {
      EXPECT_EQ(requests[1].rfind("GET /list.htm HTTP/1.1\r\n", 0), 0u);
    }
    return view;
  }

  test::TTempFolder folder_;
  fs::path cache_ = folder_ / "QoviList.dat";
};

TEST_F(ScraperTest, SectionsLinksAndCache) {
  const struct {
    const char* name;
    std::string front;
    std::string list;
    Lines tree;
    std::string cache;  // kOldCache when the cache must stay as it was
  } cases[] = {
      {"categories and links in page order",
       "<html>",
       Header("H1") + Link("tv/1.htm", "L1") + "\r\n" + Link("tv/2.htm", "L2") + Header("H2") +
           Link("tv/3.htm", "L3"),
       {"[H1]", "L1=tv/1.htm", "L2=tv/2.htm", "[H2]", "L3=tv/3.htm"},
       "H1|L1|tv/1.htm|\r\nH1|L2|tv/2.htm|\r\nH2|L3|tv/3.htm|\r\n"},
      {"links before the first header are ignored",
       Link("f", "front"),
       Link("e", "early") + Header("H1") + Link("a", "A"),
       {"[H1]", "A=a"},
       "H1|A|a|\r\n"},
      {"a header right after a header holds no channel",
       "",
       Header("H1") + Header("H2") + Link("a", "A"),
       {"[H1]", "[H2]", "A=a"},
       "H2|A|a|\r\n"},
      {"a link ending just before the next header belongs to the earlier one",
       "",
       Header("H1") + Link("a", "A") + Header("H2"),
       {"[H1]", "A=a", "[H2]"},
       "H1|A|a|\r\n"},
      {"a link ending at the last byte is found",
       "",
       Header("H1") + Link("a", "A"),
       {"[H1]", "A=a"},
       "H1|A|a|\r\n"},
      {"a header in the front page counts",
       Header("H0") + Link("x", "X"),
       Header("H1") + Link("a", "A"),
       {"[H0]", "X=x", "[H1]", "A=a"},
       "H0|X|x|\r\nH1|A|a|\r\n"},
      {"a line break inside a header or a link hides it",
       "",
       "<div class=\"boxtop\" data-id=\"h\">Bro\nken</div>" + Link("a", "A") + Header("H2") +
           Link("b", "li\r\nne") + Link("c", "C"),
       {"[H2]", "C=c"},
       "H2|C|c|\r\n"},
      {"byte 133 inside a name hides the link",
       "",
       Header("H1") + Link("b", "\xb0\x85") + Link("c", "\xb5\xe7\xca\xd3"),
       {"[H1]", "\xb5\xe7\xca\xd3=c"},
       "H1|\xb5\xe7\xca\xd3|c|\r\n"},
      {"headers without links keep the cache",
       "",
       Header("H1") + Header("H2"),
       {"[H1]", "[H2]"},
       kOldCache},
      {"links without headers add nothing", "", Link("a", "A"), {}, kOldCache},
      {"empty pages add nothing", "", "", {}, kOldCache},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(cache_, std::ios::binary) << kOldCache;
    test::FakeMainView view = Scrape(c.front, Answer(c.list));
    EXPECT_EQ(view.tree.Dump(), c.tree);
    EXPECT_EQ(ReadText(cache_), c.cache);
    EXPECT_FALSE(view.status_panel_visible);
  }
}

TEST_F(ScraperTest, FailureOnTheListPageChangesNothing) {
  const std::string front = Header("H0") + Link("x", "X");
  const struct {
    const char* name;
    TServerScript list_answer;
  } cases[] = {
      {"reset after the first page", TServerScript().ReadRequest().Reset()},
      {"closed without an answer", TServerScript().ReadRequest().Close()},
      {"404 on list.htm",
       TServerScript()
           .ReadRequest()
           .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\n"
                 "Not Found")
           .Close()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeMainView view = Scrape(front, c.list_answer);
    EXPECT_EQ(view.tree.NodeCount(), 0);
    EXPECT_EQ(ReadText(cache_), kOldCache);
    EXPECT_FALSE(view.status_panel_visible);
  }
}

TEST_F(ScraperTest, HugeListPage) {
  std::string list = Header("H1");
  const std::string filler = "<p>filler text of a very long directory page</p>\r\n";
  while (list.size() < 20 * 1024 * 1024) list += filler;
  list += Link("a", "A");
  test::FakeMainView view = Scrape("", Answer(list));
  EXPECT_EQ(view.tree.Dump(), (Lines{"[H1]", "A=a"}));
  EXPECT_EQ(ReadText(cache_), "H1|A|a|\r\n");
}

TEST_F(ScraperTest, WindowMessagesRunAfterEveryLinkAndSection) {
  test::FakeMainView view =
      Scrape("", Answer(Header("H1") + Link("a", "A") + Link("b", "B") + Header("H2")));
  EXPECT_EQ(view.pending_processed, 4);  // two links, two sections
}

}  // namespace
}  // namespace qelvu
