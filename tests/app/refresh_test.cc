#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "app/main_controller.h"
#include "app/program_services.h"
#include "channels/channel_list.h"
#include "channels/directory_client.h"
#include "channels/gbk.h"
#include "channels/list_keys.h"
#include "channels/refresh_worker.h"
#include "channels/source_list.h"
#include "fake_main_view.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "test_addresses.h"
#include "test_files.h"

namespace qelvu {
namespace {

using test::G;

namespace fs = std::filesystem;
using test::Answer;
using test::ReadText;
using Lines = std::vector<std::string>;
using test::TLoopbackServer;
using test::TServerScript;

constexpr char kCachedList[] = "Old|Cached|c.htm|\r\nNews|N1|n.htm|\r\n";

// Runs the window's event loop until `done` holds; the bound only keeps a broken build from
// hanging the suite.
template <typename Condition>
void RunEventsUntil(Condition done) {
  for (int i = 0; i < 3000 && !done(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ::usleep(1000);
  }
}

// A window started from the cache: the tree holds the cached list, the panel is hidden.
class RefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(cache_, std::ios::binary) << kCachedList;
    main_.FillChannelTree(kCachedList);
    view_.tree.Select(view_.tree.NodeAt(1));
  }

  // Reads `read` of `sources` again, the directory site at `base_url`, into the tree.
  std::unique_ptr<TGetTvList> StartRefresh(
      const std::string& base_url,
      const std::vector<TChannelSource>& sources = {TChannelSource::Directory()},
      std::optional<std::vector<TChannelSource>> read = std::nullopt) {
    TRefreshJob job{sources, read.value_or(sources), ListFromTree(view_.tree), base_url,
                    cache_.string()};
    return std::make_unique<TGetTvList>(
        context_, std::make_unique<THttpPageSource>(), std::move(job),
        [this](std::shared_ptr<const TRefreshResult> result) {
          apply_.Start(view_, std::move(result), [this] { ++applied_; });
        });
  }

  test::TTempFolder folder_;
  fs::path cache_ = folder_ / "QoviList.dat";
  test::FakeMainView view_;
  test::RecordingServices services_;
  TMain main_{view_, services_, {}};
  QObject context_;
  TListApply apply_{context_};
  int applied_ = 0;
};

const Lines kCachedTree{"[Old]", "Cached=c.htm", "[News]", "N1=n.htm"};

TEST_F(RefreshTest, FreshListReplacesTheTreeOnce) {
  TLoopbackServer server;
  server.AddConnection(Answer("<html>"));
  server.AddConnection(
      Answer("<div class=\"boxtop\" x=\"\">News</div>"
             "<a id=\"1\" href=\"n2.htm\">N2</a>"
             "<div class=\"boxtop\" x=\"\">Sport</div>"
             "<a id=\"2\" href=\"s.htm\">S1</a>"));
  view_.ShowStatusPanel();
  auto refresh = StartRefresh(server.Url("/"));
  RunEventsUntil([&] { return !view_.status_panel_visible; });

  EXPECT_EQ(view_.tree.Dump(), (Lines{"[News]", "N2=n2.htm", "[Sport]", "S1=s.htm"}));
  EXPECT_EQ(ReadText(cache_), "News|N2|n2.htm|\r\nSport|S1|s.htm|\r\n");
  EXPECT_FALSE(view_.status_panel_visible);
  EXPECT_EQ(view_.tree.update_depth, 0);
  EXPECT_TRUE(view_.navigations.empty());  // the page playing in wb1 stays
}

TEST_F(RefreshTest, ProgramServicesRunOneWorkerPerRun) {
  TLoopbackServer server;
  server.AddConnection(Answer("<html>"));
  server.AddConnection(
      Answer("<div class=\"boxtop\" x=\"\">New</div><a id=\"1\" href=\"n\">N</a>"));
  ::setenv("XDG_CACHE_HOME", folder_.path().c_str(), 1);
  TProgramServices services({server.Url("/"), "", "", ""});
  view_.ShowStatusPanel();
  const TRefreshRequest now{{TChannelSource::Directory()}, {TChannelSource::Directory()}, false};
  services.StartRefresh(view_, now);
  services.StartRefresh(view_, now);
  RunEventsUntil([&] { return !view_.status_panel_visible; });

  EXPECT_EQ(view_.tree.Dump(), (Lines{"[New]", "N=n"}));
  EXPECT_EQ(ReadText(GetCacheFileName()), "New|N|n|\r\n");
  EXPECT_EQ(server.AcceptedConnections(), 2);  // the front page and the list, once
}

TEST_F(RefreshTest, UnreachableSiteChangesNothing) {
  std::string base_url;
  {
    TLoopbackServer gone;
    base_url = gone.Url("/");
  }
  auto refresh = StartRefresh(base_url);
  RunEventsUntil([&] { return !refresh->Running(); });
  QCoreApplication::processEvents();

  EXPECT_FALSE(refresh->Running());
  EXPECT_EQ(view_.tree.Dump(), kCachedTree);
  EXPECT_EQ(view_.tree.Selected(), view_.tree.NodeAt(1));
  EXPECT_EQ(ReadText(cache_), kCachedList);
}

TEST_F(RefreshTest, WindowGoingDuringTheDownloadEndsTheWorkerAndKeepsTheTreeAlone) {
  TLoopbackServer silent;
  silent.AddConnection(TServerScript().ReadRequest());  // accepts, reads, never answers
  auto refresh = StartRefresh(silent.Url("/"));
  RunEventsUntil([&] { return silent.Requests().size() == 1; });
  ASSERT_TRUE(refresh->Running());

  refresh->Stop();
  EXPECT_FALSE(refresh->Running());  // the abort cut the blocked read short
  QCoreApplication::processEvents();
  EXPECT_EQ(view_.tree.Dump(), kCachedTree);
  EXPECT_EQ(ReadText(cache_), kCachedList);
}

TEST_F(RefreshTest, WindowGoingDuringTheConnectEndsTheWorkerAtOnce) {
  test::TFullBacklogListener listener;  // the handshake never completes: the 10 s limit runs
  const int others = listener.PendingConnects();
  auto refresh = StartRefresh("http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
  RunEventsUntil([&] { return listener.PendingConnects() > others; });
  ASSERT_GT(listener.PendingConnects(), others);

  const auto start = std::chrono::steady_clock::now();
  refresh->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(refresh->Running());
  QCoreApplication::processEvents();
  EXPECT_EQ(view_.tree.Dump(), kCachedTree);
  EXPECT_EQ(ReadText(cache_), kCachedList);
}

TEST_F(RefreshTest, BatchPostedBeforeStopIsDropped) {
  TLoopbackServer server;
  server.AddConnection(Answer("<div class=\"boxtop\" x=\"\">New</div>"));
  server.AddConnection(Answer("<a id=\"1\" href=\"n.htm\">N</a>"));
  auto refresh = StartRefresh(server.Url("/"));
  // Wait for the worker without running the window's queue, so its batch is still pending.
  while (refresh->Running()) ::usleep(1000);
  refresh->Stop();
  QCoreApplication::processEvents();
  EXPECT_EQ(view_.tree.Dump(), kCachedTree);
  EXPECT_EQ(ReadText(cache_), "New|N|n.htm|\r\n");
}

// A playlist channel's options, as the list records its source.
std::string From(const std::string& source) { return EncodeChannelOptions({source, {}}); }

TServerScript Playlist(const std::string& body) {
  return TServerScript()
      .ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body)
      .Close();
}

TServerScript NotFound() {
  return TServerScript()
      .ReadRequest()
      .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
      .Close();
}

// A refreshed list applied over a tree the user has arranged, the window's logic hearing of it
// as the real window's does.
class KeepStateTest : public RefreshTest {
 protected:
  void SetUp() override {
    RefreshTest::SetUp();
    main_.FillChannelTree(ComposeCacheText(kShown));
    view_.on_list_changing = [this] { main_.ListChanging(); };
    view_.on_list_changed = [this](std::shared_ptr<const TListKeys> keys) {
      main_.ListChanged(std::move(keys));
    };
  }

  void Apply(const TChannelList& list) {
    auto result = std::make_shared<TRefreshResult>();
    result->changed = true;
    result->list = list;
    result->change = DiffLists(ListFromTree(view_.tree), list);
    result->keys = TListKeys::Build(list);
    view_.tree.inserted_channels = view_.tree.removed_channels = 0;
    const int before = applied_;
    apply_.Start(view_, result, [this] { ++applied_; });
    RunEventsUntil([&] { return applied_ > before; });
  }

  void Type(const char* text) {
    view_.edit_text = text;
    main_.edt1Change();
  }

  const TChannelList kShown{{"News", {{"N1", "n1", ""}, {"N2", "n2", ""}}},
                            {"Sport", {{"S1", "s1", ""}, {"S2", "s2", ""}}},
                            {"Film", {{"F1", "f1", ""}}}};
};

TEST_F(KeepStateTest, ARefreshKeepsWhatTheUserSeesAndTouchesOnlyWhatChanged) {
  view_.tree.Expand(TreeNode::Category(1));
  view_.tree.Expand(TreeNode::Category(2));
  view_.tree.Select(TreeNode::Channel(1, 1));
  view_.tree.ScrollToTop(TreeNode::Category(1));
  const int clears = view_.tree.clears;
  Apply({{"Kids", {{"K1", "k1", ""}}},
         {"News", {{"N1", "n1-new", ""}, {"N2", "n2", ""}}},
         kShown[1],
         {"Film", {{"F1", "f1", ""}, {"F2", "f2", ""}}}});

  EXPECT_EQ(view_.tree.Dump(), (Lines{"[Kids]", "K1=k1", "[News]", "N1=n1-new", "N2=n2", "[Sport]",
                                      "S1=s1", "S2=s2", "[Film]", "F1=f1", "F2=f2"}));
  // Kids' one, News' changed first and Film's new last: Sport is left alone.
  EXPECT_EQ(view_.tree.inserted_channels, 3);
  EXPECT_EQ(view_.tree.removed_channels, 1);
  EXPECT_EQ(view_.tree.clears, clears);
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(2, 1));
  EXPECT_EQ(view_.tree.TopNode(), TreeNode::Category(2));
  EXPECT_FALSE(view_.tree.Root(0).expanded);
  EXPECT_FALSE(view_.tree.Root(1).expanded);
  EXPECT_TRUE(view_.tree.Root(2).expanded);
  EXPECT_TRUE(view_.tree.Root(3).expanded);
  EXPECT_TRUE(view_.navigations.empty());
  EXPECT_EQ(view_.tree.update_depth, 0);
  // The search works on the new list.
  main_.SearchChannel("F2");
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(3, 1));
}

TEST_F(KeepStateTest, AMovedCategoryAndARepeatedNameAreFoundAgain) {
  Apply({{"Same", {{"A", "u1", ""}, {"A", "u2", ""}}}, kShown[0]});
  view_.tree.Expand(TreeNode::Category(0));
  view_.tree.Expand(TreeNode::Category(1));
  view_.tree.Select(TreeNode::Channel(0, 1));
  // The two swap, so one of their nodes is made anew; a new first A comes in front.
  Apply({kShown[0], {"Same", {{"A", "u0", ""}, {"A", "u1", ""}, {"A", "u2", ""}}}});

  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(1, 2));  // its address tells it
  EXPECT_TRUE(view_.tree.Root(0).expanded);
  EXPECT_TRUE(view_.tree.Root(1).expanded);
}

TEST_F(KeepStateTest, ASearchOutlastsARefresh) {
  view_.tree.Expand(TreeNode::Category(0));
  view_.tree.Select(TreeNode::Channel(0, 0));
  Type("s");
  main_.edt1KeyPress('\r');
  ASSERT_EQ(view_.tree.Selected(), TreeNode::Channel(1, 0));
  Apply({{"Kids", {{"K1", "k1", ""}}},
         kShown[0],
         {"Sport", {{"S1", "s1", ""}, {"S2", "s2", ""}, {"S3", "s3", ""}}}});

  // The filter is applied to the new list, the match still selected.
  EXPECT_EQ(view_.tree.DumpShown(), (Lines{"[Sport]", "S1", "S2", "S3"}));
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(2, 0));
  // Enter goes on from the match it played, as though no refresh had come.
  main_.edt1KeyPress('\r');
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(2, 1));
  EXPECT_EQ(view_.navigations.back(), "wb1 s2");
  // The box emptied: the tree as it was before the search, in the new list.
  Type("");
  EXPECT_FALSE(view_.tree.Filtered());
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(1, 0));
  EXPECT_TRUE(view_.tree.Root(1).expanded);
  EXPECT_FALSE(view_.tree.Root(2).expanded);
}

// The directory site, a web playlist and a file playlist, with the list they gave last time in
// the tree and the cache.
class SourcesRefreshTest : public RefreshTest {
 protected:
  void SetUp() override {
    web_ = TChannelSource::Playlist(web_server_.Url("/tv.m3u"));
    file_ = TChannelSource::Playlist((folder_ / "local.m3u").string());
    std::ofstream(file_.location) << "#EXTINF:-1 group-title=\"Film\",F2\nhttp://f/2\n";
    const TChannelList shown{
        {"News", {{"N1", "n.htm", ""}, {"W1", "http://w/1", From(web_.location)}}},
        {"Film", {{"F1", "http://f/1", From(file_.location)}}},
    };
    cached_ = ComposeCacheText(shown);
    std::ofstream(cache_, std::ios::binary) << cached_;
    main_.FillChannelTree(cached_);
    view_.tree.Select(view_.tree.NodeAt(2));
  }

  std::vector<TChannelSource> Sources() const { return {TChannelSource::Directory(), web_, file_}; }

  TLoopbackServer site_;
  TLoopbackServer web_server_;
  TChannelSource web_;
  TChannelSource file_;
  std::string cached_;
};

TEST_F(SourcesRefreshTest, AFailingSourceKeepsItsChannelsTheOthersAreReplaced) {
  site_.AddConnection(Answer("<html>"));
  site_.AddConnection(
      Answer("<div class=\"boxtop\" x=\"\">News</div><a id=\"1\" href=\"n2.htm\">"
             "N2</a><div class=\"boxtop\" x=\"\">Sport</div>"
             "<a id=\"2\" href=\"s.htm\">S1</a>"));
  // Playlists are often published behind a redirect.
  web_server_.AddConnection(
      TServerScript()
          .ReadRequest()
          .Send("HTTP/1.1 302 Found\r\nLocation: /lists/tv.m3u\r\nContent-Length: 0\r\n"
                "Connection: close\r\n\r\n")
          .Close());
  web_server_.AddConnection(Playlist("#EXTM3U\n#EXTINF:-1 group-title=\"News\",W2\nw/2.m3u8\n"));
  fs::remove(file_.location);
  auto refresh = StartRefresh(site_.Url("/"), Sources());
  RunEventsUntil([&] { return applied_ == 1; });

  // The web playlist's News joins the directory's; the file's channels stay as they were.
  const std::string w2 = web_server_.Url("/lists/w/2.m3u8");
  EXPECT_EQ(view_.tree.Dump(),
            (Lines{"[News]", "N2=n2.htm", "W2=" + w2 + " " + From(web_.location), "[Sport]",
                   "S1=s.htm", "[Film]", "F1=http://f/1 " + From(file_.location)}));
  EXPECT_EQ(ReadText(cache_), "News|N2|n2.htm|\r\nNews|W2|" + w2 + "|" + From(web_.location) +
                                  "|\r\nSport|S1|s.htm|\r\nFilm|F1|http://f/1|" +
                                  From(file_.location) + "|\r\n");
  EXPECT_EQ(web_server_.AcceptedConnections(), 2);
}

TEST_F(SourcesRefreshTest, EverySourceFailingChangesNothing) {
  site_.AddConnection(NotFound());
  web_server_.AddConnection(Playlist("#EXTM3U\n"));  // no channel: no reason to forget them
  fs::remove(file_.location);
  const Lines before = view_.tree.Dump();
  auto refresh = StartRefresh(site_.Url("/"), Sources());
  RunEventsUntil([&] { return applied_ == 1; });

  EXPECT_EQ(view_.tree.Dump(), before);
  EXPECT_EQ(view_.tree.Selected(), view_.tree.NodeAt(2));
  EXPECT_EQ(ReadText(cache_), cached_);
}

TEST_F(SourcesRefreshTest, ReadingOneSourceLeavesTheOthersAndAGrowingListIsAppended) {
  std::ofstream(file_.location) << "#EXTINF:-1 group-title=\"Film\",F1\nhttp://f/1\n"
                                   "#EXTINF:-1 group-title=\"Live\",直播\n"
                                   "#EXTVLCOPT:http-user-agent=Box/1.0\nlive/1.m3u8\n";
  const int clears = view_.tree.clears;
  auto refresh = StartRefresh(site_.Url("/"), Sources(), std::vector{file_});
  RunEventsUntil([&] { return applied_ == 1; });

  const std::string live = EncodeChannelOptions({file_.location, {"Box/1.0", ""}});
  EXPECT_EQ(view_.tree.Dump(),
            (Lines{"[News]", "N1=n.htm", "W1=http://w/1 " + From(web_.location), "[Film]",
                   "F1=http://f/1 " + From(file_.location), "[Live]",
                   G("直播") + "=" + FileUrl((folder_ / "live/1.m3u8").string()) + " " + live}));
  // Only appended: the selection stays where the user left it.
  EXPECT_EQ(view_.tree.clears, clears);
  EXPECT_EQ(view_.tree.Selected(), view_.tree.NodeAt(2));
  EXPECT_EQ(site_.AcceptedConnections(), 0);
  EXPECT_EQ(web_server_.AcceptedConnections(), 0);
}

// The demo directory scraped at a first start (straight into the tree, the cache written by the
// scraper) and by the refresh (joined from its sources, the cache composed from the list): the
// same bytes, so a user of the directory site alone keeps the cache file as it always was.
TEST_F(RefreshTest, DirectoryAloneWritesTheCacheTheFirstStartScrapeWrites) {
  const std::string front = ReadText(fs::path(QELVU_DEMO_SITE) / "index.html");
  const std::string list = ReadText(fs::path(QELVU_DEMO_SITE) / "list.htm");
  TLoopbackServer server;
  for (int i = 0; i < 2; ++i) {
    server.AddConnection(Answer(front));
    server.AddConnection(Answer(list));
  }
  const fs::path first_start = folder_ / "first-start.dat";
  {
    THttpPageSource pages;
    TTreeScrapeSink sink(view_);
    ScrapeChannelDirectory(pages, server.Url("/"), first_start.string(), sink);
  }
  auto refresh = StartRefresh(server.Url("/"));
  RunEventsUntil([&] { return applied_ == 1; });

  const std::string scraped = ReadText(first_start);
  EXPECT_NE(scraped.find(G("东方卫视")), std::string::npos);
  EXPECT_EQ(ReadText(cache_), scraped);
}

TEST_F(RefreshTest, RequestsThatMayWaitRunAfterTheRunningOneOthersAreDropped) {
  TLoopbackServer server;
  server.AddConnection(Answer("<html>"));
  server.AddConnection(
      Answer("<div class=\"boxtop\" x=\"\">New</div><a id=\"1\" href=\"n\">N</a>"));
  const TChannelSource file = TChannelSource::Playlist((folder_ / "p.m3u").string());
  std::ofstream(file.location) << "http://p/1\n";
  ::setenv("XDG_CACHE_HOME", folder_.path().c_str(), 1);
  TProgramServices services({server.Url("/"), "", "", ""});
  const std::vector<TChannelSource> sources{TChannelSource::Directory(), file};
  services.StartRefresh(view_, {sources, {TChannelSource::Directory()}, true});
  EXPECT_TRUE(services.RefreshRunning());
  services.StartRefresh(view_, {sources, sources, false});  // dropped: one runs
  services.StartRefresh(view_, {sources, {file}, true});    // runs next
  RunEventsUntil([&] { return !services.RefreshRunning(); });

  EXPECT_EQ(view_.tree.Dump(), (Lines{"[New]", "N=n", "[" + G(kUncategorized) + "]",
                                      "http://p/1=http://p/1 " + From(file.location)}));
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

}  // namespace
}  // namespace qelvu
