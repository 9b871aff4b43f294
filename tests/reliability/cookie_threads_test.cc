// One cookie store shared by clients on several threads (run under ThreadSanitizer by
// scripts/check-sanitizers).
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "http/cookies.h"
#include "http/uri.h"

namespace qelvu::test {
namespace {

TEST(CookieThreadsTest, StoringReadingAndPurgingAtOnceKeepsEveryCookie) {
  constexpr int kWriters = 2;
  constexpr int kCookiesEach = 200;
  TCookieManager manager;
  std::vector<std::thread> threads;
  for (int writer = 0; writer < kWriters; ++writer) {
    threads.emplace_back([&manager, writer] {
      for (int i = 0; i < kCookiesEach; ++i) {
        const std::string name = "w" + std::to_string(writer) + "n" + std::to_string(i);
        manager.AcceptCookie(name + "=v; path=/", "www.example.com");
        // A second value for the same cookie replaces the first.
        manager.AcceptCookie(name + "=x; path=/", "www.example.com");
      }
    });
  }
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([&manager] {
      const TUri uri("http://www.example.com/a/b.htm");
      for (int i = 0; i < kCookiesEach; ++i) {
        manager.CookieHeaderFor(uri, false);
        manager.CookieCollection.PurgeExpired();
        manager.CookieCollection.Count();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(manager.CookieCollection.Count(), kWriters * kCookiesEach);
  const std::string header = manager.CookieHeaderFor(TUri("http://www.example.com/"), false);
  EXPECT_NE(header.find("w0n0=x"), std::string::npos);
  EXPECT_NE(header.find("w1n199=x"), std::string::npos);
  EXPECT_EQ(header.find("=v"), std::string::npos);
}

}  // namespace
}  // namespace qelvu::test
