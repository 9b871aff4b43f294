#include "channels/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/utf8.h"

namespace qelvu {
namespace {

// Owns one iconv conversion descriptor.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("No converter from ") + from + " to " + to);
    }
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // Converts all of input; each undecodable byte is skipped and `replacement` written instead.
  std::string Convert(std::string_view input, std::string_view replacement) {
    std::string out;
    out.reserve(input.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(input.data());
    size_t in_left = input.size();
    char buffer[4096];
    while (in_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      const size_t rc = iconv(cd_, &in, &in_left, &dst, &dst_left);
      out.append(buffer, sizeof buffer - dst_left);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated character at the end): skip one byte and go on.
      out.append(replacement);
      ++in;
      --in_left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// UTF-8 to GB18030 a character at a time, each character's code asked of iconv once and then
// kept: a channel list repeats a few thousand characters over and over, and a call into iconv
// costs a hundred lookups. GB18030 is stateless, so a character's code is the same wherever it
// stands.
class TGb18030Encoder {
 public:
  std::string Encode(std::string_view utf8) {
    // No code is longer than twice the character's UTF-8 form, nor than four bytes.
    if (buffer_.size() < 2 * utf8.size()) buffer_.resize(2 * utf8.size());
    char* out = buffer_.data();
    for (size_t i = 0; i < utf8.size();) {
      const char c = utf8[i];
      if (static_cast<uint8_t>(c) < 0x80) {
        *out++ = c;
        ++i;
        continue;
      }
      size_t invalid = 0;
      const size_t length = Utf8SequenceAt(utf8, i, &invalid);
      const std::optional<TCode> code =
          length == 0 ? std::nullopt : CodeOf(DecodeUtf8(utf8, i, length), utf8.substr(i, length));
      // Bytes that are not UTF-8 go the byte-wise way of iconv, whatever it makes of them.
      if (!code) return iconv_.Convert(utf8, "");
      std::memcpy(out, code->bytes, sizeof code->bytes);
      out += code->size;
      i += length;
    }
    // Sized to fit: the text is kept for as long as the list is.
    return std::string(buffer_.data(), out);
  }

 private:
  struct TCode {
    uint8_t size = kUnknown;
    char bytes[4] = {};
  };
  static constexpr uint8_t kUnknown = 0xFF;
  static constexpr char32_t kBmpSize = 0x10000;

  // The code of `character`, whose code point is `code_point`; none when it takes more than
  // four bytes, which no character of GB18030 does.
  std::optional<TCode> CodeOf(char32_t code_point, std::string_view character) {
    // Beyond the Basic Multilingual Plane characters are rare: no table for them.
    if (code_point >= kBmpSize) return Convert(character);
    if (codes_.empty()) codes_.resize(kBmpSize);
    TCode& code = codes_[code_point];
    if (code.size == kUnknown) {
      const std::optional<TCode> converted = Convert(character);
      if (!converted) return std::nullopt;
      code = *converted;
    }
    return code;
  }

  std::optional<TCode> Convert(std::string_view character) {
    const std::string converted = iconv_.Convert(character, "");
    TCode code;
    if (converted.size() > sizeof code.bytes) return std::nullopt;
    code.size = static_cast<uint8_t>(converted.size());
    std::memcpy(code.bytes, converted.data(), converted.size());
    return code;
  }

  IconvHandle iconv_{"GB18030", "UTF-8"};
  // By code point, filled in as characters are met.
  std::vector<TCode> codes_;
  std::vector<char> buffer_;
};

}  // namespace

bool IsAscii(std::string_view text) {
  constexpr uint64_t kHighBits = 0x8080808080808080;
  size_t i = 0;
  for (uint64_t word = 0; text.size() - i >= sizeof word; i += sizeof word) {
    std::memcpy(&word, text.data() + i, sizeof word);
    if ((word & kHighBits) != 0) return false;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<uint8_t>(text[i]) >= 0x80) return false;
  }
  return true;
}

// Opening a converter costs more than converting a channel name, so each thread keeps its own.
std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  thread_local IconvHandle converter("UTF-8", "GB18030");
  return converter.Convert(gbk, "\xEF\xBF\xBD");
}

std::string Utf8ToGbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local TGb18030Encoder encoder;
  return encoder.Encode(utf8);
}

}  // namespace qelvu
