// qelvu-list SOURCE...: prints the channel list the program builds from its sources, one
// channel a line, "category<TAB>name<TAB>URL" in UTF-8. Categories come in the order in which
// each first appears across the sources, channels in source order within theirs.
//
// A SOURCE is a playlist when its path or URL ends in ".m3u" or ".m3u8" (any letter case, a
// query or fragment aside) or its text starts with "#EXTM3U"; otherwise it must be the base URL
// of a channel directory site (a missing final "/" is added), which is scraped as the program
// scrapes it. Local files are read from disk; http and https URLs go through the program's own
// page source, with the scraper's limits, playlists following redirects. https checks the
// server's certificate against the system trust store (OpenSSL's SSL_CERT_FILE and
// SSL_CERT_DIR name others). Directory channels print the page URL the pane would open.
//
// When any source fails, nothing is printed: the failure goes to standard error and the exit
// status is 1.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "channels/channel_list.h"
#include "channels/channel_scraper.h"
#include "channels/directory_client.h"
#include "channels/gbk.h"
#include "channels/playlist.h"
#include "http/net_exceptions.h"

namespace qelvu {
namespace {

// A source that could not be read, with the text to show for it.
class ESourceFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Describe(const std::exception& failure) {
  if (const auto* net = dynamic_cast<const ENetException*>(&failure)) {
    return std::string(net->ClassName()) + ": " + net->what();
  }
  return failure.what();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool IsWebAddress(std::string_view source) {
  return StartsWithNoCase(source, "http://") || StartsWithNoCase(source, "https://");
}

bool HasPlaylistExtension(std::string_view source, bool web) {
  if (web) source = source.substr(0, std::min(source.find_first_of("?#"), source.size()));
  const auto ends_with = [source](std::string_view suffix) {
    return source.size() >= suffix.size() &&
           StartsWithNoCase(source.substr(source.size() - suffix.size()), suffix);
  };
  return ends_with(".m3u") || ends_with(".m3u8");
}

bool StartsAsPlaylist(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text.substr(0, 7) == "#EXTM3U";
}

// The merged list of all sources, in display order.
class TMergedList {
 public:
  void Add(std::string_view category, std::string_view name, std::string_view url) {
    auto found = index_.find(std::string(category));
    if (found == index_.end()) {
      found = index_.emplace(std::string(category), categories_.size()).first;
      categories_.push_back({std::string(category), {}});
    }
    std::string& lines = categories_[found->second].lines;
    lines.append(category).append("\t").append(name).append("\t").append(url).append("\n");
  }

  void AddPlaylist(const std::vector<TPlaylistCategory>& categories) {
    for (const TPlaylistCategory& category : categories) {
      for (const TPlaylistEntry& channel : category.channels) {
        Add(category.name, channel.name, channel.url);
      }
    }
  }

  void Print() const {
    for (const Category& category : categories_) {
      std::fwrite(category.lines.data(), 1, category.lines.size(), stdout);
    }
  }

 private:
  struct Category {
    std::string name;
    std::string lines;
  };
  std::vector<Category> categories_;
  std::unordered_map<std::string, size_t> index_;
};

// The scraper's downloads, with the first failure kept (the scrape itself drops failures, as
// the program does) and the front page, when already read to tell what the source is, served
// again rather than downloaded twice.
class TRecordingSource : public TPageSource {
 public:
  TRecordingSource(std::string front_url, std::optional<std::string> front_page)
      : front_url_(std::move(front_url)), front_page_(std::move(front_page)) {}

  void GetDocument(const std::string& url) override {
    try {
      if (front_page_ && url == front_url_) {
        text_ += *front_page_;
        front_page_.reset();
        return;
      }
      http_.GetDocument(url);
      text_ += http_.TakePageText();
    } catch (const std::exception& failure) {
      if (!failure_) failure_ = url + ": " + Describe(failure);
      throw;
    }
  }
  std::string TakePageText() override { return std::move(text_); }

  const std::optional<std::string>& Failure() const { return failure_; }

 private:
  THttpPageSource http_;
  std::string front_url_;
  std::optional<std::string> front_page_;
  std::string text_;
  std::optional<std::string> failure_;
};

class TListSink : public TScrapeSink {
 public:
  TListSink(TMergedList& list, std::string base_url)
      : list_(list), base_url_(std::move(base_url)) {}

  void AddCategory(std::string_view name) override { category_ = GbkToUtf8(name); }
  void AddChannel(std::string_view name, std::string_view suffix) override {
    list_.Add(category_, GbkToUtf8(name), base_url_ + GbkToUtf8(suffix));
  }
  void Finish(bool) override {}

 private:
  TMergedList& list_;
  std::string base_url_;
  std::string category_;
};

// A folder of its own for the cache file every successful scrape writes: the user's real
// cache must stay as it is. Removed with what it holds.
class TScratchFolder {
 public:
  TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelvu-list-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("Cannot create a temporary folder in " +
                               std::filesystem::temp_directory_path().string());
    }
    path_ = pattern;
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void ScrapeDirectory(const std::string& base_url, std::optional<std::string> front_page,
                     TMergedList& list) {
  TScratchFolder scratch;
  TRecordingSource source(base_url, std::move(front_page));
  TListSink sink(list, base_url);
  ScrapeChannelDirectory(source, base_url, (scratch.path() / "QoviList.dat").string(), sink);
  if (source.Failure()) throw ESourceFailed(*source.Failure());
}

void ReadSource(const std::string& source, TMergedList& list) {
  const bool web = IsWebAddress(source);
  const bool named_playlist = HasPlaylistExtension(source, web);
  if (!web) {
    std::string bytes;
    try {
      bytes = ReadFileBytes(source);
    } catch (const std::exception& failure) {
      throw ESourceFailed(failure.what());
    }
    if (!named_playlist && !StartsAsPlaylist(bytes)) {
      throw ESourceFailed(source +
                          ": not a playlist (a channel directory site must be an http or https "
                          "URL)");
    }
    list.AddPlaylist(ParsePlaylist(bytes, FileUrl(source)));
    return;
  }
  std::string url = source;
  // The program's directory address ends in "/", and the list page is named below it.
  if (!named_playlist && url.find('/', url.find("//") + 2) == std::string::npos) url += '/';
  THttpPageSource page;
  page.SetFollowRedirects(true);
  std::string text;
  try {
    page.GetDocument(url);
    text = page.TakePageText();
  } catch (const std::exception& failure) {
    throw ESourceFailed(url + ": " + Describe(failure));
  }
  if (named_playlist || StartsAsPlaylist(text)) {
    list.AddPlaylist(ParsePlaylist(text, page.DocumentUrl()));
    return;
  }
  // A site answers its own address: a redirected one is fetched again, and fails, as the
  // program's scrape would.
  if (!url.ends_with('/')) url += '/';
  std::optional<std::string> front_page;
  if (page.DocumentUrl() == url) front_page = std::move(text);
  ScrapeDirectory(url, std::move(front_page), list);
}

}  // namespace
}  // namespace qelvu

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qelvu-list SOURCE...\n");
    return 2;
  }
  qelvu::TMergedList list;
  for (int i = 1; i < argc; ++i) {
    try {
      qelvu::ReadSource(argv[i], list);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "qelvu-list: %s\n", failure.what());
      return 1;
    }
  }
  list.Print();
  return std::fflush(stdout) == 0 ? 0 : 1;
}
