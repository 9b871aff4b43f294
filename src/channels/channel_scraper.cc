#include "channels/channel_scraper.h"

#include <optional>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/dropped_failure.h"
#include "common/scope_guard.h"
#include "regex/regex_matcher.h"

namespace qelvu {
namespace {

// The state one scrape shares between its sections.
class SectionScraper {
 public:
  explicit SectionScraper(TScrapeSink& sink) : sink_(sink) {
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
      if (!cache_text_) cache_text_.emplace();
      cache_text_->append(ComposeCacheLine(category_, name, suffix)).append("\r\n");
      sink_.ProcessPendingMessages();
    }
  }

  // Saves the cache lines when any channel was found; true when it did.
  bool SaveCacheLines(const std::string& cache_file) const {
    if (!cache_text_) return false;
    WriteFileReplacing(cache_file, *cache_text_);
    return true;
  }

 private:
  TScrapeSink& sink_;
  TRegexMatcher links_;
  std::string category_;
  // The cache lines, each already followed by CR LF as the file holds them: one string rather
  // than a list of lines, which would cost a third allocation per channel. Absent until the
  // first channel link: a scrape without links must not touch the cache.
  std::optional<std::string> cache_text_;
};

}  // namespace

void ScrapeChannelDirectory(TPageSource& source, const std::string& directory_base_url,
                            const std::string& cache_file, TScrapeSink& sink) {
  bool list_saved = false;
  // The list is a convenience: a site that cannot be read, or a cache that cannot be written,
  // leaves things as they were without troubling the user.
  DropFailure(lcScrape(), "Scraping the channel directory", [&] {
    source.GetDocument(directory_base_url);
    source.GetDocument(directory_base_url + "list.htm");

    SectionScraper scraper(sink);
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
      const size_t section_end =
          found ? static_cast<size_t>(headers.MatchOffset() - 1) : text.size();
      scraper.AddSectionChannels(
          std::string_view(text).substr(section_start, section_end - section_start));
      sink.ProcessPendingMessages();
    }
    list_saved = scraper.SaveCacheLines(cache_file);
  });
  sink.Finish(list_saved);
}

void TChannelBatch::AddCategory(std::string_view name) {
  categories_.push_back({std::string(name), {}});
}

void TChannelBatch::AddChannel(std::string_view name, std::string_view suffix) {
  categories_.back().channels.push_back({std::string(name), std::string(suffix)});
}

void TChannelBatch::ReplaceTree(TChannelTree& tree) const {
  tree.BeginUpdate();
  const TScopeGuard resume([&tree] { tree.EndUpdate(); });
  ClearChannelTree(tree);
  for (const Category& category : categories_) {
    const TreeNode node = tree.AddCategory(category.name);
    for (const Channel& channel : category.channels) {
      tree.AddChannel(node, channel.name, channel.suffix);
    }
  }
}

}  // namespace qelvu
