// The favourites and the recently watched list: their order and limit, and their files, whole
// or damaged.
#include "channels/watch_lists.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channels/channel_list.h"
#include "channels/gbk.h"
#include "support/temp_folder.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TListChannel Directory(const std::string& name, const std::string& suffix = "tv/x.htm") {
  return {Utf8ToGbk(name), suffix, {}};
}

Names NamesOf(const TWatchList& list) {
  Names names;
  for (const TListChannel& channel : list.Items()) names.push_back(GbkToUtf8(channel.name));
  return names;
}

TEST(WatchListTest, FavouritesKeepTheirOrderAndAreKnownByNameAndTarget) {
  TWatchList favourites;
  EXPECT_TRUE(favourites.Add(Directory("湖南卫视")));
  EXPECT_TRUE(favourites.Add(Directory("CCTV-1")));
  EXPECT_TRUE(favourites.Add(Directory("CCTV-1", "tv/other.htm")));  // same name, other place
  EXPECT_FALSE(favourites.Add(Directory("湖南卫视")));
  const std::string options = EncodeChannelOptions({"/lists/a.m3u", {"UA", ""}});
  EXPECT_TRUE(favourites.Contains({Utf8ToGbk("湖南卫视"), "tv/x.htm", options}));
  EXPECT_EQ(NamesOf(favourites), (Names{"湖南卫视", "CCTV-1", "CCTV-1"}));
  EXPECT_TRUE(favourites.Remove(Directory("CCTV-1")));
  EXPECT_FALSE(favourites.Remove(Directory("CCTV-1")));
  EXPECT_EQ(favourites.Items(),
            (std::vector{Directory("湖南卫视"), Directory("CCTV-1", "tv/other.htm")}));
}

TEST(WatchListTest, RecentIsNewestFirstAndHoldsTen) {
  TWatchList recent(kRecentLength);
  for (int i = 1; i <= 12; ++i) EXPECT_TRUE(recent.PutFirst(Directory("c" + std::to_string(i))));
  EXPECT_EQ(NamesOf(recent),
            (Names{"c12", "c11", "c10", "c9", "c8", "c7", "c6", "c5", "c4", "c3"}));
  EXPECT_FALSE(recent.PutFirst(Directory("c12")));
  EXPECT_TRUE(recent.PutFirst(Directory("c5")));  // watched again: moves up, nothing is lost
  EXPECT_EQ(NamesOf(recent),
            (Names{"c5", "c12", "c11", "c10", "c9", "c8", "c7", "c6", "c4", "c3"}));
  // The same channel with the options its playlist gives now keeps the new ones.
  const TListChannel with_options{"c5", "tv/x.htm", EncodeChannelOptions({"/a.m3u", {}})};
  EXPECT_TRUE(recent.PutFirst(with_options));
  EXPECT_EQ(recent.Items().front(), with_options);
  EXPECT_EQ(recent.Items().size(), kRecentLength);
}

TEST(WatchListTest, FileKeepsEveryFieldAsItWas) {
  test::TTempFolder folder;
  const std::string path = (folder / "data" / "qelvu" / "favourites.txt").string();
  TWatchList favourites;
  favourites.Add(Directory("东方卫视", "tv/dongfang.htm"));
  favourites.Add(
      {Utf8ToGbk("名\t带\\制表\n符"), "http://live.test/a b.m3u8",
       EncodeChannelOptions({"http://lists.test/tv.m3u", {"Kodi/20", "http://r.test/"}})});
  favourites.Add(Directory("空地址", ""));
  favourites.Save(path);

  const std::string text = ReadFileBytes(path);
  EXPECT_EQ(RepairUtf8(text), text);  // UTF-8 for whoever opens it
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "东方卫视\ttv/dongfang.htm\t\n");
  EXPECT_EQ(TWatchList::Load(path).Items(), favourites.Items());
  // A missing file is an empty list; a list longer than the limit is cut to it.
  EXPECT_TRUE(TWatchList::Load((folder / "none.txt").string()).Empty());
  EXPECT_EQ(NamesOf(TWatchList::Load(path, 2)), (Names{"东方卫视", "名\t带\\制表\n符"}));
}

TEST(WatchListTest, DamagedFileGivesTheLinesThatStillRead) {
  const std::string options = EncodeChannelOptions({"/a.m3u", {}});
  struct Case {
    const char* what;
    std::string text;
    Names kept;
  };
  const Case cases[] = {
      {"cut short", "A\ta.htm\t\nB\tb.h", {"A"}},
      {"cut inside an escape", "A\ta.htm\t\nB\\", {"A"}},
      {"garbage", std::string("\x00\xff\xfe\x01\n\t\t\n\x89PNG\r\n", 14), {}},
      {"GBK instead of UTF-8", Utf8ToGbk("湖南卫视\ta.htm\t\n") + "B\tb.htm\t\n", {"B"}},
      {"too few fields", "A\ta.htm\nB\tb.htm\t\n", {"B"}},
      {"empty name", "\ta.htm\t\nB\tb.htm\t\n", {"B"}},
      {"unknown escape", "A\\x\ta.htm\t\nB\tb.htm\t\n", {"B"}},
      {"options no playlist's", "A\ta.htm\tjunk\nB\tb.htm\t" + options + "\n", {"B"}},
      {"repeated", "A\ta.htm\t\nA\ta.htm\t" + options + "\n", {"A"}},
      {"later fields and CR LF", "A\ta.htm\t\tmore\r\nB\tb.htm\t\r\n", {"A", "B"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NamesOf(TWatchList::Parse(c.text)), c.kept);
  }
  // A file that cannot be read at all is an empty list, not an error.
  test::TTempFolder folder;
  fs::create_directories(folder / "favourites.txt");
  EXPECT_TRUE(TWatchList::Load((folder / "favourites.txt").string()).Empty());
}

TEST(WatchListTest, FilesLiveInTheUsersDataFolder) {
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  ::setenv("XDG_DATA_HOME", "/var/data/u", 1);
  EXPECT_EQ(GetFavouritesFileName(), "/var/data/u/qelvu/favourites.txt");
  EXPECT_EQ(GetRecentFileName(), "/var/data/u/qelvu/recent.txt");
  ::setenv("XDG_DATA_HOME", "", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(GetFavouritesFileName(), "/home/u/.local/share/qelvu/favourites.txt");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(GetRecentFileName(), "/home/u/.local/share/qelvu/recent.txt");
  ::setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace qelvu
