// Playlist figures: a playlist of N entries read, parsed and applied into the real tree, against
// reading the same file and splitting its lines with a plain loop; and how long the window's
// thread stands still meanwhile: the longest gap between the ticks of a 10 ms timer during the
// apply, and the snapshot of the shown list a refresh takes at its start; and that gap while a
// refresh of a large list is applied over the list shown. Runs offscreen.
//
// Usage: playlist_bench [--entries N] [--channels M]   (defaults: 100000, 200000)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "bench_support.h"
#include "bench_view.h"
#include "channels/channel_sources.h"
#include "channels/directory_client.h"
#include "channels/source_list.h"

namespace qelvu::bench {
namespace {

// A playlist shaped like the published ones: Chinese group titles and names, tvg attributes,
// absolute and relative addresses, now and then request options.
std::string MakePlaylist(int entries) {
  std::string text = "#EXTM3U x-tvg-url=\"http://epg.example/e.xml\"\n";
  for (int i = 0; i < entries; ++i) {
    const std::string n = std::to_string(i);
    text += "#EXTINF:-1 tvg-id=\"ch" + n + "\" tvg-name=\"频道" + n +
            "\" tvg-logo=\"http://logo.example/" + n + ".png\" group-title=\"分组" +
            std::to_string(i % 100) + "\",频道 " + n + " 高清\n";
    if (i % 10 == 0) text += "#EXTVLCOPT:http-user-agent=Box/1.0\n";
    text += i % 2 ? "http://stream" + std::to_string(i % 7) + ".example/live/" + n + ".m3u8\n"
                  : "live/" + n + "/index.m3u8\n";
  }
  return text;
}

// The anchor: the file read and cut into lines, nothing more. The lines are handed back, as the
// measured side keeps its tree: neither side's time includes letting go of what it made.
std::vector<std::string> PlainLines(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));
  return lines;
}

// Applies `result` and runs the event loop until it is in the tree; the heartbeat's longest
// gap in milliseconds goes to `longest_gap`.
void Apply(TBenchView& view, std::shared_ptr<const TRefreshResult> result, double* longest_gap) {
  QObject context;
  TListApply apply(context);
  QTimer heartbeat;
  heartbeat.setInterval(10);
  QElapsedTimer clock;
  double gap = 0;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    gap = std::max(gap, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    clock.restart();
  });
  heartbeat.start();
  clock.start();
  bool done = false;
  apply.Start(view, std::move(result), [&done] { done = true; });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents);
  // The gap that the last slice ended, as the heartbeat would see it next.
  gap = std::max(gap, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  if (longest_gap != nullptr) *longest_gap = gap;
}

void PlaylistFigures(int entries, int runs, const std::string& folder) {
  const std::string file = folder + "/big.m3u8";
  std::ofstream(file, std::ios::binary) << MakePlaylist(entries);
  const TChannelSource source = TChannelSource::Playlist(file);
  TBenchView view;
  QCoreApplication::processEvents();

  std::vector<double> ours, anchor, gaps, snapshots;
  size_t channels = 0;
  for (int run = 0; run < runs; ++run) {
    view.tv1().Clear();
    QCoreApplication::processEvents();
    double start = Now();
    THttpPageSource pages;
    auto result = std::make_shared<TRefreshResult>();
    result->changed = true;
    // As the refresh worker joins its sources.
    std::vector<TChannelList> per_source;
    per_source.push_back(ReadChannelSource(source, {}, pages));
    result->list = ComposeList(std::move(per_source));
    Apply(view, result, nullptr);
    ours.push_back((Now() - start) * 1000);
    channels = static_cast<size_t>(view.tv1().NodeCount());

    {
      start = Now();
      const std::vector<std::string> lines = PlainLines(file);
      anchor.push_back((Now() - start) * 1000);
    }

    // The window's side alone, the list already read: a full apply over a shown list.
    start = Now();
    const TChannelList shown = ListFromTree(view.tv1());
    snapshots.push_back((Now() - start) * 1000);
    double gap = 0;
    Apply(view, result, &gap);
    gaps.push_back(gap);
  }
  if (channels != static_cast<size_t>(entries) + 100) {
    std::printf("  WARNING: the tree holds %zu nodes, %d expected\n", channels, entries + 100);
  }
  const std::string size = std::to_string(entries) + " entries";
  PrintRatio("Playlist of " + size + " into the tree", Median(ours), Median(anchor), "ms",
             "ratio <= 3");
  PrintValue("Longest 10 ms heartbeat gap applying " + size,
             *std::max_element(gaps.begin(), gaps.end()), "ms", "<= 50 ms");
  PrintValue("Snapshot of the shown list of " + size, Median(snapshots), "ms", "<= 50 ms");
}

// A list of `channels` channels in categories of 100, with a mark in every address.
TChannelList MakeList(int channels, const std::string& mark) {
  TChannelList list;
  for (int i = 0; i < channels; ++i) {
    if (i % 100 == 0) list.push_back({"分组" + std::to_string(i / 100), {}});
    list.back().channels.push_back(
        {"频道 " + std::to_string(i), "http://s.example/" + std::to_string(i) + mark, ""});
  }
  return list;
}

std::shared_ptr<TRefreshResult> Refreshed(const TChannelList& shown, TChannelList list) {
  auto result = std::make_shared<TRefreshResult>();
  result->changed = true;
  result->change = DiffLists(shown, list);
  result->list = std::move(list);
  return result;
}

// A refresh of a large list over the same list shown, with a user's view of it to keep: the
// usual one (a channel changed in every tenth category, a few categories gone and new), and one
// where every address changed, so that every channel is replaced.
void RefreshFigures(int channels, int runs) {
  TBenchView view;
  QCoreApplication::processEvents();
  const TChannelList shown = MakeList(channels, "");
  TChannelList usual = shown;
  for (size_t c = 0; c < usual.size(); c += 10) usual[c].channels[50].target += "?moved";
  for (int k = 0; k < 5 && usual.size() > 20; ++k) {
    usual.erase(usual.begin() + static_cast<long>(usual.size() / 2));
    usual.push_back({"新分组" + std::to_string(k), {{"新频道", "http://n.example/", ""}}});
  }
  const TChannelList all_new = MakeList(channels, "?new");
  std::vector<double> usual_gaps, all_gaps;
  for (int run = 0; run < runs; ++run) {
    for (auto* gaps : {&usual_gaps, &all_gaps}) {
      view.tv1().Clear();
      Apply(view, Refreshed({}, shown), nullptr);
      view.widget()->expand(view.widget()->model()->index(3, 0));
      view.tv1().Select(TreeNode::Channel(3, 7));
      double gap = 0;
      Apply(view, Refreshed(shown, gaps == &usual_gaps ? usual : all_new), &gap);
      gaps->push_back(gap);
      if (view.tv1().Selected() != TreeNode::Channel(3, 7)) {
        std::printf("  WARNING: the refresh lost the selection\n");
      }
    }
  }
  const std::string size = std::to_string(channels) + " channels";
  PrintValue("Longest 10 ms heartbeat gap, refresh of " + size + " (a few changed)",
             *std::max_element(usual_gaps.begin(), usual_gaps.end()), "ms", "<= 50 ms");
  PrintValue("Longest 10 ms heartbeat gap, refresh of " + size + " (every one changed)",
             *std::max_element(all_gaps.begin(), all_gaps.end()), "ms", "<= 50 ms");
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  char folder[] = "/tmp/qelvu-bench-playlist-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  QApplication application(argc, argv);
  int entries = 100000;
  int channels = 200000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--entries") == 0) entries = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--channels") == 0) channels = std::atoi(argv[i + 1]);
  }
  qelvu::bench::PlaylistFigures(entries, qelvu::bench::Runs(5), folder);
  qelvu::bench::RefreshFigures(channels, qelvu::bench::Runs(3));
  std::filesystem::remove_all(folder);
  return 0;
}
