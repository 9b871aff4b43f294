#include "http/text_util.h"

#include "http/net_exceptions.h"

namespace qelvu {

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 19) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (INT64_MAX - (c - '0')) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < min || value > max) return std::nullopt;
  return value;
}

int64_t ConvertInteger(std::string_view text, int64_t min, int64_t max) {
  std::optional<int64_t> value = ParseDecimal(Trim(text), min, max);
  if (!value) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return *value;
}

std::optional<int64_t> ParseHex(std::string_view text, int64_t max) {
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
    if (value > max) return std::nullopt;
  }
  return value;
}

}  // namespace qelvu
