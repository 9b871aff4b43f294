// The reader against real published playlists (tests/fixtures/playlists, whose README gives
// each file's entry and group counts). Their addresses are only read, never contacted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "channels/channel_list.h"
#include "channels/playlist.h"

namespace qelvu {
namespace {

const std::filesystem::path kFixtures = QELVU_PLAYLIST_FIXTURES;

// The "Entries" and "Groups" cells of the README's row for `file`.
std::pair<int, int> ReadmeCounts(const std::string& file) {
  const std::string readme = ReadFileBytes((kFixtures / "README.md").string());
  const std::string row_start = "| `" + file + "` |";
  const size_t row = readme.find(row_start);
  if (row == std::string::npos) {
    ADD_FAILURE() << file << " is not in the README";
    return {-1, -1};
  }
  const std::string line = readme.substr(row, readme.find('\n', row) - row);
  // | file | source | entries | groups |
  std::vector<std::string> cells;
  for (size_t at = 1; at < line.size();) {
    const size_t bar = std::min(line.find('|', at), line.size());
    cells.push_back(line.substr(at, bar - at));
    at = bar + 1;
  }
  if (cells.size() < 4) return {-1, -1};
  return {std::stoi(cells[2]), std::stoi(cells[3])};
}

struct TFixtureList {
  std::vector<TPlaylistCategory> categories;
  size_t channels = 0;

  const TPlaylistCategory* Category(const std::string& name) const {
    for (const TPlaylistCategory& category : categories) {
      if (category.name == name) return &category;
    }
    return nullptr;
  }
};

TFixtureList ParseFixture(const std::string& file) {
  const std::filesystem::path path = kFixtures / file;
  TFixtureList list;
  list.categories = ParsePlaylist(ReadFileBytes(path.string()), FileUrl(path.string()));
  for (const TPlaylistCategory& category : list.categories) {
    list.channels += category.channels.size();
  }
  return list;
}

TEST(PlaylistFixturesTest, CountsMatchTheReadme) {
  const struct {
    const char* file;
    // The README counts #EXTINF lines; one followed by another #EXTINF instead of a URL gives
    // no channel.
    int entries_without_url;
  } cases[] = {
      {"fanmingming-live-radio-index.m3u", 3},
      {"fanmingming-live-tv-global.m3u", 0},
      {"fanmingming-live-tv-ipv6.m3u", 0},
      {"iptv-org-cn.m3u", 0},
      {"imDazui-Tvlist-awesome-m3u-m3u8-1300.m3u", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const auto [entries, groups] = ReadmeCounts(c.file);
    const TFixtureList list = ParseFixture(c.file);
    EXPECT_EQ(list.channels, size_t(entries - c.entries_without_url));
    // Entries without a group-title go to the default category, which is no group of the file.
    const bool uncategorized = list.Category(kUncategorized) != nullptr;
    EXPECT_EQ(list.categories.size(), size_t(groups + (uncategorized ? 1 : 0)));
  }
}

TEST(PlaylistFixturesTest, SpotValues) {
  const TFixtureList ipv6 = ParseFixture("fanmingming-live-tv-ipv6.m3u");
  ASSERT_FALSE(ipv6.categories.empty());
  EXPECT_EQ(ipv6.categories[0].name, "央视");
  const TPlaylistEntry& cctv1 = ipv6.categories[0].channels.at(0);
  EXPECT_EQ(cctv1.name, "CCTV-1");
  EXPECT_EQ(cctv1.url,
            "http://[2409:8087:3869:8021:1001::e5]:6610/PLTV/88888910/224/3221225642/index.m3u8");

  const TFixtureList radio = ParseFixture("fanmingming-live-radio-index.m3u");
  ASSERT_NE(radio.Category("网络广播"), nullptr);
  const TPlaylistEntry& hits = radio.Category("网络广播")->channels.at(0);
  EXPECT_EQ(hits.name, "Today’s Hits");
  EXPECT_EQ(hits.url, "http://rfcmedia.streamguys1.com/MusicPulsePremium.mp3");
  // A bar in a title is no separator of the list's own.
  ASSERT_NE(radio.Category("境外广播"), nullptr);
  const auto& abroad = radio.Category("境外广播")->channels;
  EXPECT_NE(std::find_if(abroad.begin(), abroad.end(),
                         [](const TPlaylistEntry& e) { return e.name == "CityFM｜城市广播"; }),
            abroad.end());

  // A stray quote makes a relative reference, resolved below the file's own folder as written.
  const auto& general = radio.Category("综合广播")->channels;
  const std::string quoted = "\"https://satellitepull.cnr.cn/live/wxybwyshgb/playlist.m3u8";
  const auto stray = std::find_if(general.begin(), general.end(), [](const TPlaylistEntry& e) {
    return e.name == "延边文艺生活广播";
  });
  ASSERT_NE(stray, general.end());
  EXPECT_EQ(stray->url, FileUrl((kFixtures / quoted).string()));

  const TFixtureList cn = ParseFixture("iptv-org-cn.m3u");
  ASSERT_EQ(cn.categories.size(), 1u);
  EXPECT_EQ(cn.categories[0].channels.at(0).name, "CCTV-1综合 (1080p)");

  // CR LF line ends, no line end after the last URL.
  const TFixtureList dazui = ParseFixture("imDazui-Tvlist-awesome-m3u-m3u8-1300.m3u");
  ASSERT_FALSE(dazui.categories.empty());
  EXPECT_EQ(dazui.categories[0].name, "50FPS五十帧");
  EXPECT_EQ(dazui.categories[0].channels.at(0).url,
            "http://129.226.107.225/zycfcdn.gdwlcloud.com/PLTV/88888888/224/3221225490/1.m3u8");
  const TPlaylistEntry& last = dazui.categories.back().channels.back();
  EXPECT_EQ(last.url.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qelvu
