// What the reliability tests share: a directory page, a sink that records a scrape's end, a
// private temporary folder and whole-file reads.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "app/channel_list.h"
#include "app/channel_scraper.h"

namespace qelvu::test {

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

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempFolder {
 public:
  TTempFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "qelvu-reliab-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = name;
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace qelvu::test
