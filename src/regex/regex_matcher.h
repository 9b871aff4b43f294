#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/enum_set.h"

// PCRE2's 8-bit handle types, named here so that users of the matcher need not include pcre2.h.
struct pcre2_real_code_8;
struct pcre2_real_compile_context_8;
struct pcre2_real_jit_stack_8;
struct pcre2_real_match_context_8;
struct pcre2_real_match_data_8;

namespace qelvu {

// Every failure the matcher reports. The message is one of the matcher's fixed texts:
//   "TRegexMatcher.Compile() - Please specify a regular expression in RegEx first"
//   "TRegexMatcher.Compile() - Error in regex at offset <n>: <PCRE2 error text>"
//   "REQUIRE: There must be a successful match first (<file>, line <n>)"
//   "REQUIRE: Index <= SubExpressionCount (<file>, line <n>)"
class ERegexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Compile options. The newline convention is always "any": CR, LF, CR LF, VT, FF and byte 133
// all end a line, so without rxSingleLine the dot matches none of them.
enum TRegexOption {
  rxCaseLess,       // letters match in either case
  rxMultiLine,      // ^ and $ also match at line breaks inside the text
  rxSingleLine,     // the dot also matches line-break bytes
  rxExtended,       // white space and # comments in the pattern are ignored
  rxAnchored,       // a match must start at the search's start position
  rxUnGreedy,       // quantifiers are lazy unless followed by ?
  rxNoAutoCapture,  // plain (...) groups do not capture; only named groups do
};
using TRegexOptions = EnumSet<TRegexOption>;

// Search flags, applied to every search.
enum TRegexSearchFlag {
  rxNoLineStart,   // the start of the text is not the start of a line (^ fails there)
  rxNoLineEnd,     // the end of the text is not the end of a line ($ fails there)
  rxNoEmptyMatch,  // an empty string is never accepted as a match
};
using TRegexSearchFlags = EnumSet<TRegexSearchFlag>;

// TRegexMatcher holds one pattern and one search text and finds successive, non-overlapping
// matches of the pattern in the text. The text is bytes (no UTF mode: a GBK double-byte
// character is two independent bytes). Positions are 1-based byte positions; lengths are byte
// counts.
//
// Typical use:
//   TRegexMatcher m;
//   m.SetSearchText(page);
//   m.SetRegEx(R"(<a id=(.*?)href="(.*?)">(.*?)</a>)");
//   for (bool found = m.FindFirstMatch(); found; found = m.FindNextMatch()) {
//     Use(m.MatchOffset(), m.MatchLength(), m.GroupText(2), m.GroupText(3));
//   }
//
// The pattern is compiled on demand, at most once per pattern-and-options pair; setting a new
// text never recompiles. The matcher owns its PCRE2 objects (character tables, compile context,
// match data, compiled pattern) and releases them itself. One thread at a time; each user
// creates its own instances.
class TRegexMatcher {
 public:
  // Raised after every successful search, with the matcher as sender.
  std::function<void(TRegexMatcher& sender)> OnMatch;

  TRegexMatcher();
  ~TRegexMatcher();
  TRegexMatcher(const TRegexMatcher&) = delete;
  TRegexMatcher& operator=(const TRegexMatcher&) = delete;

  // The pattern; empty at creation. A different pattern discards the compiled one.
  const std::string& RegEx() const { return regex_; }
  void SetRegEx(std::string_view pattern);

  // Compile options; empty by default. A different set discards the compiled pattern.
  TRegexOptions Options() const { return options_; }
  void SetOptions(TRegexOptions options);

  // Search flags; {rxNoEmptyMatch} by default. Takes effect at the next search.
  TRegexSearchFlags SearchFlags() const { return search_flags_; }
  void SetSearchFlags(TRegexSearchFlags flags) { search_flags_ = flags; }

  // The longest text the matcher takes: 1-based positions up to one past the last byte must fit
  // an int.
  static constexpr std::size_t kMaxSearchTextSize = INT_MAX - 1;

  // The text searched. Setting it clears the current match and makes the next search start at
  // position 1; the compiled pattern stays. Texts longer than kMaxSearchTextSize raise
  // std::length_error.
  const std::string& SearchText() const { return search_text_; }
  void SetSearchText(std::string text);

  // Compiles the pattern now (the searches do it on demand). Raises ERegexError for an empty or
  // invalid pattern; the current match is cleared whenever a compiled pattern was held.
  void Compile();

  // Searches from the start of the text. Never raises: an empty or invalid pattern, or a failure
  // raised by OnMatch, reports no match and leaves no current match.
  bool FindFirstMatch();
  // Searches from the position just past the previous match (position 1 after the text was
  // set). An empty match at p is followed by a search from p + 1. Compile errors and failures
  // raised by OnMatch propagate.
  bool FindNextMatch();

  // True while the last search succeeded.
  bool HasMatch() const { return match_count_ > 0; }
  // The highest group number set by the last successful search (0: only the whole match).
  int SubExpressionCount() const { return match_count_ - 1; }

  // Position and length of the whole match (group 0).
  int MatchOffset() const { return GroupOffset(0); }
  int MatchLength() const { return GroupLength(0); }

  // Position, length and bytes of group `index` (0 = whole match) of the current match. A group
  // that took no part has offset 0, length 0 and empty text. Without a current match all three
  // raise "REQUIRE: There must be a successful match first"; an index outside
  // 0..SubExpressionCount() makes GroupOffset and GroupLength raise "REQUIRE: Index <=
  // SubExpressionCount" and GroupText return "".
  int GroupOffset(int index) const;
  int GroupLength(int index) const;
  std::string GroupText(int index) const;

  // The number of the named group (its position among all capturing groups; the lowest one for a
  // name used twice), or -7 when the pattern has no group of that name. Compiles the pattern if
  // needed (compile errors raise).
  int GroupIndexOf(std::string_view name);

  // Lets PCRE2's JIT compiler speed up matching of patterns compiled from now on; off by
  // default. Results are the same either way: where the JIT cannot handle a pattern, or runs out
  // of its stack on a text, the interpreter is used.
  bool UseJit() const { return use_jit_; }
  void SetUseJit(bool use_jit);

 private:
  // PCRE2 allows one pair for the whole match and one per group: up to 99 groups.
  static constexpr int kOffsetPairs = 100;

  struct PcreFree {
    void operator()(pcre2_real_code_8* code) const;
    void operator()(pcre2_real_compile_context_8* context) const;
    void operator()(pcre2_real_jit_stack_8* stack) const;
    void operator()(pcre2_real_match_context_8* context) const;
    void operator()(pcre2_real_match_data_8* match_data) const;
    void operator()(const std::uint8_t* tables) const;
  };

  void Discard();
  void CompileIfNeeded();
  bool Search(int start_offset);
  // The defaults name the caller's place (as std::source_location would, which clang 14, the
  // fuzz targets' compiler, cannot build over this standard library).
  void RequireMatch(const char* file = __builtin_FILE(), int line = __builtin_LINE()) const;
  void RequireIndex(int index, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE()) const;

  TRegexOptions options_;
  TRegexSearchFlags search_flags_{rxNoEmptyMatch};
  std::string regex_;
  std::string search_text_;
  // Wider than a position: past an empty match at the end of the longest text it is INT_MAX + 1.
  std::int64_t next_start_ = 1;
  int search_end_ = 0;
  // 1-based (start, just-past-end) pairs of the current match; 0 for a group that took no part.
  std::array<int, 2 * kOffsetPairs> offsets_{};
  // Last search: > 0 one more than the highest group set, 0 no current match, < 0 PCRE2 failure.
  int match_count_ = 0;
  bool use_jit_ = false;

  // Declared first so that the compiled pattern, which refers to the tables, is released first.
  std::unique_ptr<const std::uint8_t, PcreFree> tables_;
  std::unique_ptr<pcre2_real_compile_context_8, PcreFree> compile_context_;
  std::unique_ptr<pcre2_real_match_data_8, PcreFree> match_data_;
  // The match context refers to the JIT stack, so the stack is released after it.
  std::unique_ptr<pcre2_real_jit_stack_8, PcreFree> jit_stack_;
  std::unique_ptr<pcre2_real_match_context_8, PcreFree> match_context_;
  std::unique_ptr<pcre2_real_code_8, PcreFree> code_;
};

}  // namespace qelvu
