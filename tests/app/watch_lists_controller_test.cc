// The favourites and the recently watched in the window's logic: shown above the list and kept
// apart from it, through refreshes, restarts and damaged files, and the channel played at
// start-up.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QObject>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "app/main_controller.h"
#include "channels/channel_list.h"
#include "channels/gbk.h"
#include "channels/source_list.h"
#include "channels/watch_lists.h"
#include "fake_main_view.h"
#include "support/temp_folder.h"
#include "test_addresses.h"

namespace qelvu {
namespace {

using test::G;
using test::kAddresses;

namespace fs = std::filesystem;
using test::FakeMainView;
using test::RecordingServices;
using Lines = std::vector<std::string>;

class WatchListsControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CACHE_HOME", (home_ / "cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
  }

  // The pinned categories of `view`'s tree, in UTF-8.
  static Lines Pinned(const FakeMainView& view) {
    Lines lines;
    for (const std::string& line : view.tree.DumpPinned()) lines.push_back(GbkToUtf8(line));
    return lines;
  }
  // Selects the channel at pre-order `index` of the list and double-clicks it.
  void PlayAt(int index) {
    view_.tree.Select(view_.tree.NodeAt(index));
    main_.tv1DblClick();
  }
  void WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  test::TTempFolder home_;
  FakeMainView view_;
  RecordingServices services_;
  TMain main_{view_, services_, kAddresses};
};

// The search's plays are watched like any other; the filter hides the pinned categories and
// brings them back, as they were, with what it played.
TEST_F(WatchListsControllerTest, SearchPlaysGoIntoTheRecentlyWatched) {
  main_.FormCreate();
  main_.FillChannelTree("A|alpha|a|\r\nA|beta|b|\r\nB|bravo|c|\r\n");
  PlayAt(1);
  view_.tree.Expand(TreeNode::PinnedCategory(0));
  view_.edit_text = "b";
  main_.edt1Change();
  EXPECT_FALSE(view_.tree.IsExpanded(TreeNode::PinnedCategory(0)));  // out of sight
  main_.edt1KeyPress('\r');
  main_.edt1KeyDown(TKey::Down);
  EXPECT_EQ(view_.tree.Selected(), TreeNode::Channel(1, 0));
  main_.SearchChannel("alp");
  view_.edit_text = "";
  main_.edt1Change();
  EXPECT_EQ(Pinned(view_), (Lines{"[最近观看]", "alpha=a", "bravo=c", "beta=b"}));
  EXPECT_TRUE(view_.tree.IsExpanded(TreeNode::PinnedCategory(0)));
  EXPECT_EQ(view_.tree.NodeCount(), 5);  // the list alone
}

TEST_F(WatchListsControllerTest, RecentlyWatchedIsNewestFirstTenAtMost) {
  main_.FormCreate();
  EXPECT_EQ(view_.tree.PinnedCount(), 0);  // nothing watched, nothing shown
  std::string cache;
  for (int i = 1; i <= 12; ++i)
    cache += "A|c" + std::to_string(i) + "|" + std::to_string(i) + "|\r\n";
  main_.FillChannelTree(cache);
  for (int i = 1; i <= 12; ++i) PlayAt(i);
  PlayAt(5);  // watched again: up to the top, nothing repeated

  EXPECT_EQ(Pinned(view_), (Lines{"[最近观看]", "c5=5", "c12=12", "c11=11", "c10=10", "c9=9",
                                  "c8=8", "c7=7", "c6=6", "c4=4", "c3=3"}));
  EXPECT_EQ(TWatchList::Load(GetRecentFileName()).Items(), main_.recent().Items());
  // Played from the pinned category, the channel moves up and stays selected there.
  view_.tree.Select(TreeNode::PinnedChannel(0, 2));
  main_.tv1DblClick();
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/11");
  EXPECT_EQ(view_.tree.Selected(), TreeNode::PinnedChannel(0, 0));
  EXPECT_EQ(Pinned(view_)[1], "c11=11");
}

TEST_F(WatchListsControllerTest, FavouritesFromTheChannelMenu) {
  const std::string options = EncodeChannelOptions({"http://lists.test/tv.m3u", {"Box/1.0", ""}});
  main_.FillChannelTree(G("卫视|湖南卫视|tv/hn.htm|\r\n直播|东方卫视 HD|http://s.test/df.m3u8|") +
                        options + "|\r\n");
  const TreeNode hunan = view_.tree.NodeAt(1);
  const TreeNode stream = view_.tree.NodeAt(3);
  EXPECT_FALSE(main_.IsFavourite(hunan));
  main_.mnuFavouriteClick(stream);
  main_.mnuFavouriteClick(hunan);
  main_.mnuFavouriteClick(view_.tree.NodeAt(0));  // a category: nothing
  EXPECT_TRUE(main_.IsFavourite(hunan));
  EXPECT_TRUE(main_.IsFavourite(TreeNode::PinnedChannel(0, 1)));  // the pinned copy too
  EXPECT_EQ(Pinned(view_),
            (Lines{"[我的收藏]", "东方卫视 HD=http://s.test/df.m3u8", "湖南卫视=tv/hn.htm"}));
  EXPECT_TRUE(view_.navigations.empty());  // adding plays nothing

  // Each item works on the pinned copy as on the list's.
  main_.mnuCopyAddressClick(TreeNode::PinnedChannel(0, 1));
  EXPECT_EQ(view_.clipboard, "http://tv.test/tv/hn.htm");
  main_.mnuCopyAddressClick(stream);
  EXPECT_EQ(view_.clipboard, "http://s.test/df.m3u8");
  main_.mnuOpenInBrowserClick(TreeNode::PinnedChannel(0, 0));
  main_.mnuOpenInBrowserClick(hunan);
  EXPECT_EQ(services_.opened, (Lines{"http://s.test/df.m3u8", "http://tv.test/tv/hn.htm"}));
  main_.mnuPlayClick(TreeNode::PinnedChannel(0, 0));
  EXPECT_EQ(view_.navigations,
            Lines{"stream 我的收藏/东方卫视 HD http://s.test/df.m3u8 ua=Box/1.0 referer="});
  EXPECT_EQ(Pinned(view_),
            (Lines{"[我的收藏]", "东方卫视 HD=http://s.test/df.m3u8", "湖南卫视=tv/hn.htm",
                   "[最近观看]", "东方卫视 HD=http://s.test/df.m3u8"}));

  // "取消收藏" on the pinned copy; the list keeps the channel.
  main_.mnuFavouriteClick(TreeNode::PinnedChannel(0, 1));
  main_.mnuFavouriteClick(stream);
  EXPECT_EQ(Pinned(view_), (Lines{"[最近观看]", "东方卫视 HD=http://s.test/df.m3u8"}));
  EXPECT_TRUE(TWatchList::Load(GetFavouritesFileName()).Empty());
  EXPECT_EQ(view_.tree.NodeCount(), 4);
}

TEST_F(WatchListsControllerTest, WatchListsStayOutOfTheListThroughRefreshAndRestart) {
  main_.FormCreate();
  main_.FillChannelTree(G("卫视|湖南卫视|tv/hn.htm|\r\n卫视|东方卫视|tv/df.htm|\r\n"));
  main_.mnuFavouriteClick(view_.tree.NodeAt(1));
  PlayAt(2);
  const Lines pinned{"[我的收藏]", "湖南卫视=tv/hn.htm", "[最近观看]", "东方卫视=tv/df.htm"};
  ASSERT_EQ(Pinned(view_), pinned);
  // What a refresh starts from and what the cache is written from: the list alone.
  EXPECT_EQ(ComposeCacheText(ListFromTree(view_.tree)),
            G("卫视|湖南卫视|tv/hn.htm|\r\n卫视|东方卫视|tv/df.htm|\r\n"));

  // A refreshed list without 湖南卫视 replaces the list below them.
  auto result = std::make_shared<TRefreshResult>();
  result->changed = true;
  result->list = {{G("地方"), {{G("北京卫视"), "tv/bj.htm", ""}}}};
  QObject context;
  TListApply apply(context);
  apply.Start(view_, result, {});
  EXPECT_EQ(view_.tree.Dump(), (Lines{"[" + G("地方") + "]", G("北京卫视") + "=tv/bj.htm"}));
  EXPECT_EQ(Pinned(view_), pinned);
  EXPECT_EQ(view_.tree.PinnedCount(), 2);

  // The favourite that left the list still plays from where it was stored.
  view_.tree.Select(TreeNode::PinnedChannel(0, 0));
  main_.tv1DblClick();
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/tv/hn.htm");

  // The next run shows them again before any list is there.
  FakeMainView next_view;
  TMain next(next_view, services_, kAddresses);
  next.FormCreate();
  EXPECT_EQ(Pinned(next_view), (Lines{"[我的收藏]", "湖南卫视=tv/hn.htm", "[最近观看]",
                                      "湖南卫视=tv/hn.htm", "东方卫视=tv/df.htm"}));
  EXPECT_EQ(next_view.tree.NodeCount(), 0);
}

TEST_F(WatchListsControllerTest, StartUpPlaysTheChannelWatchedLast) {
  const std::string cache = G("卫视|湖南卫视|tv/hn.htm|\r\n卫视|东方卫视|tv/df.htm|\r\n");
  struct Case {
    const char* what;
    std::string recent;      // the file's text
    std::string favourites;  // the file's text
    std::string played;
    TreeNode selected;
  };
  const Case cases[] = {
      {"in the list", "湖南卫视\ttv/hn.htm\t\n东方卫视\ttv/df.htm\t\n", "",
       "wb1 http://tv.test/tv/hn.htm", TreeNode::Channel(0, 0)},
      {"gone, but a favourite", "凤凰卫视\ttv/fh.htm\t\n湖南卫视\ttv/hn.htm\t\n",
       "湖南卫视\ttv/hn.htm\t\n凤凰卫视\ttv/fh.htm\t\n", "wb1 http://tv.test/tv/fh.htm",
       TreeNode::PinnedChannel(0, 1)},
      {"gone", "凤凰卫视\ttv/fh.htm\t\n湖南卫视\ttv/hn.htm\t\n", "", "wb1 http://tv.test/tv/df.htm",
       TreeNode::Channel(0, 1)},
      {"moved elsewhere: another channel", "湖南卫视\ttv/hn2.htm\t\n", "",
       "wb1 http://tv.test/tv/df.htm", TreeNode::Channel(0, 1)},
      {"nothing watched yet", "", "", "wb1 http://tv.test/tv/df.htm", TreeNode::Channel(0, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(GetCacheFileName(), cache);
    WriteFile(GetRecentFileName(), c.recent);
    WriteFile(GetFavouritesFileName(), c.favourites);
    FakeMainView view;
    TMain main(view, services_, kAddresses);
    main.FormCreate();
    main.FormShow();
    main.tmr1Timer();
    ASSERT_FALSE(view.navigations.empty());
    EXPECT_EQ(view.navigations.back(), c.played);
    EXPECT_EQ(view.tree.Selected(), c.selected);
    EXPECT_TRUE(view.tree.NodeParent(c.selected).IsPinned()
                    ? view.tree.Pinned(0).expanded
                    : view.tree.Root(c.selected.CategoryRow()).expanded);
    EXPECT_EQ(view.focus, "edt1");
  }
}

TEST_F(WatchListsControllerTest, DamagedOrUnwritableFilesNeverStopTheProgram) {
  WriteFile(GetCacheFileName(), G("卫视|东方卫视|tv/df.htm|\r\n"));
  // Half a save, garbage and the wrong encoding: what still reads is kept, the rest is gone.
  WriteFile(GetRecentFileName(), "东方卫视\ttv/df.htm\t\n\x89PNG\r\n\x1a\n湖南卫视\ttv/h");
  WriteFile(GetFavouritesFileName(), G("湖南卫视\ttv/hn.htm\t\n") + "CCTV-1\ttv/1.htm\t\n");
  main_.FormCreate();
  main_.FormShow();
  EXPECT_NO_THROW(main_.tmr1Timer());
  EXPECT_EQ(Pinned(view_),
            (Lines{"[我的收藏]", "CCTV-1=tv/1.htm", "[最近观看]", "东方卫视=tv/df.htm"}));
  EXPECT_EQ(view_.navigations.back(), "wb1 http://tv.test/tv/df.htm");

  // A data folder that cannot be written: the lists still work for this run.
  fs::remove_all(home_ / "data");
  WriteFile((home_ / "data").string(), "a file where the folder should be");
  EXPECT_NO_THROW(main_.mnuFavouriteClick(view_.tree.NodeAt(1)));
  EXPECT_NO_THROW(PlayAt(1));
  EXPECT_EQ(Pinned(view_), (Lines{"[我的收藏]", "CCTV-1=tv/1.htm", "东方卫视=tv/df.htm",
                                  "[最近观看]", "东方卫视=tv/df.htm"}));
}

}  // namespace
}  // namespace qelvu
