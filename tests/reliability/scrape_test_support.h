// What the reliability tests share: a directory page and a sink that records a scrape's end.
#pragma once

#include <string>
#include <string_view>

#include "channels/channel_scraper.h"

namespace qelvu::test {

// Memory figures are fair only with the plain allocator: AddressSanitizer's quarantine keeps
// freed blocks (and its leak checker covers that build instead).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPlainAllocator = false;
#else
inline constexpr bool kPlainAllocator = true;
#endif

// A directory page with `channels` channels in two categories.
inline std::string DirectoryPage(int channels, std::string_view tag = "c") {
  std::string page = "<html><div class=\"boxtop\" id=\"1\">News</div>";
  for (int i = 0; i < channels; ++i) {
    if (i == channels / 2) page += "<div class=\"boxtop\" id=\"2\">Sport</div>";
    const std::string name = std::string(tag) + std::to_string(i);
    page += "<a id=" + std::to_string(i) + " href=\"" + name + ".htm\">" + name + "</a>\n";
  }
  return page + "</html>";
}

class TRecordingSink : public TScrapeSink {
 public:
  void AddCategory(std::string_view) override {}
  void AddChannel(std::string_view, std::string_view) override { ++channels; }
  void Finish(bool saved) override {
    finished = true;
    list_saved = saved;
  }

  int channels = 0;
  bool finished = false;
  bool list_saved = false;
};

}  // namespace qelvu::test
