// Page bytes cut into category sections and channel links, as a scrape of the directory does.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "channels/channel_scraper.h"

namespace {

// Serves the input as the whole page text (front page plus list page).
class FixedPageSource : public qelvu::TPageSource {
 public:
  explicit FixedPageSource(std::string text) : text_(std::move(text)) {}
  void GetDocument(const std::string&) override {}
  std::string TakePageText() override { return std::move(text_); }

 private:
  std::string text_;
};

class CountingSink : public qelvu::TScrapeSink {
 public:
  void AddCategory(std::string_view) override { ++categories_; }
  void AddChannel(std::string_view, std::string_view) override {
    // A channel always belongs to a category.
    if (categories_ == 0) __builtin_trap();
  }
  void Finish(bool) override {}

 private:
  int categories_ = 0;
};

// One cache folder per process, in memory-backed storage when there is one, gone at exit.
const std::string& CacheFolder() {
  static const std::string folder = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(base) + "/qelvu-fuzz-" + std::to_string(getpid());
  }();
  // Registered after the name exists, so it runs before the name is destroyed.
  static const bool cleanup = std::atexit([] { std::filesystem::remove_all(folder); }) == 0;
  (void)cleanup;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FixedPageSource source(std::string(reinterpret_cast<const char*>(data), size));
  CountingSink sink;
  qelvu::ScrapeChannelDirectory(source, "http://h/", CacheFolder() + "/QoviList.dat", sink);
  return 0;
}
