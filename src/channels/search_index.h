// Search keys of a channel list: which channels' names match what the user typed, by characters
// and by pinyin.
//
// What matches. Names and queries are folded alike: NFKC case folding (full-width and half-width
// forms become one, Latin letters lower case, compatibility forms their plain letters), and
// spaces, dashes and underscores are dropped, so "cctv5" finds "CCTV-5" and "ＣＣＴＶ" finds
// "cctv". A name matches when the folded query runs through consecutive characters of the folded
// name, starting at any character; each character takes its own share of the query:
//   - any character takes itself;
//   - a Han character also takes its pinyin syllable (toneless, lower case) or any beginning of
//     it down to the initial letter, so "hunan", "hunanweishi", "hnws", "hunanws", "hnweishi",
//     "湖南ws" and "hu南" all find 湖南卫视, and "hunanweis" keeps finding it while it is typed;
//     ü is typed as "v" or "u" ("lvse" and "luse" both find 绿色).
// Matching is on characters, never on encoded bytes. An empty query (or one of spaces and dashes
// only) matches every channel.
//
// Pinyin comes from ICU's Han-Latin transliteration of each distinct Han character on its own,
// once per build. That gives one reading per character, ICU's reading of the character alone:
// 重 is "zhong" (重庆卫视 is found by "zhongqing" and "zqws", not "chongqing"), 长 "zhang",
// 行 "xing", 乐 "le", 都 "dou". Without ICU's transliterator data Han characters match only
// themselves.
//
// How the window uses it:
//   1. Off the window's thread, once per list (the refresh worker with its batch, the cache load
//      with its lines): a TSearchIndexBuilder gets every channel name in list order (the order of
//      the tree: categories in turn, their channels in turn; categories themselves are not
//      indexed), then Build(). The index is kept with the list as a
//      std::shared_ptr<const TSearchIndex>; a channel's number is its position in that order.
//      Building 200,000 names takes well under half a second; the first build in a process also
//      loads ICU's transliterator (about 0.2 s more). A typical list's keys take under 20 bytes a
//      channel.
//   2. On the window's thread, a TSearchFilter over that index: every edit of the search box
//      calls Update(text) with the box's text in UTF-8 (GbkToUtf8 for the GBK form the view
//      gives); the tree shows the returned channels (with their categories). Enter plays
//      Matches()[0], Enter again or Down the next one, wrapping round. A new list gets the filter
//      Reset to its index and the box's text applied again. A keystroke that extends the query
//      re-checks only the previous matches; any other edit scans the list (a few milliseconds
//      for 200,000 channels), so the filter can run straight in the edit's handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelvu {

// The folded search keys of one channel list. Immutable: after construction every member may be
// called from any number of threads at once. Qt-free; ICU only.
class TSearchIndex {
 public:
  // An index of no channels.
  TSearchIndex() = default;

  // The number of channels.
  int Size() const { return offsets_.empty() ? 0 : static_cast<int>(offsets_.size() - 1); }

  // The channels whose names match `query` (UTF-8), as numbers in ascending order.
  std::vector<int> Find(std::string_view query) const;

  // The heap bytes the index holds: its keys, signatures, alphabet and syllables.
  size_t AllocatedBytes() const;

 private:
  friend class TSearchIndexBuilder;
  friend class TSearchFilter;
  struct TQuery;
  struct TLongScratch;

  TQuery Prepare(std::u32string folded) const;
  // Appends to `out` the channels matching `query` among `candidates` (ascending), or among all
  // channels when `candidates` is null.
  void Collect(const TQuery& query, const std::vector<int>* candidates,
               std::vector<int>& out) const;
  bool MatchesShort(const TQuery& query, const uint8_t* key, const uint8_t* end) const;
  bool MatchesLong(const TQuery& query, const uint8_t* key, const uint8_t* end,
                   TLongScratch& scratch) const;

  // Every channel's folded name as symbol numbers in a variable-length code (frequent symbols
  // take one byte); channel i's bytes are keys_[offsets_[i], offsets_[i + 1]).
  std::vector<uint8_t> keys_;
  std::vector<uint32_t> offsets_;
  // Per channel: which letters and which other characters (by a hash of the symbol) its name
  // has, so that most names are passed over without reading their keys.
  std::vector<uint32_t> signatures_;
  // The alphabet: each symbol's character, sorted by character for the query's look-up.
  struct TSymbol {
    char32_t character;
    uint32_t symbol;
  };
  std::vector<TSymbol> symbols_by_character_;
  // Per symbol: 0, or 1 + the number of its pinyin syllable.
  std::vector<uint16_t> syllable_of_;
  // The syllables' letters, syllable s at syllable_text_[syllable_starts_[s],
  // syllable_starts_[s + 1]); "v" stands for ü.
  std::vector<char> syllable_text_;
  std::vector<uint32_t> syllable_starts_;
};

// Collects channel names, then folds them into a TSearchIndex. One thread at a time; builders on
// different threads are independent.
class TSearchIndexBuilder {
 public:
  TSearchIndexBuilder();
  ~TSearchIndexBuilder();
  TSearchIndexBuilder(const TSearchIndexBuilder&) = delete;
  TSearchIndexBuilder& operator=(const TSearchIndexBuilder&) = delete;

  // Adds the next channel's name. Bytes that are not UTF-8 (or not GBK) read as U+FFFD.
  void AddUtf8(std::string_view name);
  void AddGbk(std::string_view name);

  // The index of every name added so far; the builder is empty afterwards.
  TSearchIndex Build();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The search box's filter over one index, for typing: a query that extends the previous one
// (every keystroke but a deletion) only checks the previous query's matches again. Window thread.
class TSearchFilter {
 public:
  TSearchFilter();
  explicit TSearchFilter(std::shared_ptr<const TSearchIndex> index);
  ~TSearchFilter();

  // Starts over on another list's index (null: no list; nothing matches).
  void Reset(std::shared_ptr<const TSearchIndex> index);

  // The channels matching `query` (UTF-8) in ascending order; valid until the next call.
  const std::vector<int>& Update(std::string_view query);
  // The last Update's result.
  const std::vector<int>& Matches() const { return matches_; }

 private:
  std::shared_ptr<const TSearchIndex> index_;
  // The folded form of the query that `matches_` answers.
  std::u32string folded_;
  bool valid_ = false;
  std::vector<int> matches_;
  std::vector<int> scratch_;
};

}  // namespace qelvu
