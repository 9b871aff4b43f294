// Well-formed UTF-8 as the Unicode standard defines it (no overlong forms, no surrogates,
// nothing past U+10FFFF), for the readers of playlist text and the GB18030 conversion.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qelvu {

// The length of the well-formed UTF-8 sequence at `at` (1 for ASCII), or 0 when there is none;
// then `*invalid` is the length of the maximal subpart to replace (at least 1).
inline size_t Utf8SequenceAt(std::string_view text, size_t at, size_t* invalid) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  // Most of the rest: a three-byte character with no limits of its own (CJK among them).
  if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && text.size() - at >= 3 &&
      (byte(at + 1) & 0xC0) == 0x80 && (byte(at + 2) & 0xC0) == 0x80) {
    return 3;
  }
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    // Overlong forms below U+0800 and the surrogates are not characters.
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    // Overlong forms below U+10000 and anything past U+10FFFF.
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *invalid = 1;
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size() || byte(at + i) < low || byte(at + i) > high) {
      *invalid = i;
      return 0;
    }
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

// The code point of the well-formed sequence of `length` bytes at `at`.
inline char32_t DecodeUtf8(std::string_view text, size_t at, size_t length) {
  const auto byte = [&](size_t i) { return static_cast<char32_t>(static_cast<uint8_t>(text[i])); };
  switch (length) {
    case 1:
      return byte(at);
    case 2:
      return (byte(at) & 0x1F) << 6 | (byte(at + 1) & 0x3F);
    case 3:
      return (byte(at) & 0x0F) << 12 | (byte(at + 1) & 0x3F) << 6 | (byte(at + 2) & 0x3F);
    default:
      return (byte(at) & 0x07) << 18 | (byte(at + 1) & 0x3F) << 12 | (byte(at + 2) & 0x3F) << 6 |
             (byte(at + 3) & 0x3F);
  }
}

// The length of the longest prefix of `text` that is well-formed UTF-8.
inline size_t ValidUtf8Prefix(std::string_view text) {
  constexpr uint64_t kHighBits = 0x8080808080808080;
  size_t i = 0;
  while (i < text.size()) {
    // ASCII, most of any playlist, eight bytes at a time, up to the first byte that is not.
    uint64_t word = 0;
    if (text.size() - i >= sizeof word) {
      std::memcpy(&word, text.data() + i, sizeof word);
      const uint64_t high = word & kHighBits;
      if (high == 0) {
        i += sizeof word;
        continue;
      }
      if constexpr (std::endian::native == std::endian::little) {
        i += static_cast<size_t>(std::countr_zero(high)) / 8;
      }
    }
    size_t invalid = 0;
    const size_t length = Utf8SequenceAt(text, i, &invalid);
    if (length == 0) return i;
    i += length;
  }
  return text.size();
}

}  // namespace qelvu
