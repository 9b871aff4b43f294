// Cache-start and search figures: LoadCachedList + FillChannelTree of a cache file into the real
// tree, against filling a bare QTreeWidget with the same strings; then SearchChannel of a name
// near the end of the tree. Runs offscreen.
//
// Usage: cache_bench [--links N ...]   (default: 20000 and 200000 lines)
#include <QApplication>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_controller.h"
#include "bench_support.h"
#include "bench_view.h"
#include "channels/channel_list.h"
#include "channels/gbk.h"

namespace qelvu::bench {
namespace {

constexpr int kCategories = 200;

// The cache text decoded once, as a program without GBK bytes to keep would hold it.
struct TDecodedLine {
  QString category;
  QString name;
};

std::vector<TDecodedLine> Decode(const std::string& cache_text) {
  std::vector<TDecodedLine> lines;
  for (std::string_view line : SplitCacheLines(cache_text)) {
    lines.push_back({QString::fromStdString(GbkToUtf8(GetField(line, "|", 1))),
                     QString::fromStdString(GbkToUtf8(GetField(line, "|", 2)))});
  }
  return lines;
}

// The anchor: the plainest fill of a bare tree widget, a new top-level item whenever the
// category changes.
void FillBareTree(QTreeWidget& tree, const std::vector<TDecodedLine>& lines) {
  QTreeWidgetItem* category = nullptr;
  for (const TDecodedLine& line : lines) {
    if (category == nullptr || category->text(0) != line.category) {
      category = new QTreeWidgetItem(&tree, QStringList(line.category));
    }
    new QTreeWidgetItem(category, QStringList(line.name));
  }
}

void CacheStart(int links, int runs) {
  const std::string cache_text = MakeCacheText(kCategories, links);
  const std::filesystem::path cache_file = GetCacheFileName();
  std::filesystem::create_directories(cache_file.parent_path());
  std::ofstream(cache_file, std::ios::binary) << cache_text;
  const std::vector<TDecodedLine> decoded = Decode(cache_text);

  TBenchView view;
  TMainServices services;
  TMain main(view, services, TSiteAddresses{"http://127.0.0.1/", "", "", ""});
  QWidget bare_window;
  bare_window.setFixedSize(780, 455);
  QTreeWidget bare(&bare_window);
  bare.setGeometry(593, 0, 187, 340);
  bare_window.show();
  QCoreApplication::processEvents();

  std::vector<double> ours, anchor;
  for (int run = 0; run < runs; ++run) {
    // Clearing the previous run's tree is not part of either figure.
    view.tv1().Clear();
    QCoreApplication::processEvents();
    double start = Now();
    main.LoadCachedList();
    QCoreApplication::processEvents();
    ours.push_back((Now() - start) * 1000);

    bare.clear();
    QCoreApplication::processEvents();
    start = Now();
    FillBareTree(bare, decoded);
    QCoreApplication::processEvents();
    anchor.push_back((Now() - start) * 1000);
  }
  if (view.tv1().NodeCount() != bare.topLevelItemCount() + links) {
    std::printf("  WARNING: tree holds %d nodes, bare tree %d\n", view.tv1().NodeCount(),
                bare.topLevelItemCount() + links);
  }
  PrintRatio("Cache start " + std::to_string(links) + " lines", Median(ours), Median(anchor), "ms",
             links >= 200000 ? "ratio <= 2 and < 1000 ms" : "ratio <= 2");

  // A name near the end: the second-last channel, so the walk covers almost the whole tree.
  const std::string wanted = ChannelName(links - 2);
  std::vector<double> search;
  for (int run = 0; run < runs; ++run) {
    view.widget()->collapseAll();
    view.widget()->setCurrentIndex(QModelIndex());
    QCoreApplication::processEvents();
    const double start = Now();
    main.SearchChannel(wanted);
    QCoreApplication::processEvents();
    search.push_back((Now() - start) * 1000);
  }
  const TreeNode selected = view.tv1().Selected();
  if (selected == nullptr || view.tv1().NodeText(selected) != wanted) {
    std::printf("  WARNING: the search did not select the channel it looked for\n");
  }
  PrintValue("Search in " + std::to_string(links) + " channels", Median(search), "ms",
             links >= 200000 ? "< 50 ms" : "none");
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  // The figures use a cache and a recently watched list of their own, never the user's.
  char cache_home[] = "/tmp/qelvu-bench-cache-XXXXXX";
  if (::mkdtemp(cache_home) == nullptr) return 1;
  ::setenv("XDG_CACHE_HOME", cache_home, 1);
  ::setenv("XDG_DATA_HOME", cache_home, 1);
  QApplication application(argc, argv);

  std::vector<int> sizes;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--links") == 0) sizes.push_back(std::atoi(argv[i + 1]));
  }
  if (sizes.empty()) sizes = {20000, 200000};
  for (int links : sizes) qelvu::bench::CacheStart(links, qelvu::bench::Runs(5));
  std::filesystem::remove_all(cache_home);
  return 0;
}
