#include "channels/search_index.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <bit>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "channels/gbk.h"

namespace qelvu {
namespace {

// The symbol code of the keys. Symbols are numbered by falling frequency, so the commonest
// characters of a list (its ASCII letters and digits, 卫, 视, 台, ...) take one byte.
constexpr uint32_t kTwoByteLead = 0x80;
constexpr uint32_t kThreeByteLead = 0xE0;
constexpr uint32_t kTwoByteFirst = kTwoByteLead;
constexpr uint32_t kThreeByteFirst = kTwoByteFirst + (kThreeByteLead - kTwoByteLead) * 256;
static_assert(kThreeByteFirst + (0x100 - kThreeByteLead) * 65536 > 0x110000,
              "the code holds every character");

int EncodedLength(uint32_t symbol) {
  return symbol < kTwoByteFirst ? 1 : symbol < kThreeByteFirst ? 2 : 3;
}

uint8_t* Encode(uint32_t symbol, uint8_t* out) {
  if (symbol < kTwoByteFirst) {
    *out++ = static_cast<uint8_t>(symbol);
  } else if (symbol < kThreeByteFirst) {
    const uint32_t rest = symbol - kTwoByteFirst;
    *out++ = static_cast<uint8_t>(kTwoByteLead + (rest >> 8));
    *out++ = static_cast<uint8_t>(rest);
  } else {
    const uint32_t rest = symbol - kThreeByteFirst;
    *out++ = static_cast<uint8_t>(kThreeByteLead + (rest >> 16));
    *out++ = static_cast<uint8_t>(rest >> 8);
    *out++ = static_cast<uint8_t>(rest);
  }
  return out;
}

inline uint32_t Decode(const uint8_t*& key) {
  uint32_t symbol = *key++;
  if (symbol < kTwoByteLead) return symbol;
  if (symbol < kThreeByteLead) return kTwoByteFirst + ((symbol - kTwoByteLead) << 8 | *key++);
  symbol = kThreeByteFirst + ((symbol - kThreeByteLead) << 16 | key[0] << 8 | key[1]);
  key += 2;
  return symbol;
}

// Separators that people type or leave out at will: "CCTV-5", "CCTV 5" and "cctv5" are one
// channel.
bool IsIgnored(UChar32 c) {
  if (c < 0x80) return c == ' ' || (c >= '\t' && c <= '\r') || c == '-' || c == '_';
  if (u_isUWhiteSpace(c)) return true;
  const int8_t type = u_charType(c);
  return type == U_DASH_PUNCTUATION || type == U_CONNECTOR_PUNCTUATION;
}

// Calls `take` with each character of `text`'s folded form. Names and queries fold through this
// one function, so they always fold alike. `scratch` keeps its buffer between calls.
template <class Take>
void Fold(std::string_view text, std::string& scratch, Take&& take) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    // What NFKC case folding does to ASCII, without the call.
    for (char c : text) {
      if (IsIgnored(c)) continue;
      take(static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return;
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* folding = icu::Normalizer2::getNFKCCasefoldInstance(status);
  scratch.clear();
  if (U_SUCCESS(status)) {
    icu::StringByteSink<std::string> sink(&scratch);
    folding->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())),
                           sink, nullptr, status);
  }
  if (U_FAILURE(status)) scratch.assign(text);
  const auto* bytes = reinterpret_cast<const uint8_t*>(scratch.data());
  const auto length = static_cast<int32_t>(scratch.size());
  for (int32_t at = 0; at < length;) {
    UChar32 c;
    U8_NEXT(bytes, at, length, c);
    if (c < 0) c = 0xFFFD;
    if (!IsIgnored(c)) take(static_cast<char32_t>(c));
  }
}

std::u32string FoldQuery(std::string_view query) {
  std::u32string folded;
  std::string scratch;
  Fold(query, scratch, [&](char32_t c) { folded.push_back(c); });
  return folded;
}

// The toneless pinyin of one Han character as ICU reads it alone, "v" for ü; empty when ICU
// gives no Latin reading.
std::string PinyinOf(icu::Transliterator& to_latin, const icu::Normalizer2& decompose,
                     UChar32 han) {
  icu::UnicodeString latin(han);
  to_latin.transliterate(latin);
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString letters = decompose.normalize(latin, status);
  if (U_FAILURE(status)) return {};
  std::string syllable;
  for (int32_t i = 0; i < letters.length(); ++i) {
    const char16_t c = letters[i];
    if (c >= 'a' && c <= 'z') {
      syllable.push_back(static_cast<char>(c));
    } else if (c >= 'A' && c <= 'Z') {
      syllable.push_back(static_cast<char>(c - 'A' + 'a'));
    } else if (c == 0x0308 && !syllable.empty() && syllable.back() == 'u') {
      syllable.back() = 'v';
    } else if (u_charType(c) != U_NON_SPACING_MARK) {
      return {};  // not a reading: an untransliterated character, a space, ...
    }
  }
  return syllable;
}

// A query letter against a syllable letter: ü is typed as "v" or as "u".
inline bool SameLetter(char32_t typed, char letter) {
  return typed == static_cast<unsigned char>(letter) || (letter == 'v' && typed == 'u');
}

// Channel signatures: what a name must hold for a query to have a chance, checked before its
// key is read. Bits 0-25 are the letters a-z, found as characters or inside a syllable; the
// other bits stand for every other character by its symbol.
constexpr uint32_t kLetterBits = 26;
uint32_t LetterBit(char32_t c) { return uint32_t{1} << (c - 'a'); }
uint32_t OtherBit(uint32_t symbol) {
  return uint32_t{1} << (kLetterBits + symbol % (32 - kLetterBits));
}
bool IsLetter(char32_t c) { return c >= 'a' && c <= 'z'; }

}  // namespace

// The long-query matcher's buffers, kept from one name to the next.
struct TSearchIndex::TLongScratch {
  std::vector<uint32_t> live, next, seen;
  uint32_t generation = 0;
};

// A folded query made ready for one index. Short queries (the usual) run as bit sets over
// query positions: bit p means "the first p query characters are matched up to here".
struct TSearchIndex::TQuery {
  static constexpr size_t kShortLimit = 63;

  std::u32string chars;
  // Per query position: the symbol of its character, or kNoSymbol when no name has it.
  static constexpr uint32_t kNoSymbol = UINT32_MAX;
  std::vector<uint32_t> position_symbols;
  // The signature bits every matching name has.
  uint32_t signature = 0;
  // A character that is no letter and in no name: nothing can match.
  bool hopeless = false;

  // Short queries only. Per symbol: `same` has bit p + 1 set when query character p is that
  // symbol, `starts` bit p when the symbol's syllable begins with query character p.
  struct TStep {
    uint64_t same = 0;
    uint64_t starts = 0;
  };
  std::vector<TStep> steps;
  // Per syllable and position: how many query characters from p on the syllable can take.
  std::vector<uint8_t> syllable_spans;

  bool Short() const { return chars.size() <= kShortLimit; }
};

TSearchIndex::TQuery TSearchIndex::Prepare(std::u32string folded) const {
  TQuery query;
  query.chars = std::move(folded);
  const size_t m = query.chars.size();
  query.position_symbols.resize(m, TQuery::kNoSymbol);
  for (size_t p = 0; p < m; ++p) {
    const char32_t c = query.chars[p];
    const auto found = std::lower_bound(
        symbols_by_character_.begin(), symbols_by_character_.end(), c,
        [](const TSymbol& symbol, char32_t key) { return symbol.character < key; });
    if (found != symbols_by_character_.end() && found->character == c) {
      query.position_symbols[p] = found->symbol;
    }
    if (IsLetter(c)) {
      query.signature |= LetterBit(c);
    } else if (query.position_symbols[p] != TQuery::kNoSymbol) {
      query.signature |= OtherBit(query.position_symbols[p]);
    } else {
      query.hopeless = true;
    }
  }
  if (!query.Short()) return query;

  const size_t syllables = syllable_starts_.empty() ? 0 : syllable_starts_.size() - 1;
  std::vector<uint64_t> syllable_starts(syllables, 0);
  query.syllable_spans.assign(syllables * m, 0);
  for (size_t s = 0; s < syllables; ++s) {
    const std::string_view letters(syllable_text_.data() + syllable_starts_[s],
                                   syllable_starts_[s + 1] - syllable_starts_[s]);
    for (size_t p = 0; p < m; ++p) {
      size_t span = 0;
      while (span < letters.size() && p + span < m &&
             SameLetter(query.chars[p + span], letters[span]))
        ++span;
      if (span == 0) continue;
      syllable_starts[s] |= uint64_t{1} << p;
      query.syllable_spans[s * m + p] = static_cast<uint8_t>(span);
    }
  }
  query.steps.resize(syllable_of_.size());
  for (size_t symbol = 0; symbol < syllable_of_.size(); ++symbol) {
    if (syllable_of_[symbol] != 0) {
      query.steps[symbol].starts = syllable_starts[syllable_of_[symbol] - 1];
    }
  }
  for (size_t p = 0; p < m; ++p) {
    if (query.position_symbols[p] != TQuery::kNoSymbol) {
      query.steps[query.position_symbols[p]].same |= uint64_t{1} << (p + 1);
    }
  }
  return query;
}

bool TSearchIndex::MatchesShort(const TQuery& query, const uint8_t* key, const uint8_t* end) const {
  const size_t m = query.chars.size();
  const uint64_t done = uint64_t{1} << m;
  const TQuery::TStep* steps = query.steps.data();
  uint64_t state = 0;
  while (key < end) {
    const uint32_t symbol = Decode(key);
    const TQuery::TStep& step = steps[symbol];
    // Bit 0: a match may start at every character.
    const uint64_t from = state | 1;
    uint64_t next = (from << 1) & step.same;
    if (uint64_t starts = from & step.starts) [[unlikely]] {
      const size_t s = syllable_of_[symbol] - 1;
      for (; starts != 0; starts &= starts - 1) {
        const int p = std::countr_zero(starts);
        const int span = query.syllable_spans[s * m + p];
        // Bits p + 1 .. p + span: any beginning of the syllable. Wraps to the top bit cleanly.
        next |= (uint64_t{2} << (p + span)) - (uint64_t{2} << p);
      }
    }
    if (next & done) return true;
    state = next;
  }
  return false;
}

bool TSearchIndex::MatchesLong(const TQuery& query, const uint8_t* key, const uint8_t* end,
                               TLongScratch& scratch) const {
  // The same automaton as MatchesShort with the reached positions as a list.
  const size_t m = query.chars.size();
  std::vector<uint32_t>& live = scratch.live;
  std::vector<uint32_t>& next = scratch.next;
  std::vector<uint32_t>& seen = scratch.seen;
  uint32_t& generation = scratch.generation;
  seen.resize(m + 1);
  live.clear();
  while (key < end) {
    const uint32_t symbol = Decode(key);
    const uint16_t syllable = syllable_of_[symbol];
    const std::string_view letters =
        syllable == 0
            ? std::string_view()
            : std::string_view(syllable_text_.data() + syllable_starts_[syllable - 1],
                               syllable_starts_[syllable] - syllable_starts_[syllable - 1]);
    if (++generation == 0) {
      std::fill(seen.begin(), seen.end(), 0);
      generation = 1;
    }
    next.clear();
    bool matched = false;
    auto reach = [&](size_t p) {
      if (p == m) matched = true;
      if (seen[p] != generation) {
        seen[p] = generation;
        next.push_back(static_cast<uint32_t>(p));
      }
    };
    live.push_back(0);
    for (uint32_t p : live) {
      if (query.position_symbols[p] == symbol) reach(p + 1);
      for (size_t span = 0; span < letters.size() && p + span < m &&
                            SameLetter(query.chars[p + span], letters[span]);
           ++span) {
        reach(p + span + 1);
      }
    }
    if (matched) return true;
    std::swap(live, next);
  }
  return false;
}

void TSearchIndex::Collect(const TQuery& query, const std::vector<int>* candidates,
                           std::vector<int>& out) const {
  out.clear();
  const int n = Size();
  if (query.chars.empty()) {
    if (candidates != nullptr) {
      out = *candidates;
    } else {
      out.resize(n);
      std::iota(out.begin(), out.end(), 0);
    }
    return;
  }
  if (query.hopeless) return;
  const bool short_query = query.Short();
  TLongScratch scratch;
  auto check = [&](int i) {
    if ((signatures_[i] & query.signature) != query.signature) return;
    const uint8_t* key = keys_.data() + offsets_[i];
    const uint8_t* end = keys_.data() + offsets_[i + 1];
    if (short_query ? MatchesShort(query, key, end) : MatchesLong(query, key, end, scratch)) {
      out.push_back(i);
    }
  };
  if (candidates != nullptr) {
    for (int i : *candidates) check(i);
  } else {
    for (int i = 0; i < n; ++i) check(i);
  }
}

std::vector<int> TSearchIndex::Find(std::string_view query) const {
  std::vector<int> found;
  Collect(Prepare(FoldQuery(query)), nullptr, found);
  return found;
}

size_t TSearchIndex::AllocatedBytes() const {
  return keys_.capacity() * sizeof(keys_[0]) + offsets_.capacity() * sizeof(offsets_[0]) +
         signatures_.capacity() * sizeof(signatures_[0]) +
         symbols_by_character_.capacity() * sizeof(symbols_by_character_[0]) +
         syllable_of_.capacity() * sizeof(syllable_of_[0]) +
         syllable_text_.capacity() * sizeof(syllable_text_[0]) +
         syllable_starts_.capacity() * sizeof(syllable_starts_[0]);
}

// Names are folded as they come; the characters are numbered in order of first sight and only
// renumbered by frequency when every name is in.
struct TSearchIndexBuilder::TState {
  static constexpr uint32_t kUnseen = UINT32_MAX;

  // Every name's folded characters, as first-sight numbers, one name after another.
  std::vector<uint32_t> chars;
  std::vector<uint32_t> name_ends;
  // Character to first-sight number: a table for the Basic Multilingual Plane, a map beyond.
  std::vector<uint32_t> bmp_numbers = std::vector<uint32_t>(0x10000, kUnseen);
  std::unordered_map<char32_t, uint32_t> other_numbers;
  // Per first-sight number: the character and how often it occurs.
  std::vector<char32_t> characters;
  std::vector<uint32_t> counts;
  std::string scratch;

  uint32_t Number(char32_t c) {
    uint32_t* slot =
        c < 0x10000 ? &bmp_numbers[c] : &other_numbers.try_emplace(c, kUnseen).first->second;
    if (*slot == kUnseen) {
      *slot = static_cast<uint32_t>(characters.size());
      characters.push_back(c);
      counts.push_back(0);
    }
    return *slot;
  }
};

TSearchIndexBuilder::TSearchIndexBuilder() : state_(std::make_unique<TState>()) {}
TSearchIndexBuilder::~TSearchIndexBuilder() = default;

void TSearchIndexBuilder::AddUtf8(std::string_view name) {
  TState& state = *state_;
  Fold(name, state.scratch, [&](char32_t c) {
    const uint32_t number = state.Number(c);
    ++state.counts[number];
    state.chars.push_back(number);
  });
  state.name_ends.push_back(static_cast<uint32_t>(state.chars.size()));
}

void TSearchIndexBuilder::AddGbk(std::string_view name) { AddUtf8(GbkToUtf8(name)); }

TSearchIndex TSearchIndexBuilder::Build() {
  TState state = std::move(*state_);
  *state_ = TState();
  TSearchIndex index;

  // Symbols by falling frequency; ties by character, so a list always gives the same keys.
  std::vector<uint32_t> by_frequency(state.characters.size());
  std::iota(by_frequency.begin(), by_frequency.end(), 0);
  std::sort(by_frequency.begin(), by_frequency.end(), [&](uint32_t a, uint32_t b) {
    if (state.counts[a] != state.counts[b]) return state.counts[a] > state.counts[b];
    return state.characters[a] < state.characters[b];
  });
  std::vector<uint32_t> symbol_of(state.characters.size());
  for (size_t symbol = 0; symbol < by_frequency.size(); ++symbol) {
    symbol_of[by_frequency[symbol]] = static_cast<uint32_t>(symbol);
  }

  // Pinyin: each distinct Han character through ICU once. The transliterator is only made for
  // a list that has Han characters: the first one in a process costs a third of a second.
  index.syllable_of_.assign(by_frequency.size(), 0);
  std::unique_ptr<icu::Transliterator> to_latin;
  const icu::Normalizer2* decompose = nullptr;
  std::unordered_map<std::string, uint16_t> syllable_numbers;
  for (size_t symbol = 0; symbol < by_frequency.size(); ++symbol) {
    const auto c = static_cast<UChar32>(state.characters[by_frequency[symbol]]);
    UErrorCode status = U_ZERO_ERROR;
    if (uscript_getScript(c, &status) != USCRIPT_HAN) continue;
    if (to_latin == nullptr) {
      to_latin.reset(icu::Transliterator::createInstance("Han-Latin", UTRANS_FORWARD, status));
      decompose = icu::Normalizer2::getNFDInstance(status);
      if (U_FAILURE(status) || to_latin == nullptr) break;
      index.syllable_starts_.push_back(0);
    }
    const std::string syllable = PinyinOf(*to_latin, *decompose, c);
    if (syllable.empty()) continue;
    auto found = syllable_numbers.find(syllable);
    if (found == syllable_numbers.end()) {
      // ICU has a few hundred toneless syllables; the numbers could hold far more.
      if (syllable_numbers.size() + 1 == UINT16_MAX) continue;
      found = syllable_numbers.emplace(syllable, static_cast<uint16_t>(syllable_numbers.size() + 1))
                  .first;
      index.syllable_text_.insert(index.syllable_text_.end(), syllable.begin(), syllable.end());
      index.syllable_starts_.push_back(static_cast<uint32_t>(index.syllable_text_.size()));
    }
    index.syllable_of_[symbol] = found->second;
  }
  index.syllable_text_.shrink_to_fit();
  index.syllable_starts_.shrink_to_fit();

  std::vector<uint32_t> symbol_signatures(by_frequency.size());
  for (size_t symbol = 0; symbol < by_frequency.size(); ++symbol) {
    const char32_t c = state.characters[by_frequency[symbol]];
    uint32_t& signature = symbol_signatures[symbol];
    signature = IsLetter(c) ? LetterBit(c) : OtherBit(static_cast<uint32_t>(symbol));
    if (const uint16_t syllable = index.syllable_of_[symbol]) {
      for (uint32_t at = index.syllable_starts_[syllable - 1];
           at < index.syllable_starts_[syllable]; ++at) {
        const char letter = index.syllable_text_[at];
        signature |= LetterBit(static_cast<unsigned char>(letter));
        if (letter == 'v') signature |= LetterBit('u');
      }
    }
  }

  size_t key_bytes = 0;
  for (uint32_t number : state.chars) key_bytes += EncodedLength(symbol_of[number]);
  index.keys_.resize(key_bytes);
  index.offsets_.resize(state.name_ends.size() + 1);
  index.signatures_.resize(state.name_ends.size());
  uint8_t* out = index.keys_.data();
  size_t at = 0;
  for (size_t name = 0; name < state.name_ends.size(); ++name) {
    index.offsets_[name] = static_cast<uint32_t>(out - index.keys_.data());
    uint32_t signature = 0;
    for (; at < state.name_ends[name]; ++at) {
      const uint32_t symbol = symbol_of[state.chars[at]];
      signature |= symbol_signatures[symbol];
      out = Encode(symbol, out);
    }
    index.signatures_[name] = signature;
  }
  index.offsets_.back() = static_cast<uint32_t>(key_bytes);

  index.symbols_by_character_.resize(by_frequency.size());
  for (size_t symbol = 0; symbol < by_frequency.size(); ++symbol) {
    index.symbols_by_character_[symbol] = {state.characters[by_frequency[symbol]],
                                           static_cast<uint32_t>(symbol)};
  }
  std::sort(index.symbols_by_character_.begin(), index.symbols_by_character_.end(),
            [](const TSearchIndex::TSymbol& a, const TSearchIndex::TSymbol& b) {
              return a.character < b.character;
            });
  return index;
}

TSearchFilter::TSearchFilter() = default;
TSearchFilter::TSearchFilter(std::shared_ptr<const TSearchIndex> index) { Reset(std::move(index)); }
TSearchFilter::~TSearchFilter() = default;

void TSearchFilter::Reset(std::shared_ptr<const TSearchIndex> index) {
  index_ = std::move(index);
  folded_.clear();
  valid_ = false;
  matches_.clear();
}

const std::vector<int>& TSearchFilter::Update(std::string_view query) {
  if (index_ == nullptr) return matches_;
  std::u32string folded = FoldQuery(query);
  // Every match of a longer query also matches each of its beginnings, so the previous matches
  // hold all the new ones.
  const bool narrows = valid_ && folded.starts_with(folded_);
  const TSearchIndex::TQuery prepared = index_->Prepare(folded);
  index_->Collect(prepared, narrows ? &matches_ : nullptr, scratch_);
  std::swap(matches_, scratch_);
  folded_ = std::move(folded);
  valid_ = true;
  return matches_;
}

}  // namespace qelvu
