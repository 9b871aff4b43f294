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

// Cookie i of each writer goes to host i % kHosts, so that no host holds more than the store
// keeps for one domain.
constexpr int kHosts = 8;
std::string HostOf(int i) { return "d" + std::to_string(i % kHosts) + ".example.com"; }

TEST(CookieThreadsTest, StoringReadingAndPurgingAtOnceKeepsEveryCookie) {
  constexpr int kWriters = 2;
  constexpr int kCookiesEach = 200;
  static_assert(kWriters * kCookiesEach <= kHosts * TCookieCollection::kMaxCookiesPerDomain);
  TCookieManager manager;
  std::vector<std::thread> threads;
  for (int writer = 0; writer < kWriters; ++writer) {
    threads.emplace_back([&manager, writer] {
      for (int i = 0; i < kCookiesEach; ++i) {
        const std::string name = "w" + std::to_string(writer) + "n" + std::to_string(i);
        manager.AcceptCookie(name + "=v; path=/", HostOf(i));
        // A second value for the same cookie replaces the first.
        manager.AcceptCookie(name + "=x; path=/", HostOf(i));
      }
    });
  }
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([&manager] {
      for (int i = 0; i < kCookiesEach; ++i) {
        manager.CookieHeaderFor(TUri("http://" + HostOf(i) + "/a/b.htm"), false);
        manager.CookieCollection.PurgeExpired();
        manager.CookieCollection.Count();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(manager.CookieCollection.Count(), kWriters * kCookiesEach);
  auto header_of = [&manager](int i) {
    return manager.CookieHeaderFor(TUri("http://" + HostOf(i) + "/"), false);
  };
  EXPECT_NE(header_of(0).find("w0n0=x"), std::string::npos);
  EXPECT_NE(header_of(199).find("w1n199=x"), std::string::npos);
  for (int host = 0; host < kHosts; ++host) {
    EXPECT_EQ(header_of(host).find("=v"), std::string::npos) << HostOf(host);
  }
}

}  // namespace
}  // namespace qelvu::test
