// The scraper against servers that stall, drip, flood, lie or loop: each scrape must end in a
// failure within the download limits, keep memory bounded, and leave the cache file as it was.
#include "reliability/hostile_server.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/channel_scraper.h"
#include "channels/directory_client.h"
#include "gtest/gtest.h"
#include "reliability/scrape_test_support.h"
#include "support/temp_folder.h"

namespace qelvu::test {
namespace {

const std::string kPage = DirectoryPage(10);
const std::string kOldCache = "Old|Channel|old.htm|\r\n";

// Sleeps `milliseconds` in short steps; false when the server is stopping.
bool Pause(int milliseconds, const std::atomic<bool>& stopping) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    if (stopping) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return !stopping;
}

void AnswerProperly(int connection, const std::string&, const std::atomic<bool>& stopping) {
  if (!ReadRequestHead(connection, stopping)) return;
  SendAll(connection,
          "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kPage.size()) +
              "\r\nConnection: close\r\n\r\n" + kPage,
          stopping);
}

void OneByteASecond(int connection, const std::string&, const std::atomic<bool>& stopping) {
  if (!ReadRequestHead(connection, stopping)) return;
  const std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + kPage;
  for (size_t i = 0;; i = (i + 1) % answer.size()) {
    if (!SendAll(connection, answer.substr(i, 1), stopping) || !Pause(1000, stopping)) return;
  }
}

void NeverAnswers(int connection, const std::string&, const std::atomic<bool>& stopping) {
  WaitForPeerClose(connection, stopping);
}

void EndlessBody(int connection, const std::string&, const std::atomic<bool>& stopping) {
  if (!ReadRequestHead(connection, stopping)) return;
  if (!SendAll(connection, "HTTP/1.0 200 OK\r\n\r\n" + kPage, stopping)) return;
  const std::string filler(64 * 1024, 'x');
  while (SendAll(connection, filler, stopping)) {
  }
}

void ResetsAfterStatusLine(int connection, const std::string&, const std::atomic<bool>& stopping) {
  if (!ReadRequestHead(connection, stopping)) return;
  SendAll(connection, "HTTP/1.1 200 OK\r\n", stopping);
  ResetConnection(connection);
}

void GigabyteLengthThenClose(int connection, const std::string&,
                             const std::atomic<bool>& stopping) {
  if (!ReadRequestHead(connection, stopping)) return;
  SendAll(connection, "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n" + kPage, stopping);
}

void RedirectsToItself(int connection, const std::string& base_url,
                       const std::atomic<bool>& stopping) {
  while (ReadRequestHead(connection, stopping)) {
    if (!SendAll(connection,
                 "HTTP/1.1 302 Found\r\nLocation: " + base_url + "\r\nContent-Length: 0\r\n\r\n",
                 stopping)) {
      return;
    }
  }
}

struct HostileCase {
  const char* name;
  THostileServer::TBehaviour behaviour;
  bool list_saved;
};

struct Outcome {
  TRecordingSink sink;
  std::string cache_after;
};

long PeakRssKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// All servers at once, so the whole takes about as long as the slowest limit.
TEST(HostileServerTest, EveryScrapeFailsAndKeepsTheCache) {
  const HostileCase cases[] = {
      {"answers properly (control)", AnswerProperly, true},
      {"sends one byte a second", OneByteASecond, false},
      {"never answers after accepting", NeverAnswers, false},
      {"streams an endless body", EndlessBody, false},
      {"resets after the status line", ResetsAfterStatusLine, false},
      {"announces 1 GB and closes", GigabyteLengthThenClose, false},
      {"redirects to itself", RedirectsToItself, false},
  };
  constexpr size_t kCount = std::size(cases);
  test::TTempFolder folder;
  std::vector<Outcome> outcomes(kCount);
  const long rss_before = PeakRssKilobytes();
  {
    std::vector<std::thread> scrapes;
    for (size_t i = 0; i < kCount; ++i) {
      scrapes.emplace_back([&, i] {
        const std::string cache = (folder / ("cache" + std::to_string(i) + ".dat")).string();
        WriteFileReplacing(cache, kOldCache);
        THostileServer server(cases[i].behaviour);
        THttpPageSource source;
        ScrapeChannelDirectory(source, server.BaseUrl(), cache, outcomes[i].sink);
        outcomes[i].cache_after = ReadFileBytes(cache);
      });
    }
    for (std::thread& scrape : scrapes) scrape.join();
  }
  for (size_t i = 0; i < kCount; ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_TRUE(outcomes[i].sink.finished);
    EXPECT_EQ(outcomes[i].sink.list_saved, cases[i].list_saved);
    if (cases[i].list_saved) {
      EXPECT_NE(outcomes[i].cache_after, kOldCache);
    } else {
      EXPECT_EQ(outcomes[i].cache_after, kOldCache);
    }
  }
  // The endless body stops at the page limit and the gigabyte is never reserved.
  const long growth_kb = PeakRssKilobytes() - rss_before;
  if (kPlainAllocator) {
    EXPECT_LT(growth_kb, 400L * 1024);
  }
  std::cout << "[ figures  ] " << kCount - 1 << " hostile servers, peak memory growth "
            << growth_kb / 1024 << " MB\n";
}

}  // namespace
}  // namespace qelvu::test
