// A scrape killed at any moment of its cache write leaves the old list or the new one, whole.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/channel_scraper.h"
#include "gtest/gtest.h"
#include "reliability/scrape_test_support.h"
#include "support/temp_folder.h"

namespace qelvu::test {
namespace {

class FixedPageSource : public TPageSource {
 public:
  explicit FixedPageSource(const std::string& text) : text_(text) {}
  void GetDocument(const std::string&) override {}
  std::string TakePageText() override { return text_; }

 private:
  const std::string& text_;
};

void Scrape(const std::string& page, const std::string& cache) {
  FixedPageSource source(page);
  TRecordingSink sink;
  ScrapeChannelDirectory(source, "http://h/", cache, sink);
}

// Big enough that a write and its flush take a while, so kills land inside them.
constexpr int kChannels = 20000;
constexpr int kRuns = 200;

// Two directory pages and a cache that holds the list of the second.
class CacheKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Scrape(page_b, cache);
    list_b = ReadFileBytes(cache);
  }

  const std::string page_a = DirectoryPage(kChannels, "a");
  const std::string page_b = DirectoryPage(kChannels, "b");
  test::TTempFolder folder;
  const std::string cache = (folder / "QoviList.dat").string();
  std::string list_b;
};

TEST_F(CacheKillTest, KilledWriterLeavesOldOrNewList) {
  const auto start = std::chrono::steady_clock::now();
  Scrape(page_a, cache);
  const auto one_scrape = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  const std::string list_a = ReadFileBytes(cache);
  ASSERT_NE(list_a, list_b);

  // Kills spread over the child's first few scrapes, wherever this machine's speed puts them.
  std::mt19937 random(11);
  std::uniform_int_distribution<long> delay_us(0, 4 * one_scrape.count() + 1000);
  int seen_a = 0, seen_b = 0;
  for (int run = 0; run < kRuns; ++run) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The writer: the two lists in turn, until killed.
      for (;;) {
        Scrape(page_b, cache);
        Scrape(page_a, cache);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string bytes = ReadFileBytes(cache);
    SCOPED_TRACE("run " + std::to_string(run));
    ASSERT_TRUE(bytes == list_a || bytes == list_b) << bytes.size() << " bytes";
    (bytes == list_a ? seen_a : seen_b)++;
    // A killed writer cannot remove its temporary file: the next start does, as here.
    RemoveUnfinishedReplacements(cache);
  }
  // Both lists turned up, so the kills did land at different points of the writer's cycle.
  EXPECT_GT(seen_a, 0);
  EXPECT_GT(seen_b, 0);
  std::cout << "[ figures  ] " << kRuns << " kills: old list " << seen_a << ", new list " << seen_b
            << "\n";
}

TEST_F(CacheKillTest, FullDiskLeavesTheOldListAndTheProgramRunning) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A disk that fills up half-way through the save: writes past the limit fail with EFBIG
    // (the signal that would otherwise end the process is ignored, as a full disk sends none).
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    Scrape(page_a, cache);
    // Still here, with the failure dropped: the program goes on.
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileBytes(cache), list_b);
  // The failed save took its temporary file with it.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    SCOPED_TRACE(entry.path().string());
    ++files;
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace qelvu::test
