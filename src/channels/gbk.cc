#include "channels/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

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

}  // namespace

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
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
  thread_local IconvHandle converter("GB18030", "UTF-8");
  return converter.Convert(utf8, "");
}

}  // namespace qelvu
