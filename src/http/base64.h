// Base64 of RFC 2045 (alphabet A-Z a-z 0-9 + /, "=" as fill, no line breaks), as the Basic
// credentials use it. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace qelvu {

// Encodes a whole text; the last group is filled with "=".
std::string EncodeBase64(std::string_view bytes);
// Encodes one block of a longer text, which must be a multiple of 3 bytes long so that no fill
// lands in the middle of the result; raises ENetException "Uneven size in Encode." otherwise.
std::string EncodeBase64Block(std::string_view bytes);
// Decodes four characters to three bytes; raises ENetException "Uneven size in DecodeToStream."
// when the length is not a multiple of 4, and "Invalid character in DecodeToStream." for a
// character outside the alphabet (or a fill before the last group).
std::string DecodeBase64(std::string_view text);

}  // namespace qelvu
