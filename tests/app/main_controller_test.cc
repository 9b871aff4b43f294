#include "app/main_controller.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "channels/channel_list.h"
#include "channels/gbk.h"
#include "channels/source_list.h"
#include "common/scope_guard.h"
#include "fake_main_view.h"
#include "support/temp_folder.h"
#include "test_addresses.h"

namespace qelvu {
namespace {

using test::G;
using test::kAddresses;

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::FakeMainView;
using test::RecordingServices;
using Lines = std::vector<std::string>;

class MainControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CACHE_HOME", cache_home_.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (cache_home_ / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (cache_home_ / "data").c_str(), 1);
  }

  void WriteCache(const std::string& bytes) {
    fs::create_directories(fs::path(GetCacheFileName()).parent_path());
    std::ofstream(GetCacheFileName(), std::ios::binary) << bytes;
  }

  test::TTempFolder cache_home_;
  FakeMainView view_;
  RecordingServices services_;
  TMain main_{view_, services_, kAddresses};
};

TEST_F(MainControllerTest, FormCreateSetsVersionTextsAndShortcut) {
  view_.channel_pane_width = 585;
  view_.banner_width = 591;
  main_.FormCreate();
  EXPECT_EQ(view_.window_caption, "Qelvu网络电视播放器 V3.2.0.0");
  EXPECT_EQ(view_.status_pane, " 版本3.2.0.0");
  EXPECT_EQ(view_.banner_width, 585);
  EXPECT_TRUE(view_.url_label_visible);
  EXPECT_EQ(services_.shortcuts, Lines{"/opt/qelvu/bin/qelvu Qelvu网络电视播放器 desktop"});

  // Without a version note the caption ends in " V".
  services_.version = "";
  main_.FormCreate();
  EXPECT_EQ(view_.window_caption, "Qelvu网络电视播放器 V");
  EXPECT_EQ(view_.status_pane, " 版本");
}

TEST_F(MainControllerTest, StartRemovesWhatKilledCacheSavesLeft) {
  WriteCache("A|a|a.htm|\r\n");
  const std::string leftover = GetCacheFileName() + ".k1LLed";
  std::ofstream(leftover) << "half a list";
  main_.FormCreate();
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(GetCacheFileName()));
}

TEST_F(MainControllerTest, FormShowStartsTimersAndLoadsNotice) {
  main_.FormShow();
  EXPECT_TRUE(view_.timers[TTimerId::tmr1]);
  EXPECT_TRUE(view_.timers[TTimerId::tmr2]);
  EXPECT_FALSE(view_.timers[TTimerId::GetTvListTimer]);
  EXPECT_EQ(view_.navigations, Lines{"wb2 http://notice.test/tvtq/tq.asp"});
}

TEST_F(MainControllerTest, StartWithCacheFillsTreePlaysDefaultChannelAndArmsRefresh) {
  WriteCache(
      G("央视|CCTV-1|tv/1.htm|\r\n卫视|湖南卫视|tv/hn.htm|\r\n卫视|东方卫视高清|tv/df.htm|"
        "\r\n卫视|东方卫视|tv/df2.htm|\r\n"));
  main_.FormShow();
  main_.tmr1Timer();

  EXPECT_FALSE(view_.timers[TTimerId::tmr1]);
  EXPECT_TRUE(view_.timers[TTimerId::GetTvListTimer]);
  EXPECT_EQ(services_.scrapes, 0);
  EXPECT_EQ(view_.tree.RootCount(), 2);
  // The first channel in tree order whose name holds the default text wins.
  const TreeNode selected = view_.tree.Selected();
  ASSERT_TRUE(selected);
  EXPECT_EQ(view_.tree.NodeText(selected), G("东方卫视高清"));
  EXPECT_TRUE(view_.tree.Root(selected.CategoryRow()).expanded);
  EXPECT_FALSE(view_.tree.Root(0).expanded);
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/tv/df.htm");
  EXPECT_EQ(view_.focus, "edt1");
  EXPECT_FALSE(view_.status_panel_visible);
}

TEST_F(MainControllerTest, StartWithoutCacheScrapesAndArmsNoRefresh) {
  main_.tmr1Timer();
  EXPECT_EQ(services_.scrapes, 1);
  EXPECT_FALSE(view_.timers[TTimerId::GetTvListTimer]);
  EXPECT_TRUE(view_.navigations.empty());  // nothing found, nothing played, no message
  EXPECT_EQ(view_.focus, "edt1");
}

TEST_F(MainControllerTest, EmptyCacheLeavesTreeEmptyAndStillArmsRefresh) {
  WriteCache("");
  main_.tmr1Timer();
  EXPECT_EQ(view_.tree.NodeCount(), 0);
  EXPECT_TRUE(view_.navigations.empty());
  EXPECT_TRUE(view_.timers[TTimerId::GetTvListTimer]);
}

TEST_F(MainControllerTest, UnreadableCacheFailsTheTickAndSkipsTheRest) {
  fs::create_directories(GetCacheFileName());  // exists, but cannot be read as a file
  EXPECT_THROW(main_.tmr1Timer(), std::runtime_error);
  EXPECT_FALSE(view_.timers[TTimerId::tmr1]);
  EXPECT_FALSE(view_.timers[TTimerId::GetTvListTimer]);
  EXPECT_TRUE(view_.focus.empty());
  EXPECT_EQ(view_.tree.NodeCount(), 0);
}

TEST_F(MainControllerTest, FillChannelTreeGrouping) {
  struct Case {
    const char* name;
    std::string text;
    Lines tree;
  } cases[] = {
      {"grouped", "A|x|1|\r\nA|y|2|\r\nB|z|3|\r\n", {"[A]", "x=1", "y=2", "[B]", "z=3"}},
      {"repeated category",
       "A|x|1|\r\nB|y|2|\r\nA|z|3|\r\n",
       {"[A]", "x=1", "[B]", "y=2", "[A]", "z=3"}},
      {"empty category first adds nothing", "|x|1|\r\nA|y|2|\r\n", {"[A]", "y=2"}},
      {"empty line inside", "A|x|1|\r\n\r\nA|y|2|\r\n", {"[A]", "x=1", "[]", "=", "[A]", "y=2"}},
      {"two fields", "A|x\r\n", {"[A]", "x="}},
      {"one field", "A\r\n", {"[A]", "="}},
      {"extra fields ignored", "A|x|1|extra|more|\r\n", {"[A]", "x=1"}},
      {"no final bar", "A|x|1\r\n", {"[A]", "x=1"}},
      {"LF only", "A|x|1|\nB|y|2|\n", {"[A]", "x=1", "[B]", "y=2"}},
      {"CR only", "A|x|1|\rB|y|2|\r", {"[A]", "x=1", "[B]", "y=2"}},
      {"no line end at all", "A|x|1|", {"[A]", "x=1"}},
      {"NUL ends the text", "A|x|1|\r\nB|y|2|\0C|z|3|\r\n"s, {"[A]", "x=1", "[B]", "y=2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    main_.FillChannelTree(c.text);
    EXPECT_EQ(view_.tree.Dump(), c.tree);
  }
}

TEST_F(MainControllerTest, FillShowsLoadingNoticeAndLoadsTwiceWithoutDoubling) {
  const std::string text = "A|x|1|\r\nB|y|2|\r\n";
  main_.FillChannelTree(text);
  main_.FillChannelTree(text);
  EXPECT_EQ(view_.tree.Dump(), (Lines{"[A]", "x=1", "[B]", "y=2"}));
  EXPECT_EQ(view_.status_panel_captions, (Lines{"加载服务器列表中....", "加载服务器列表中...."}));
  EXPECT_FALSE(view_.status_panel_visible);
  EXPECT_EQ(view_.status_panel_repaints, 4);  // after showing and after hiding, each time
  EXPECT_EQ(view_.tree.update_depth, 0);
  EXPECT_GE(view_.pending_processed, 2);
}

TEST_F(MainControllerTest, LoadCachedListSurvivesBadBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    int nodes;
  } cases[] = {
      {"NUL bytes", "A|x|1|\r\n\0\0\0B|y|2|\r\n"s, 2},
      {"binary junk", std::string("\xff\xfe\x00\x85\x01|\x80\r\n", 9) + "A|x|1|", 2},
      {"1 MB line", "A|" + std::string(1 << 20, 'n') + "|s|\r\n", 2},
      {"no line ends", std::string(100000, 'z'), 2},  // one category holding one empty channel
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteCache(c.bytes);
    main_.LoadCachedList();
    EXPECT_EQ(view_.tree.NodeCount(), c.nodes);
  }
}

TEST_F(MainControllerTest, LoadsTwoHundredThousandLines) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) {
    bytes += "cat" + std::to_string(i / 100) + "|ch" + std::to_string(i) + "|s" +
             std::to_string(i) + "|\r\n";
  }
  WriteCache(bytes);
  main_.LoadCachedList();
  EXPECT_EQ(view_.tree.RootCount(), 2000);
  EXPECT_EQ(view_.tree.NodeCount(), 202000);
  main_.SearchChannel("ch199999");
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/s199999");
}

TEST_F(MainControllerTest, SearchChannel) {
  main_.FillChannelTree(G("卫视|湖南卫视|hn|\r\n卫视|东方卫视|df|\r\n地方|东方卫视|df2|\r\n"));
  struct Case {
    std::string text;
    std::string navigation;  // "" when nothing plays
  } cases[] = {
      {G("东方"), "wb1 http://tv.test/df"},  // first in pre-order
      {G("卫视"), "wb1 http://tv.test/hn"},
      {"", ""},                            // empty text never matches
      {G("凤凰"), ""},                     // no match, no message
      {G("卫"), "wb1 http://tv.test/hn"},  // any part of a name
      {"\xCE", ""},                        // half a character is no character at all
      {"dfws", "wb1 http://tv.test/df"},   // pinyin initials
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(GbkToUtf8(c.text));
    view_.navigations.clear();
    view_.tree.focused = false;
    main_.SearchChannel(c.text);
    EXPECT_EQ(view_.navigations.empty() ? "" : view_.navigations.back(), c.navigation);
    EXPECT_EQ(view_.tree.focused, !c.navigation.empty());
  }
}

TEST_F(MainControllerTest, EnterInSearchBoxClicksSearch) {
  main_.FillChannelTree("A|alpha|a|\r\nA|beta|b|\r\n");
  view_.edit_text = "bet";
  main_.edt1KeyPress('x');
  EXPECT_TRUE(view_.navigations.empty());
  main_.edt1KeyPress('\r');
  EXPECT_EQ(view_.navigations, Lines{"wb1 http://tv.test/b"});
  view_.edit_text = "";
  main_.edt1KeyPress('\r');
  EXPECT_EQ(view_.navigations.size(), 1u);
}

// A list with Han names, Latin names in both widths and a category between the matches.
constexpr char kSearchList[] =
    "卫视|湖南卫视|hn|\r\n卫视|东方卫视|df|\r\n央视|CCTV-1|c1|\r\n央视|ＣＣＴＶ-5|c5|\r\n"
    "地方|湖南都市|hnds|\r\n";

class SearchTest : public MainControllerTest {
 protected:
  void SetUp() override {
    MainControllerTest::SetUp();
    main_.FillChannelTree(G(kSearchList));
  }
  void Type(const char* utf8) {
    view_.edit_text = G(utf8);
    main_.edt1Change();
  }
  std::string Played() const { return view_.navigations.empty() ? "" : view_.navigations.back(); }
};

TEST_F(SearchTest, TypingFiltersTheTreeAndClearingBringsItBack) {
  view_.tree.Expand(TreeNode::Category(1));
  view_.tree.Select(TreeNode::Channel(1, 1));
  view_.tree.ScrollToTop(TreeNode::Category(1));
  const struct {
    const char* typed;
    Lines shown;
  } cases[] = {
      {"hunan", {G("[卫视]"), G("湖南卫视"), G("[地方]"), G("湖南都市")}},
      {"hnws", {G("[卫视]"), G("湖南卫视")}},
      {"cctv", {G("[央视]"), "CCTV-1", G("ＣＣＴＶ-5")}},  // case and width folded
      {"ＣＣＴＶ5", {G("[央视]"), G("ＣＣＴＶ-5")}},
      {"凤凰", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Type(c.typed);
    EXPECT_EQ(view_.tree.DumpShown(), c.shown);
    for (int category = 0; category < view_.tree.RootCount(); ++category) {
      EXPECT_EQ(view_.tree.Root(category).expanded,
                std::any_of(c.shown.begin(), c.shown.end(), [&](const std::string& line) {
                  return line == "[" + view_.tree.Root(category).text + "]";
                }));
    }
  }
  EXPECT_TRUE(view_.navigations.empty());  // typing plays nothing

  Type("");
  EXPECT_FALSE(view_.tree.Filtered());
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(1, 1));
  EXPECT_EQ(view_.tree.TopNode(), TreeNode::Category(1));
  EXPECT_FALSE(view_.tree.Root(0).expanded);
  EXPECT_TRUE(view_.tree.Root(1).expanded);
}

TEST_F(SearchTest, EnterAndDownPlayTheMatchesInTurn) {
  Type("hunan");
  main_.edt1KeyPress('\r');
  EXPECT_EQ(Played(), "wb1 http://tv.test/hn");
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(0, 0));
  EXPECT_FALSE(view_.tree.focused);  // the box keeps the focus for the next Enter
  EXPECT_TRUE(main_.edt1KeyDown(TKey::Down));
  EXPECT_EQ(Played(), "wb1 http://tv.test/hnds");
  main_.edt1KeyPress('\r');  // round again
  EXPECT_EQ(Played(), "wb1 http://tv.test/hn");

  // An edit starts over at the first match; nothing matching plays nothing.
  Type("hunands");
  main_.edt1KeyPress('\r');
  EXPECT_EQ(Played(), "wb1 http://tv.test/hnds");
  view_.navigations.clear();
  Type("凤凰");
  main_.edt1KeyPress('\r');
  EXPECT_TRUE(main_.edt1KeyDown(TKey::Down));
  EXPECT_TRUE(view_.navigations.empty());

  // The button plays the box's text even when no edit was reported.
  view_.edit_text = G("东方");
  main_.btn1Click();
  EXPECT_EQ(Played(), "wb1 http://tv.test/df");

  // Escape empties the box, shows the whole tree and goes back to it.
  EXPECT_TRUE(main_.edt1KeyDown(TKey::Escape));
  EXPECT_EQ(view_.edit_text, "");
  EXPECT_FALSE(view_.tree.Filtered());
  EXPECT_TRUE(view_.tree.focused);
  EXPECT_FALSE(main_.edt1KeyDown(TKey::Enter));  // Enter is the key-press handler's
}

TEST_F(SearchTest, EnterInTheTreePlaysTheSelectedChannel) {
  EXPECT_FALSE(main_.tv1KeyDown(TKey::Down));  // the tree's own
  view_.tree.Select(TreeNode::Category(0));
  EXPECT_TRUE(main_.tv1KeyDown(TKey::Enter));
  EXPECT_TRUE(view_.navigations.empty());
  view_.tree.Select(TreeNode::Channel(1, 0));
  EXPECT_TRUE(main_.tv1KeyDown(TKey::Enter));
  EXPECT_EQ(Played(), "wb1 http://tv.test/c1");

  main_.FindShortcut();
  EXPECT_EQ(view_.focus, "edt1");
}

TEST_F(MainControllerTest, DoubleClickPlaysOnlyChannels) {
  main_.FillChannelTree("A|alpha|tv/a.htm|\r\n");
  main_.tv1DblClick();  // nothing selected
  view_.tree.Select(view_.tree.NodeAt(0));
  main_.tv1DblClick();  // a category
  EXPECT_TRUE(view_.navigations.empty());
  view_.tree.Select(view_.tree.NodeAt(1));
  main_.tv1DblClick();
  EXPECT_EQ(view_.navigations, Lines{"wb1 http://tv.test/tv/a.htm"});
}

TEST_F(MainControllerTest, BannerFollowsChannelPane) {
  view_.channel_pane_width = 585;
  view_.banner_width = 585;
  main_.tmr2Timer();
  EXPECT_EQ(view_.banner_repaints, 0);
  view_.channel_pane_width = 772;  // the channel column collapsed
  main_.tmr2Timer();
  EXPECT_EQ(view_.banner_width, 772);
  EXPECT_EQ(view_.banner_repaints, 1);
  view_.channel_pane_width = 700;
  main_.wb1Resize(100, 100);  // the requested size is not used
  EXPECT_EQ(view_.banner_width, 700);
}

TEST_F(MainControllerTest, NoticePopupsAndPromotionLinks) {
  bool cancel = false;
  main_.wb2NewWindow2(cancel);
  EXPECT_TRUE(cancel);
  main_.marquee1Click();
  main_.marquee2Click();
  EXPECT_EQ(services_.opened,
            (Lines{"http://service.test/", "http://service.test/registerForMobile.act"}));
}

TEST_F(MainControllerTest, RefreshTimerSendsOnceAndMessageStartsWorker) {
  view_.EnableTimer(TTimerId::GetTvListTimer);
  main_.GetTvListTimerTimer();
  EXPECT_EQ(view_.get_tv_list_sent, 1);
  EXPECT_FALSE(view_.timers[TTimerId::GetTvListTimer]);
  main_.WmGetTvList();
  EXPECT_EQ(services_.refreshes, 1);
}

TEST_F(MainControllerTest, FormDestroyStopsTheRefreshThenReleasesTheTree) {
  main_.FillChannelTree("A|x|1|\r\n");
  services_.view = &view_;
  main_.FormDestroy();
  EXPECT_EQ(services_.stops, std::vector<int>{2});  // stopped while the tree was still whole
  EXPECT_EQ(view_.tree.NodeCount(), 0);
}

// The sources the settings file holds now.
std::vector<TChannelSource> Saved() { return TSources::Load(GetSettingsFileName()).Items(); }

const TChannelSource kDirectory = TChannelSource::Directory();

TEST_F(MainControllerTest, EmptyTreeShowsTheMenuHint) {
  main_.FormCreate();
  WriteCache("");
  main_.tmr1Timer();
  EXPECT_EQ(view_.tree_hint, kEmptyTreeHint);
  WriteCache("A|x|1|\r\n");
  main_.tmr1Timer();
  EXPECT_EQ(view_.tree_hint, "");
}

TEST_F(MainControllerTest, AddingPlaylistsFromTheMenu) {
  main_.FormCreate();
  const fs::path work = cache_home_ / "work";
  fs::create_directories(work);
  const fs::path before = fs::current_path();
  fs::current_path(work);
  const TScopeGuard back([&before] { fs::current_path(before); });
  const TChannelSource file = TChannelSource::Playlist((work / "tv.m3u").string());
  const TChannelSource web = TChannelSource::Playlist("http://lists.test/tv.m3u8");

  main_.mnuAddPlaylistFileClick();  // cancelled
  view_.dialog_answer = "tv.m3u";   // relative to the working folder
  main_.mnuAddPlaylistFileClick();
  view_.dialog_answer = "  lists.test/tv.m3u8 ";  // typed without its scheme
  main_.mnuAddPlaylistUrlClick();
  view_.dialog_answer = "./tv.m3u";  // the same file again: read, not added
  main_.mnuAddPlaylistFileClick();

  EXPECT_EQ(view_.dialogs, (Lines{"file", "file", "url", "file"}));
  EXPECT_EQ(Saved(), (std::vector{kDirectory, file, web}));
  EXPECT_EQ(services_.requests,
            (std::vector<TRefreshRequest>{{{kDirectory, file}, {file}, true},
                                          {{kDirectory, file, web}, {web}, true},
                                          {{kDirectory, file, web}, {file}, true}}));

  view_.dialog_answer = "ftp://lists.test/tv.m3u";
  EXPECT_THROW(main_.mnuAddPlaylistUrlClick(), std::runtime_error);
  EXPECT_EQ(Saved().size(), 3u);
}

TEST_F(MainControllerTest, SourcesDialogReordersAndRemoves) {
  const TChannelSource a = TChannelSource::Playlist("http://a.test/a.m3u");
  const TChannelSource b = TChannelSource::Playlist("/lists/b.m3u");
  TSources configured;
  configured.Add(a);
  configured.Add(b);
  configured.Save(GetSettingsFileName());
  main_.FormCreate();

  main_.mnuSourcesClick();  // cancelled
  view_.edit_sources = [](TSources&) {};
  main_.mnuSourcesClick();  // accepted unchanged
  EXPECT_TRUE(services_.requests.empty());

  view_.edit_sources = [](TSources& sources) {
    sources.Move(2, 0);
    sources.Remove(1);  // the directory site
  };
  main_.mnuSourcesClick();
  EXPECT_EQ(view_.dialogs, (Lines{"sources http://tv.test/", "sources http://tv.test/",
                                  "sources http://tv.test/"}));
  EXPECT_EQ(Saved(), (std::vector{b, a}));
  // Nothing to read: the list is joined again in the new order, without the directory's.
  EXPECT_EQ(services_.requests, (std::vector<TRefreshRequest>{{{b, a}, {}, true}}));
}

TEST_F(MainControllerTest, RefreshNowReadsEverySourceUnlessOneRuns) {
  main_.FormCreate();
  services_.refresh_running = true;
  main_.mnuRefreshNowClick();
  EXPECT_TRUE(services_.requests.empty());
  services_.refresh_running = false;
  main_.mnuRefreshNowClick();
  main_.WmGetTvList();  // the timed refresh may wait for a running one
  EXPECT_EQ(services_.requests, (std::vector<TRefreshRequest>{{{kDirectory}, {kDirectory}, false},
                                                              {{kDirectory}, {kDirectory}, true}}));
  // F5 is the same request, and the same nothing while one runs.
  services_.requests.clear();
  services_.refresh_running = true;
  main_.RefreshShortcut();
  EXPECT_TRUE(services_.requests.empty());
  services_.refresh_running = false;
  main_.RefreshShortcut();
  EXPECT_EQ(services_.requests,
            (std::vector<TRefreshRequest>{{{kDirectory}, {kDirectory}, false}}));
}

TEST_F(MainControllerTest, StartupReadsPlaylistsOnTheWorker) {
  const TChannelSource listed = TChannelSource::Playlist("/lists/listed.m3u");
  TSources configured;
  configured.Add(listed);
  configured.Save(GetSettingsFileName());
  const TChannelSource given = TChannelSource::Playlist("http://lists.test/given.m3u");
  const struct {
    const char* name;
    bool cached;
    std::vector<TChannelSource> read;
  } cases[] = {
      // A first start scrapes the directory here and reads every playlist on the worker.
      {"first start", false, {given, listed}},
      // From the cache, only what the command line named is read at once.
      {"start from the cache", true, {given}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(cache_home_ / "qelvu");
    if (c.cached) WriteCache("A|x|1|\r\n");
    RecordingServices services;
    FakeMainView view;
    TMain main(view, services, kAddresses);
    main.FormCreate();
    main.AddStartupPlaylists({"http://lists.test/given.m3u", "http://lists.test/given.m3u"});
    main.tmr1Timer();
    EXPECT_EQ(services.scrapes, c.cached ? 0 : 1);
    EXPECT_EQ(services.requests,
              (std::vector<TRefreshRequest>{{{kDirectory, listed, given}, c.read, true}}));
    EXPECT_EQ(Saved(), (std::vector{kDirectory, listed, given}));
  }
}

TEST_F(MainControllerTest, HandedPlaylistsAreReadAtOnceOrWithTheFirstTick) {
  const TChannelSource early = TChannelSource::Playlist("http://lists.test/early.m3u");
  const TChannelSource late = TChannelSource::Playlist("/lists/late.m3u");
  WriteCache("A|x|1|\r\n");
  main_.FormCreate();
  main_.AddHandedPlaylists({"http://lists.test/early.m3u"});
  EXPECT_TRUE(services_.requests.empty());  // the first tick reads it with the startup reads
  main_.tmr1Timer();
  main_.AddHandedPlaylists({"/lists/late.m3u", "/lists/late.m3u"});
  main_.AddHandedPlaylists({"/lists/late.m3u"});  // given again: read again, not added
  main_.AddHandedPlaylists({});
  EXPECT_EQ(services_.requests,
            (std::vector<TRefreshRequest>{{{kDirectory, early}, {early}, true},
                                          {{kDirectory, early, late}, {late}, true},
                                          {{kDirectory, early, late}, {late}, true}}));
  EXPECT_EQ(Saved(), (std::vector{kDirectory, early, late}));
}

TEST_F(MainControllerTest, WithoutTheDirectoryAFirstStartScrapesNothing) {
  TSources none;
  none.Remove(0);
  none.Save(GetSettingsFileName());
  main_.FormCreate();
  main_.tmr1Timer();
  EXPECT_EQ(services_.scrapes, 0);
  EXPECT_TRUE(services_.requests.empty());
  EXPECT_FALSE(view_.status_panel_visible);
  EXPECT_EQ(view_.tree_hint, kEmptyTreeHint);
}

TEST_F(MainControllerTest, PlaylistChannelsPlayAsStreams) {
  const std::string options =
      EncodeChannelOptions({"http://lists.test/tv.m3u", {"Box/1.0", "http://ref.test/"}});
  main_.FillChannelTree(G("卫视|东方卫视|tv/df.htm|\r\n直播|东方卫视 HD|http://s.test/df.m3u8|") +
                        options + "|\r\n");
  view_.tree.Select(view_.tree.NodeAt(3));
  main_.tv1DblClick();
  main_.SearchChannel(G("卫视 HD"));
  EXPECT_EQ(view_.navigations, (Lines{"stream 直播/东方卫视 HD http://s.test/df.m3u8 ua=Box/1.0 "
                                      "referer=http://ref.test/",
                                      "stream 直播/东方卫视 HD http://s.test/df.m3u8 ua=Box/1.0 "
                                      "referer=http://ref.test/"}));
  main_.SearchChannel(G("东方卫视"));
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/tv/df.htm");
}

// A playlist channel through the cache file and back: GB18030 keeps every name, the options
// keep the source and the request options, and a reader of three fields still finds its
// category, name and address.
TEST_F(MainControllerTest, PlaylistChannelsSurviveTheCache) {
  const std::string m3u =
      "#EXTINF:-1 group-title=\"한국 방송\",KBS 1TV 📺\n"
      "#EXTVLCOPT:http-referrer=http://ref.test/?a=1&b=2 c\n"
      "http://s.test/kbs|User-Agent=Box/1.0 (Linux; 한)\n"
      "#EXTINF:-1,Ελληνικά\nrel/εrt.m3u8\n";
  const std::string source = "http://lists.test/dir/tv.m3u";
  const TChannelList list = PlaylistChannels(m3u, source, source);
  const std::string text = ComposeCacheText(list);
  WriteCache(text);
  main_.LoadCachedList();
  EXPECT_EQ(ListFromTree(view_.tree), list);
  EXPECT_EQ(GbkToUtf8(view_.tree.NodeText(view_.tree.NodeAt(1))), "KBS 1TV 📺");

  const std::vector<std::string_view> lines = SplitCacheLines(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(GbkToUtf8(GetField(lines[0], "|", 1)), "한국 방송");
  EXPECT_EQ(GetField(lines[0], "|", 3), "http://s.test/kbs");
  EXPECT_EQ(DecodeChannelOptions(GetField(lines[0], "|", 4)),
            (TChannelOptions{"http://lists.test/dir/tv.m3u",
                             {"Box/1.0 (Linux; 한)", "http://ref.test/?a=1&b=2 c"}}));
  EXPECT_EQ(GbkToUtf8(GetField(lines[1], "|", 3)), "http://lists.test/dir/rel/εrt.m3u8");
}

TEST(SiteAddressesTest, ServiceHostAndRegistrationPage) {
  EXPECT_EQ(kAddresses.ServiceSiteHost(), "service.test");
  EXPECT_EQ(kAddresses.RegistrationPageUrl(), "http://service.test/registerForMobile.act");
  ::setenv("QELVU_DIRECTORY_URL", "http://127.0.0.1:8000/", 1);
  ::unsetenv("QELVU_NOTICE_URL");
  const TSiteAddresses from_env = TSiteAddresses::FromEnvironment();
  EXPECT_EQ(from_env.DirectoryBaseUrl, "http://127.0.0.1:8000/");
  EXPECT_EQ(from_env.NoticePageUrl, "http://weather.qelvu.example/tvtq/tq.asp");
  ::unsetenv("QELVU_DIRECTORY_URL");
}

}  // namespace
}  // namespace qelvu
