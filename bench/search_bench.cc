// Search-key figures on a large channel list: building the keys (from UTF-8 and from GBK), the
// bytes they take per channel, and the filter's time per keystroke while queries are typed one
// character at a time.
//
// The list mixes the names of the real published playlists in tests/fixtures/playlists, each
// with a few variants, and synthetic Han names (a place made of common characters, a kind of
// channel, sometimes a quality or a number), so it has the digits, Latin words and thousands of
// distinct Han characters a large real list has.
//
// Usage: search_bench [--channels N]   (default 200000)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "channels/channel_list.h"
#include "channels/gbk.h"
#include "channels/playlist.h"
#include "channels/search_index.h"

namespace qelvu::bench {
namespace {

std::vector<std::string> PlaylistNames() {
  std::vector<std::string> names;
  for (const auto& file : std::filesystem::directory_iterator(QELVU_PLAYLIST_FIXTURES)) {
    if (file.path().extension() != ".m3u") continue;
    const std::string path = file.path().string();
    for (const TPlaylistCategory& category : ParsePlaylist(ReadFileBytes(path), FileUrl(path))) {
      for (const TPlaylistEntry& channel : category.channels) names.push_back(channel.name);
    }
  }
  return names;
}

// The 3755 characters of GB2312's first level, the commonest Han characters.
std::vector<std::string> CommonHan() {
  std::vector<std::string> characters;
  for (int lead = 0xB0; lead <= 0xD7; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      if (lead == 0xD7 && trail > 0xF9) break;
      characters.push_back(
          GbkToUtf8(std::string{static_cast<char>(lead), static_cast<char>(trail)}));
    }
  }
  return characters;
}

std::vector<std::string> MakeNames(int count) {
  const std::vector<std::string> real = PlaylistNames();
  const std::vector<std::string> han = CommonHan();
  const char* const kinds[] = {"卫视", "新闻", "综合", "影视", "少儿", "体育", "公共",
                               "经济", "都市", "生活", "频道", "电台", "广播", "文艺"};
  const char* const extras[] = {"", "", "", "高清", "HD", " 4K", "(备用)", "-1", "-2"};
  std::mt19937 random(20240601);
  auto pick = [&](size_t size) { return static_cast<size_t>(random() % size); };
  std::vector<std::string> names;
  names.reserve(count);
  while (static_cast<int>(names.size()) < count) {
    if (!real.empty() && random() % 5 < 2) {
      std::string name = real[pick(real.size())];
      if (random() % 2) name += " " + std::to_string(1 + random() % 20);
      names.push_back(std::move(name));
    } else {
      // Places are drawn mostly from a few hundred characters, as real place names are.
      std::string name;
      const int length = 2 + static_cast<int>(random() % 2);
      for (int i = 0; i < length; ++i) {
        name += han[random() % 4 == 0 ? pick(han.size()) : pick(400)];
      }
      name += kinds[pick(std::size(kinds))];
      name += extras[pick(std::size(extras))];
      names.push_back(std::move(name));
    }
  }
  return names;
}

TSearchIndex BuildUtf8(const std::vector<std::string>& names) {
  TSearchIndexBuilder builder;
  for (const std::string& name : names) builder.AddUtf8(name);
  return builder.Build();
}

TSearchIndex BuildGbk(const std::vector<std::string>& names) {
  TSearchIndexBuilder builder;
  for (const std::string& name : names) builder.AddGbk(name);
  return builder.Build();
}

// The UTF-8 characters of `text`, as one keystroke each.
std::vector<std::string> Keystrokes(const std::string& text) {
  std::vector<std::string> typed;
  for (size_t at = 0; at < text.size();) {
    size_t next = at + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
    typed.push_back(text.substr(0, next));
    at = next;
  }
  return typed;
}

// Wall and CPU milliseconds: on a machine busy with other work the CPU time is the code's own.
struct TTimes {
  std::vector<double> wall, cpu;

  template <class Work>
  void Time(Work&& work) {
    timespec cpu_start;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    const double wall_start = Now();
    work();
    wall.push_back((Now() - wall_start) * 1000);
    timespec cpu_end;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    cpu.push_back((cpu_end.tv_sec - cpu_start.tv_sec) * 1e3 +
                  (cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e6);
  }
  void PrintMedian(const std::string& name, const std::string& target) const {
    std::printf("%s: %.1f ms, CPU %.1f ms (target %s)\n", name.c_str(), Median(wall), Median(cpu),
                target.c_str());
  }
  void PrintSlowest(const std::string& name, const std::string& target) const {
    std::printf("%s: %.1f ms, CPU %.1f ms (target %s)\n", name.c_str(),
                *std::max_element(wall.begin(), wall.end()),
                *std::max_element(cpu.begin(), cpu.end()), target.c_str());
  }
};

void SearchFigures(int count, int runs) {
  const std::vector<std::string> names = MakeNames(count);
  std::vector<std::string> gbk_names;
  gbk_names.reserve(names.size());
  for (const std::string& name : names) gbk_names.push_back(Utf8ToGbk(name));
  const std::string size = std::to_string(count) + " channels";

  // The first build in a process also loads ICU's transliterator.
  std::shared_ptr<const TSearchIndex> index;
  TTimes first, utf8, gbk;
  first.Time([&] { index = std::make_shared<const TSearchIndex>(BuildUtf8(names)); });
  first.PrintMedian("Search keys, first build in the process, " + size, "< 500 ms");
  for (int run = 0; run < runs; ++run) {
    utf8.Time([&] { BuildUtf8(names); });
    gbk.Time([&] { BuildGbk(gbk_names); });
  }
  utf8.PrintMedian("Search keys build, " + size, "< 500 ms");
  gbk.PrintMedian("Search keys build from GBK, " + size, "< 500 ms");
  PrintValue("Search keys memory, " + size, static_cast<double>(index->AllocatedBytes()) / count,
             "bytes per channel", "< 40 bytes per channel");

  const char* const queries[] = {"c",      "cctv5", "hunanweishi", "hnws", "湖南卫视",
                                 "xinwen", "体育",  "zhongguo",    "hd",   "radio"};
  TTimes typed, fresh;
  for (int run = 0; run < runs; ++run) {
    for (const char* query : queries) {
      TSearchFilter filter(index);
      for (const std::string& text : Keystrokes(query)) {
        typed.Time([&] { filter.Update(text); });
        size_t found = 0;
        fresh.Time([&] { found = index->Find(text).size(); });
        if (found != filter.Matches().size()) {
          std::printf("  WARNING: typing \"%s\" found %zu channels, a fresh search %zu\n",
                      text.c_str(), filter.Matches().size(), found);
        }
      }
    }
  }
  typed.PrintSlowest("Search keystroke, slowest, " + size, "< 16 ms");
  typed.PrintMedian("Search keystroke, median, " + size, "< 16 ms");
  fresh.PrintSlowest("Search of a whole query without narrowing, slowest, " + size, "< 16 ms");
  std::fflush(stdout);
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  int count = 200000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--channels") == 0) count = std::atoi(argv[i + 1]);
  }
  qelvu::bench::SearchFigures(count, qelvu::bench::Runs(5));
  return 0;
}
