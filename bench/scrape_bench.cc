// Scrape figures: ScrapeChannelDirectory of a synthetic GBK directory from a loopback server into
// the real tree, against fetching both pages with curl and running the two patterns with plain
// PCRE2, compiled to machine code as the scraper's are; and the peak memory of one scrape, measured
// in a child process of its own.
//
// Usage: scrape_bench [--links N ...]   (default: 20000 and 200000 links, 200 categories)
//        scrape_bench --memory-child alone|tree BASE_URL PAGE_BYTES LINKS   (the memory figure)
#define PCRE2_CODE_UNIT_WIDTH 8
#include <malloc.h>
#include <pcre2.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/list_view.h"
#include "bench_support.h"
#include "bench_view.h"
#include "channels/channel_scraper.h"
#include "channels/directory_client.h"

namespace qelvu::bench {
namespace {

constexpr int kCategories = 200;

// One compiled pattern with its match data, as a plain PCRE2 user would hold it, compiled to
// machine code (pcre2_match then runs the compiled code) as the scraper's matcher does.
class TPlainPattern {
 public:
  explicit TPlainPattern(const char* pattern) {
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(context, PCRE2_NEWLINE_ANY);
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &error,
                          &offset, context);
    pcre2_compile_context_free(context);
    pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
    data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    // The default 32 KiB stack runs out on these lazy patterns over whole sections.
    jit_stack_ = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
    match_context_ = pcre2_match_context_create(nullptr);
    pcre2_jit_stack_assign(match_context_, nullptr, jit_stack_);
  }
  ~TPlainPattern() {
    pcre2_match_context_free(match_context_);
    pcre2_jit_stack_free(jit_stack_);
    pcre2_match_data_free(data_);
    pcre2_code_free(code_);
  }
  TPlainPattern(const TPlainPattern&) = delete;
  TPlainPattern& operator=(const TPlainPattern&) = delete;

  bool Match(std::string_view text, size_t start) {
    return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), start,
                       PCRE2_NOTEMPTY, data_, match_context_) > 0;
  }
  size_t Start(int group) const { return pcre2_get_ovector_pointer(data_)[2 * group]; }
  size_t End(int group) const { return pcre2_get_ovector_pointer(data_)[2 * group + 1]; }

 private:
  pcre2_code* code_;
  pcre2_match_data* data_;
  pcre2_jit_stack* jit_stack_;
  pcre2_match_context* match_context_;
};

// The anchor: both pages fetched by curl, then a plain PCRE2 loop (JIT-compiled patterns) over
// the headers and the links of each section. Returns the number of links found.
int AnchorScrape(const std::string& base_url) {
  std::string text;
  RunProcess({"curl", "-s", base_url, base_url + "list.htm"}, "", &text);
  TPlainPattern headers(kCategoryPattern);
  TPlainPattern links(kLinkPattern);
  int found_links = 0;
  for (bool found = headers.Match(text, 0); found;) {
    const size_t section_start = headers.End(0);
    found = headers.Match(text, section_start);
    const std::string_view section = std::string_view(text).substr(
        section_start, (found ? headers.Start(0) : text.size()) - section_start);
    for (bool link = links.Match(section, 0); link; link = links.Match(section, links.End(0))) {
      ++found_links;
    }
  }
  return found_links;
}

void ScrapeInto(TBenchView& view, const std::string& base_url, const std::string& cache_file) {
  THttpPageSource source;
  TTreeScrapeSink sink(view);
  ScrapeChannelDirectory(source, base_url, cache_file, sink);
}

void ScrapeTime(int links, int runs, const std::string& cache_file) {
  const TDirectoryPages pages = MakeDirectoryPages(kCategories, links);
  const double page_megabytes = (pages.front.size() + pages.list.size()) / 1048576.0;
  TStaticServer server({{"/", pages.front}, {"/list.htm", pages.list}});
  const std::string base_url = server.Url("/");
  TBenchView view;

  std::vector<double> ours, anchor;
  int anchor_links = 0;
  for (int run = 0; run < runs; ++run) {
    view.tv1().Clear();
    QCoreApplication::processEvents();
    double start = Now();
    ScrapeInto(view, base_url, cache_file);
    ours.push_back((Now() - start) * 1000);

    start = Now();
    anchor_links = AnchorScrape(base_url);
    anchor.push_back((Now() - start) * 1000);
  }
  const int our_links = view.tv1().NodeCount() - view.widget()->model()->rowCount();
  if (our_links != links || anchor_links != links) {
    std::printf("  WARNING: %d links expected, scraper found %d, anchor %d\n", links, our_links,
                anchor_links);
  }
  char name[96];
  std::snprintf(name, sizeof name, "Scrape %d links (%.1f MB)", links, page_megabytes);
  PrintRatio(name, Median(ours), Median(anchor), "ms", "ratio <= 1.2");
}

// A sink that keeps nothing, so that the memory figure shows the scrape's own working set.
class TCountingSink : public TScrapeSink {
 public:
  void AddCategory(std::string_view) override {}
  void AddChannel(std::string_view, std::string_view) override { ++channels_; }
  void Finish(bool) override {}
  int channels() const { return channels_; }

 private:
  int channels_ = 0;
};

// Runs in the parent: serves the pages and measures child processes that scrape once each,
// into a sink that keeps nothing and into the real tree.
void ScrapeMemory(int links, const std::string& self) {
  const TDirectoryPages pages = MakeDirectoryPages(kCategories, links);
  const size_t page_bytes = pages.front.size() + pages.list.size();
  TStaticServer server({{"/", pages.front}, {"/list.htm", pages.list}});
  for (const char* sink : {"alone", "tree"}) {
    std::string report;
    RunProcess({self, "--memory-child", sink, server.Url("/"), std::to_string(page_bytes),
                std::to_string(links)},
               "", &report);
    std::fputs(report.c_str(), stdout);
  }
}

// Runs in the child: one scrape, then the growth of the resident set over its state before.
// With the tree, the heap the tree's items keep afterwards is shown apart.
void MemoryChild(const std::string& sink_kind, const std::string& base_url, double page_bytes,
                 int links, const std::string& cache_file) {
  TBenchView view;
  const int64_t before = ResidentBytes();
  const size_t heap_before = mallinfo2().uordblks;
  int found = 0;
  std::string detail;
  if (sink_kind == "tree") {
    ScrapeInto(view, base_url, cache_file);
    found = view.tv1().NodeCount() - view.widget()->model()->rowCount();
    const double kept = static_cast<double>(mallinfo2().uordblks - heap_before);
    char text[96];
    std::snprintf(text, sizeof text, "; the tree's items keep %.1f MB, ratio %.2f", kept / 1048576,
                  kept / page_bytes);
    detail = text;
  } else {
    THttpPageSource source;
    TCountingSink sink;
    ScrapeChannelDirectory(source, base_url, cache_file, sink);
    found = sink.channels();
  }
  const double growth = static_cast<double>(PeakResidentBytes() - before);
  std::printf(
      "Scrape memory %d links, %s: peak growth %.1f MB over %.1f MB of pages, ratio %.2f "
      "(target < 4)%s%s\n",
      links, sink_kind == "tree" ? "into the real tree" : "scraper alone", growth / 1048576,
      page_bytes / 1048576, growth / page_bytes, detail.c_str(),
      found == links ? "" : "  WARNING: links missing");
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  using namespace qelvu::bench;
  char cache_home[] = "/tmp/qelvu-bench-scrape-XXXXXX";
  if (::mkdtemp(cache_home) == nullptr) return 1;
  const std::string cache_file = std::string(cache_home) + "/QoviList.dat";
  QApplication application(argc, argv);

  if (argc == 6 && std::strcmp(argv[1], "--memory-child") == 0) {
    MemoryChild(argv[2], argv[3], std::atof(argv[4]), std::atoi(argv[5]), cache_file);
  } else {
    std::vector<int> sizes;
    for (int i = 1; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--links") == 0) sizes.push_back(std::atoi(argv[i + 1]));
    }
    if (sizes.empty()) sizes = {20000, 200000};
    for (int links : sizes) ScrapeTime(links, Runs(5), cache_file);
    ScrapeMemory(sizes.back(), "/proc/self/exe");
  }
  std::filesystem::remove_all(cache_home);
  return 0;
}
