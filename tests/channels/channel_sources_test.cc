// The user's list of sources and its settings file, and the joining of the sources' lists.
#include "channels/channel_sources.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QSettings>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channels/channel_list.h"
#include "channels/source_list.h"
#include "support/temp_folder.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;

const TChannelSource kDirectory = TChannelSource::Directory();
const TChannelSource kWeb = TChannelSource::Playlist("HTTPS://lists.test/tv.m3u8");
const TChannelSource kFile = TChannelSource::Playlist("/lists/电视 1.m3u");

TEST(SourcesTest, AddRemoveMove) {
  EXPECT_EQ(TSources().Items(), std::vector{kDirectory});
  EXPECT_EQ(kWeb.location, "HTTPS://lists.test/tv.m3u8");  // a URL stays as typed
  EXPECT_EQ(TChannelSource::Playlist("/lists/./x/../电视 1.m3u"), kFile);
  EXPECT_EQ(TChannelSource::Playlist("rel.m3u").location,
            (fs::current_path() / "rel.m3u").string());

  TSources sources;
  EXPECT_TRUE(sources.Add(kWeb));
  EXPECT_TRUE(sources.Add(kFile));
  EXPECT_FALSE(sources.Add(kWeb));
  EXPECT_FALSE(sources.Add(kDirectory));
  EXPECT_EQ(sources.Items(), (std::vector{kDirectory, kWeb, kFile}));
  sources.Move(2, 0);
  EXPECT_EQ(sources.Items(), (std::vector{kFile, kDirectory, kWeb}));
  sources.Move(0, 2);
  EXPECT_EQ(sources.Items(), (std::vector{kDirectory, kWeb, kFile}));
  sources.Move(0, 3);  // out of range: nothing
  sources.Remove(3);
  sources.Remove(0);
  EXPECT_EQ(sources.Items(), (std::vector{kWeb, kFile}));
}

TEST(SourcesTest, SettingsFile) {
  test::TTempFolder folder;
  ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
  const std::string file = GetSettingsFileName();
  EXPECT_EQ(file, (folder / "qelvu/qelvu.conf").string());
  ::setenv("XDG_CONFIG_HOME", "", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(GetSettingsFileName(), "/home/someone/.config/qelvu/qelvu.conf");

  // Without a configuration, or one that names no sources, the directory site alone.
  EXPECT_EQ(TSources::Load(file), TSources());
  fs::create_directories(fs::path(file).parent_path());
  std::ofstream(file) << "[window]\nkept=yes\n";
  EXPECT_EQ(TSources::Load(file), TSources());

  TSources sources;
  sources.Add(kFile);
  sources.Add(kWeb);
  sources.Move(0, 2);
  sources.Save(file);
  EXPECT_EQ(TSources::Load(file), sources);
  EXPECT_EQ(
      QSettings(QString::fromStdString(file), QSettings::IniFormat).value("window/kept").toString(),
      "yes");

  // A list the user emptied stays empty; the directory site does not come back.
  TSources none;
  none.Remove(0);
  none.Save(file);
  EXPECT_TRUE(TSources::Load(file).Items().empty());

  // Entries that make no sense are skipped; the same source is never listed twice.
  std::ofstream(file) << "[sources]\n1\\kind=playlist\n1\\location=/a.m3u\n2\\kind=radio\n"
                         "3\\kind=playlist\n4\\kind=playlist\n4\\location=/a.m3u\nsize=4\n";
  EXPECT_EQ(TSources::Load(file).Items(), std::vector{TChannelSource::Playlist("/a.m3u")});

  // A file where its folder should be.
  std::ofstream(folder / "blocker") << "";
  EXPECT_THROW(sources.Save((folder / "blocker/qelvu.conf").string()), std::runtime_error);
}

TEST(SourceListTest, OptionsField) {
  const struct {
    TChannelOptions options;
    std::string field;
  } cases[] = {
      {{}, ""},
      {{"http://a.test/tv.m3u", {}}, "source=http://a.test/tv.m3u"},
      {{"/电视/a&b=c|d%.m3u", {"Box/1.0 (x)", "http://r.test/?q=1&p=2"}},
       "source=/%E7%94%B5%E8%A7%86/a%26b%3Dc%7Cd%25.m3u&user-agent=Box/1.0%20(x)&referer=http:"
       "//r.test/%3Fq%3D1%26p%3D2"},
      {{"/a.m3u", {"", "http://r.test/"}}, "source=/a.m3u&referer=http://r.test/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(EncodeChannelOptions(c.options), c.field);
    EXPECT_EQ(DecodeChannelOptions(c.field), c.options);
  }
  // Pairs of a later program, and broken ones, do no harm.
  EXPECT_EQ(DecodeChannelOptions("x=1&&junk&source=%2Fa.m3u&user-agent=%zz"),
            (TChannelOptions{"/a.m3u", {"%zz", ""}}));
  EXPECT_TRUE(IsPlaylistOptions("source=/a.m3u"));
  EXPECT_FALSE(IsPlaylistOptions("extra"));
  EXPECT_FALSE(IsPlaylistOptions(""));
}

TEST(SourceListTest, JoiningSources) {
  const auto from = [](const char* source) { return EncodeChannelOptions({source, {}}); };
  const TChannelList directory{
      {"News", {{"N1", "n1", ""}}}, {"Sport", {{"S1", "s1", ""}}}, {"News", {{"N2", "n2", ""}}}};
  const TChannelList a{{"Sport", {{"A1", "http://a/1", from("a")}}},
                       {"Film", {{"A2", "http://a/2", from("a")}}}};
  const TChannelList b{{"Film", {{"B1", "http://b/1", from("b")}}},
                       {"News", {{"B2", "http://b/2", from("b")}}}};
  const TChannelList joined = ComposeList({directory, a, b});
  // A source's own repeated category stays apart; a later source joins the first of a name.
  const TChannelList expected{
      {"News", {{"N1", "n1", ""}, {"B2", "http://b/2", from("b")}}},
      {"Sport", {{"S1", "s1", ""}, {"A1", "http://a/1", from("a")}}},
      {"News", {{"N2", "n2", ""}}},
      {"Film", {{"A2", "http://a/2", from("a")}, {"B1", "http://b/1", from("b")}}},
  };
  EXPECT_EQ(joined, expected);

  EXPECT_EQ(ChannelsOf(joined, ""), directory);
  EXPECT_EQ(ChannelsOf(joined, "a"), a);
  // In the list's order of categories, which joins to the same list again.
  const TChannelList own_b = ChannelsOf(joined, "b");
  EXPECT_EQ(own_b, (TChannelList{{"News", b[1].channels}, {"Film", b[0].channels}}));
  EXPECT_EQ(ComposeList({directory, a, own_b}), joined);
  EXPECT_TRUE(ChannelsOf(joined, "c").empty());

  EXPECT_EQ(ComposeCacheText(ComposeList({directory})),
            "News|N1|n1|\r\nSport|S1|s1|\r\nNews|N2|n2|\r\n");
}

// Each case as "removed | per new category: the kept shown index (or -) and head/tail".
std::string Describe(const TListChange& change) {
  std::string text;
  for (int row : change.removed) text += std::to_string(row) + " ";
  text += "|";
  for (const TCategoryChange& c : change.categories) {
    text += " " + (c.shown < 0 ? std::string("-")
                               : std::to_string(c.shown) + ":" + std::to_string(c.head) + "/" +
                                     std::to_string(c.tail));
  }
  return text;
}

TEST(SourceListTest, DiffListsTouchesOnlyWhatChanged) {
  const TListChannel x{"x", "1", ""}, y{"y", "2", ""}, z{"z", "3", ""}, w{"w", "4", ""};
  const TChannelList shown{{"A", {x, y, z}}, {"B", {y}}, {"A", {w}}};
  const struct {
    const char* name;
    TChannelList list;
    const char* change;
  } cases[] = {
      {"the same", shown, "| 0:3/0 1:1/0 2:1/0"},
      {"a channel added at the end", {shown[0], shown[1], {"A", {w, x}}}, "| 0:3/0 1:1/0 2:1/0"},
      {"a channel changed in the middle",
       {{"A", {x, {"y", "2", "source=a"}, z}}, shown[1], shown[2]},
       "| 0:1/1 1:1/0 2:1/0"},
      {"a channel gone from the start", {{"A", {y, z}}, shown[1], shown[2]}, "| 0:0/2 1:1/0 2:1/0"},
      {"a category added in between",
       {shown[0], {"C", {x}}, shown[1], shown[2]},
       "| 0:3/0 - 1:1/0 2:1/0"},
      {"a category gone", {shown[0], shown[2]}, "1 | 0:3/0 2:1/0"},
      // The second A pairs with the second A shown, not the first.
      {"the repeated name renamed", {shown[0], shown[1], {"D", {w}}}, "2 | 0:3/0 1:1/0 -"},
      // Out of order, one of the two is made anew.
      {"two categories swapped", {shown[1], shown[0], shown[2]}, "1 | - 0:3/0 2:1/0"},
      {"everything new", {{"E", {x}}}, "0 1 2 | -"},
      {"nothing left", {}, "0 1 2 |"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TListChange change = DiffLists(shown, c.list);
    EXPECT_EQ(Describe(change), c.change);
    EXPECT_EQ(change.shown_categories, 3u);
    EXPECT_EQ(change.shown_channels, 5u);
  }
  EXPECT_EQ(Describe(DiffLists({}, shown)), "| - - -");
}

}  // namespace
}  // namespace qelvu
