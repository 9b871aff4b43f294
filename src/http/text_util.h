// Byte-string helpers shared by the client's parsers. ASCII rules only: the texts are GBK
// bytes and are never re-encoded, so only A-Z/a-z change case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qelvu {

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// Removes blanks and control characters (every byte <= 0x20) at both ends.
std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);
// A lead byte of a double-byte character in the system code page (GBK).
inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// Whole text as a decimal (optionally signed) integer within [min, max]; nothing otherwise.
std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max);
// Whole text (blanks trimmed) as a decimal integer within [min, max]; raises EConvertError
// otherwise, as the platform's own conversion does.
int64_t ConvertInteger(std::string_view text, int64_t min, int64_t max);
// True when the text holds a byte that ends a line on the wire (CR, LF) or cuts it short for
// C-string readers (NUL).
inline bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}
// Whole text as a hexadecimal integer within [0, max]; nothing otherwise.
std::optional<int64_t> ParseHex(std::string_view text, int64_t max);

}  // namespace qelvu
