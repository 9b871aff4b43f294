#include "regex/regex_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <new>
#include <span>
#include <utility>

namespace qelvu {
namespace {

constexpr std::pair<TRegexOption, std::uint32_t> kCompileBits[] = {
    {rxCaseLess, PCRE2_CASELESS},
    {rxMultiLine, PCRE2_MULTILINE},
    {rxSingleLine, PCRE2_DOTALL},
    {rxExtended, PCRE2_EXTENDED},
    {rxAnchored, PCRE2_ANCHORED},
    {rxUnGreedy, PCRE2_UNGREEDY},
    {rxNoAutoCapture, PCRE2_NO_AUTO_CAPTURE},
};

constexpr std::pair<TRegexSearchFlag, std::uint32_t> kMatchBits[] = {
    {rxNoLineStart, PCRE2_NOTBOL},
    {rxNoLineEnd, PCRE2_NOTEOL},
    {rxNoEmptyMatch, PCRE2_NOTEMPTY},
};

// PCRE2's own JIT stack of 32 KiB runs out on backtracking patterns over a few thousand bytes of
// page text; this one grows on demand to a size that carries them over whole pages.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

// Failures that say the JIT ran out of room, not that the text does not match; the interpreter,
// which keeps its backtracking on the heap, still gives the answer.
bool IsJitResourceLimit(int code) {
  return code == PCRE2_ERROR_JIT_STACKLIMIT || code == PCRE2_ERROR_MATCHLIMIT ||
         code == PCRE2_ERROR_DEPTHLIMIT || code == PCRE2_ERROR_HEAPLIMIT;
}

// The PCRE2 code for a missing group name differs from the one callers know from PCRE.
constexpr int kMissingNameCode = -7;

template <typename E>
std::uint32_t PcreBits(EnumSet<E> set, std::span<const std::pair<E, std::uint32_t>> table) {
  std::uint32_t bits = 0;
  for (const auto& [member, bit] : table) {
    if (set.Contains(member)) bits |= bit;
  }
  return bits;
}

std::string WithPosition(std::string_view message, const char* file_name, int line) {
  std::string_view file = file_name;
  file.remove_prefix(file.find_last_of('/') + 1);  // npos + 1 == 0 keeps a bare name
  return std::string(message) + " (" + std::string(file) + ", line " + std::to_string(line) + ")";
}

}  // namespace

void TRegexMatcher::PcreFree::operator()(pcre2_code* code) const { pcre2_code_free(code); }
void TRegexMatcher::PcreFree::operator()(pcre2_compile_context* context) const {
  pcre2_compile_context_free(context);
}
void TRegexMatcher::PcreFree::operator()(pcre2_jit_stack* stack) const {
  pcre2_jit_stack_free(stack);
}
void TRegexMatcher::PcreFree::operator()(pcre2_match_context* context) const {
  pcre2_match_context_free(context);
}
void TRegexMatcher::PcreFree::operator()(pcre2_match_data* match_data) const {
  pcre2_match_data_free(match_data);
}
void TRegexMatcher::PcreFree::operator()(const std::uint8_t* tables) const {
  pcre2_maketables_free(nullptr, tables);
}

TRegexMatcher::TRegexMatcher()
    : tables_(pcre2_maketables(nullptr)),
      compile_context_(pcre2_compile_context_create(nullptr)),
      match_data_(pcre2_match_data_create(kOffsetPairs, nullptr)),
      jit_stack_(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)),
      match_context_(pcre2_match_context_create(nullptr)) {
  if (!tables_ || !compile_context_ || !match_data_ || !match_context_) throw std::bad_alloc();
  pcre2_set_character_tables(compile_context_.get(), tables_.get());
  pcre2_set_newline(compile_context_.get(), PCRE2_NEWLINE_ANY);
  // A PCRE2 built without JIT support has no stack to give; the interpreter needs none.
  if (jit_stack_) pcre2_jit_stack_assign(match_context_.get(), nullptr, jit_stack_.get());
}

TRegexMatcher::~TRegexMatcher() = default;

void TRegexMatcher::SetRegEx(std::string_view pattern) {
  if (pattern == regex_) return;
  regex_ = pattern;
  Discard();
}

void TRegexMatcher::SetOptions(TRegexOptions options) {
  if (options == options_) return;
  options_ = options;
  Discard();
}

void TRegexMatcher::SetUseJit(bool use_jit) {
  if (use_jit == use_jit_) return;
  use_jit_ = use_jit;
  Discard();
}

void TRegexMatcher::SetSearchText(std::string text) {
  if (text.size() > kMaxSearchTextSize) {
    throw std::length_error("TRegexMatcher.SearchText - text too long");
  }
  search_text_ = std::move(text);
  next_start_ = 1;
  search_end_ = static_cast<int>(search_text_.size());
  match_count_ = 0;
}

void TRegexMatcher::Discard() {
  if (!code_) return;
  code_.reset();
  match_count_ = 0;
}

void TRegexMatcher::Compile() {
  if (regex_.empty()) {
    throw ERegexError(
        "TRegexMatcher.Compile() - Please specify a regular expression in RegEx first");
  }
  Discard();
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(regex_.data()), regex_.size(),
                            PcreBits<TRegexOption>(options_, kCompileBits), &error_code,
                            &error_offset, compile_context_.get()));
  if (!code_) {
    PCRE2_UCHAR text[256];
    pcre2_get_error_message(error_code, text, sizeof text);
    throw ERegexError("TRegexMatcher.Compile() - Error in regex at offset " +
                      std::to_string(error_offset) + ": " + reinterpret_cast<const char*>(text));
  }
  // A pattern the JIT cannot take is still matched, by the interpreter.
  if (use_jit_) pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE);
}

void TRegexMatcher::CompileIfNeeded() {
  if (!code_) Compile();
}

bool TRegexMatcher::FindFirstMatch() {
  try {
    CompileIfNeeded();
    return Search(0);
  } catch (...) {
    // Reported as no match, so no match may stay visible through the accessors either.
    match_count_ = 0;
    next_start_ = 1;
    return false;
  }
}

bool TRegexMatcher::FindNextMatch() {
  CompileIfNeeded();
  if (next_start_ - 1 > search_end_) {
    match_count_ = PCRE2_ERROR_NOMATCH;
    return false;
  }
  return Search(static_cast<int>(next_start_ - 1));
}

bool TRegexMatcher::Search(int start_offset) {
  // More than 99 set groups do not fit the match data: PCRE2 answers 0, which is no match here.
  const auto subject = reinterpret_cast<PCRE2_SPTR>(search_text_.data());
  const std::uint32_t bits = PcreBits<TRegexSearchFlag>(search_flags_, kMatchBits);
  match_count_ = pcre2_match(code_.get(), subject, search_end_, start_offset, bits,
                             match_data_.get(), match_context_.get());
  // Whether a text matches must not depend on the JIT switch.
  if (use_jit_ && IsJitResourceLimit(match_count_)) {
    match_count_ = pcre2_match(code_.get(), subject, search_end_, start_offset, bits | PCRE2_NO_JIT,
                               match_data_.get(), match_context_.get());
  }
  if (match_count_ <= 0) return false;

  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data_.get());
  for (int i = 0; i < 2 * match_count_; ++i) {
    offsets_[i] = ovector[i] == PCRE2_UNSET ? 0 : static_cast<int>(ovector[i]) + 1;
  }
  // Step past an empty match, or the next search would return it again.
  next_start_ = std::int64_t{offsets_[1]} + (offsets_[0] == offsets_[1] ? 1 : 0);
  if (OnMatch) OnMatch(*this);
  return true;
}

void TRegexMatcher::RequireMatch(const char* file, int line) const {
  if (!HasMatch()) {
    throw ERegexError(WithPosition("REQUIRE: There must be a successful match first", file, line));
  }
}

void TRegexMatcher::RequireIndex(int index, const char* file, int line) const {
  RequireMatch(file, line);
  if (index < 0 || index > SubExpressionCount()) {
    throw ERegexError(WithPosition("REQUIRE: Index <= SubExpressionCount", file, line));
  }
}

int TRegexMatcher::GroupOffset(int index) const {
  RequireIndex(index);
  return offsets_[2 * index];
}

int TRegexMatcher::GroupLength(int index) const {
  RequireIndex(index);
  return offsets_[2 * index + 1] - offsets_[2 * index];
}

std::string TRegexMatcher::GroupText(int index) const {
  RequireMatch();
  if (index < 0 || index > SubExpressionCount()) return {};
  const int start = offsets_[2 * index];
  if (start == 0) return {};
  return search_text_.substr(start - 1, offsets_[2 * index + 1] - start);
}

int TRegexMatcher::GroupIndexOf(std::string_view name) {
  CompileIfNeeded();
  const std::string terminated(name);
  PCRE2_SPTR first = nullptr;
  PCRE2_SPTR last = nullptr;
  const int found = pcre2_substring_nametable_scan(
      code_.get(), reinterpret_cast<PCRE2_SPTR>(terminated.c_str()), &first, &last);
  if (found < 0) return kMissingNameCode;
  // A name used twice under (?J) has several entries, sorted by number; the table stores each
  // number in two big-endian bytes.
  return first[0] << 8 | first[1];
}

}  // namespace qelvu
