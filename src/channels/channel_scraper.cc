#include "channels/channel_scraper.h"

#include <optional>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/dropped_failure.h"
#include "regex/regex_matcher.h"

namespace qelvu {
namespace {

// The state one scrape shares between its sections.
class SectionScraper {
 public:
  // `cache_text` gathers the cache lines; null when the caller keeps no cache.
  SectionScraper(TScrapeSink& sink, std::string* cache_text)
      : sink_(sink), cache_text_(cache_text) {
    links_.SetUseJit(true);
    links_.SetRegEx(kLinkPattern);
  }

  void StartCategory(std::string name) {
    sink_.AddCategory(name);
    category_ = std::move(name);
  }

  void AddSectionChannels(std::string_view section) {
    links_.SetSearchText(std::string(section));
    for (bool found = links_.FindFirstMatch(); found; found = links_.FindNextMatch()) {
      const std::string suffix = links_.GroupText(2);
      const std::string name = links_.GroupText(3);
      sink_.AddChannel(name, suffix);
      ++channels_;
      if (cache_text_ != nullptr) {
        cache_text_->append(ComposeCacheLine(category_, name, suffix)).append("\r\n");
      }
      sink_.ProcessPendingMessages();
    }
  }

  int Channels() const { return channels_; }

 private:
  TScrapeSink& sink_;
  // The cache lines, each already followed by CR LF as the file holds them: one string rather
  // than a list of lines, which would cost a third allocation per channel.
  std::string* cache_text_;
  TRegexMatcher links_;
  std::string category_;
  int channels_ = 0;
};

int ScrapePages(TPageSource& source, const std::string& directory_base_url, TScrapeSink& sink,
                std::string* cache_text) {
  source.GetDocument(directory_base_url);
  source.GetDocument(directory_base_url + "list.htm");

  SectionScraper scraper(sink, cache_text);
  // Compiled to machine code: the matching is most of a scrape's work, and the results are
  // the interpreter's.
  TRegexMatcher headers;
  headers.SetUseJit(true);
  // Taken over rather than copied: the page text is the scrape's largest piece of memory.
  headers.SetSearchText(source.TakePageText());
  headers.SetRegEx(kCategoryPattern);
  const std::string& text = headers.SearchText();
  for (bool found = headers.FindFirstMatch(); found;) {
    // Offsets are 1-based: the section starts at the first byte after the header.
    const size_t section_start =
        static_cast<size_t>(headers.MatchOffset() - 1 + headers.MatchLength());
    scraper.StartCategory(headers.GroupText(headers.GroupIndexOf("tvname")));
    found = headers.FindNextMatch();
    const size_t section_end = found ? static_cast<size_t>(headers.MatchOffset() - 1) : text.size();
    scraper.AddSectionChannels(
        std::string_view(text).substr(section_start, section_end - section_start));
    sink.ProcessPendingMessages();
  }
  return scraper.Channels();
}

}  // namespace

void ScrapeChannelDirectory(TPageSource& source, const std::string& directory_base_url,
                            const std::string& cache_file, TScrapeSink& sink) {
  bool list_saved = false;
  // The list is a convenience: a site that cannot be read, or a cache that cannot be written,
  // leaves things as they were without troubling the user.
  DropFailure(lcScrape(), "Scraping the channel directory", [&] {
    std::string cache_text;
    // A scrape without links must not touch the cache.
    if (ScrapePages(source, directory_base_url, sink, &cache_text) == 0) return;
    WriteFileReplacing(cache_file, cache_text);
    list_saved = true;
  });
  sink.Finish(list_saved);
}

int ScrapeDirectoryPages(TPageSource& source, const std::string& directory_base_url,
                         TScrapeSink& sink) {
  return ScrapePages(source, directory_base_url, sink, nullptr);
}

void TChannelBatch::AddCategory(std::string_view name) { list_.push_back({std::string(name), {}}); }

void TChannelBatch::AddChannel(std::string_view name, std::string_view suffix) {
  list_.back().channels.push_back({std::string(name), std::string(suffix), {}});
}

}  // namespace qelvu
