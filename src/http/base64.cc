#include "http/base64.h"

#include <cstdint>

#include "http/net_exceptions.h"

namespace qelvu {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string result;
  result.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      result += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return result;
}

std::string EncodeBase64Block(std::string_view bytes) {
  if (bytes.size() % 3 != 0) throw ENetException("Uneven size in Encode.");
  return EncodeBase64(bytes);
}

std::string DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) throw ENetException("Uneven size in DecodeToStream.");
  std::string result;
  result.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    bool last_group = i + 4 == text.size();
    uint32_t group = 0;
    int fill = 0;
    for (size_t k = 0; k < 4; ++k) {
      char c = text[i + k];
      int value = DigitValue(c);
      // Fill may only end the text, and only in its last two places; anything else would
      // decode to bytes the sender never meant.
      if (c == '=' && last_group && k >= 2) {
        ++fill;
        value = 0;
      } else if (value < 0 || fill > 0) {
        throw ENetException("Invalid character in DecodeToStream.");
      }
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    for (int k = 0; k < 3 - fill; ++k) result += static_cast<char>((group >> (16 - 8 * k)) & 0xFF);
  }
  return result;
}

}  // namespace qelvu
