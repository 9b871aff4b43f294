#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "app/main_controller.h"
#include "app/program_services.h"
#include "channels/channel_list.h"
#include "channels/directory_client.h"
#include "channels/refresh_worker.h"
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

  std::unique_ptr<TGetTvList> StartRefresh(const std::string& base_url) {
    return std::make_unique<TGetTvList>(
        context_, std::make_unique<THttpPageSource>(), base_url, cache_.string(),
        [this](const TChannelBatch& batch) { ApplyRefreshedList(batch, view_); });
  }

  test::TTempFolder folder_;
  fs::path cache_ = folder_ / "QoviList.dat";
  test::FakeMainView view_;
  test::RecordingServices services_;
  TMain main_{view_, services_, {}};
  QObject context_;
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
  services.StartRefresh(view_);
  services.StartRefresh(view_);
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

}  // namespace
}  // namespace qelvu
