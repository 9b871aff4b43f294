// Many scrapes in one process must not leak descriptors, threads or memory.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "channels/channel_scraper.h"
#include "channels/directory_client.h"
#include "gtest/gtest.h"
#include "reliability/hostile_server.h"
#include "reliability/scrape_test_support.h"
#include "support/temp_folder.h"

namespace qelvu::test {
namespace {

int EntriesIn(const char* folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++count;
  }
  return count;
}

long ResidentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Usage {
  int descriptors;
  int threads;
  long resident_kb;
};

Usage Measure() {
  // The iterator's own descriptor is counted every time, so it cancels out.
  return {EntriesIn("/proc/self/fd"), EntriesIn("/proc/self/task"), ResidentKilobytes()};
}

TEST(ResourceHygieneTest, ThousandScrapesLeakNothing) {
  const std::string page = DirectoryPage(50);
  THostileServer server(
      [&page](int connection, const std::string&, const std::atomic<bool>& stopping) {
        if (!ReadRequestHead(connection, stopping)) return;
        SendAll(connection,
                "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(page.size()) +
                    "\r\nConnection: close\r\n\r\n" + page,
                stopping);
      });
  test::TTempFolder folder;
  const std::string cache = (folder / "QoviList.dat").string();
  auto scrape = [&] {
    THttpPageSource source;
    TRecordingSink sink;
    ScrapeChannelDirectory(source, server.BaseUrl(), cache, sink);
    ASSERT_TRUE(sink.list_saved);
  };
  // Warm-up: the allocator's arenas and the socket layer's first-use state settle first.
  for (int i = 0; i < 50; ++i) scrape();
  const Usage before = Measure();
  for (int i = 0; i < 1000; ++i) scrape();
  const Usage after = Measure();
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.threads, before.threads);
  // A leak of even 1 KB a scrape would show; allocator noise stays well below this.
  if (kPlainAllocator) {
    EXPECT_LT(after.resident_kb - before.resident_kb, 1024) << before.resident_kb << " KB before";
  }
  std::cout << "[ figures  ] 1000 scrapes: descriptors " << before.descriptors << " -> "
            << after.descriptors << ", threads " << before.threads << " -> " << after.threads
            << ", resident " << before.resident_kb << " KB -> " << after.resident_kb << " KB\n";
}

}  // namespace
}  // namespace qelvu::test
