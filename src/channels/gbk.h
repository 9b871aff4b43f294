// Conversion between the program's GBK byte strings and UTF-8, used only at the UI boundary.
//
// GB18030 (a superset of GBK) is the decoding; bytes that form no character become U+FFFD, so a
// damaged name still displays. Thread-safe: each thread uses its own converter.
#pragma once

#include <string>
#include <string_view>

namespace qelvu {

// ASCII text is the same in both encodings, and most of a playlist's addresses are ASCII.
bool IsAscii(std::string_view text);

std::string GbkToUtf8(std::string_view gbk);

// Characters that GB18030 cannot hold (none in practice) are dropped.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace qelvu
