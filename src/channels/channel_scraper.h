// The channel directory scraper: downloads the site's front page and list page, cuts the text
// into category sections and channel links, hands every category and channel to a sink in page
// order, and saves the cache file when at least one channel was found.
//
// The scrape runs on the calling thread and keeps nothing between calls. Where its results go
// is the sink's business: straight into the window's tree when it runs on the window's thread,
// or into a list (`TChannelBatch`) when the refresh worker reads the site as one of its sources.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_tree.h"
#include "channels/source_list.h"

namespace qelvu {

// The two patterns, byte for byte as the directory site's pages require.
inline constexpr char kCategoryPattern[] =
    R"re(<div class="boxtop"(.*?)">(?<tvname>.*?)</div>(.*?))re";
inline constexpr char kLinkPattern[] = R"re(<a id=(.*?)href="(.*?)">(.*?)</a>)re";

// The downloads of the scraper and the playlist reader: every GET appends its body to one page
// text. Implementations own their client; all but Abort are called by the reading thread only.
class TPageSource {
 public:
  virtual ~TPageSource() = default;
  // Appends the body of `url` to the page text; throws on any failure (transport, time limit,
  // error status).
  virtual void GetDocument(const std::string& url) = 0;
  // Hands over the page text gathered so far; the source holds none afterwards.
  virtual std::string TakePageText() = 0;
  // Any thread: makes the running download and every later one fail promptly.
  virtual void Abort() {}
  // Whether later downloads follow redirects (a source that cannot ignores the request).
  virtual void SetFollowRedirects(bool) {}
  // The address the last document was finally read from (after any redirects followed); empty
  // from a source that does not know.
  virtual std::string DocumentUrl() const { return {}; }
};

// Receives a scrape's results in page order. Called by the scraping thread.
class TScrapeSink {
 public:
  virtual ~TScrapeSink() = default;
  virtual void AddCategory(std::string_view name) = 0;
  // Appends a channel to the category added last.
  virtual void AddChannel(std::string_view name, std::string_view suffix) = 0;
  // Called after every channel link and every section: a chance to run pending window messages.
  virtual void ProcessPendingMessages() {}
  // The scrape is over. `list_saved`: it found at least one channel and saved the cache file.
  virtual void Finish(bool list_saved) = 0;
};

// Scrapes `directory_base_url` and "list.htm" below it into `sink` and saves the cache lines
// to `cache_file` (replacing it whole) when any channel was found. Never throws: a failure ends
// the scrape where it happened and leaves the cache file as it was; `sink.Finish` always runs.
void ScrapeChannelDirectory(TPageSource& source, const std::string& directory_base_url,
                            const std::string& cache_file, TScrapeSink& sink);

// The same scrape without the cache file and without `sink.Finish`: throws whatever failed
// (the sink keeps what it received before). Returns the number of channels found.
int ScrapeDirectoryPages(TPageSource& source, const std::string& directory_base_url,
                         TScrapeSink& sink);

// Collects a scrape's categories and channels as a list. Used by one thread at a time.
class TChannelBatch : public TScrapeSink {
 public:
  void AddCategory(std::string_view name) override;
  void AddChannel(std::string_view name, std::string_view suffix) override;
  void Finish(bool) override {}

  TChannelList TakeList() { return std::move(list_); }

 private:
  TChannelList list_;
};

}  // namespace qelvu
