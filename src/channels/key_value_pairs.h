// Walks the `key=value&key=value` lists that the playlists' URL options and the cache's options
// field are written in.
#pragma once

#include <algorithm>
#include <string_view>

namespace qelvu {

// Calls `visit(key, value)` for every pair of `text` in order, with both texts as written (not
// trimmed, not decoded); a part without `=` is passed over.
template <typename Visit>
void ForEachKeyValuePair(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const size_t end = std::min(text.find('&'), text.size());
    const std::string_view pair = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos) visit(pair.substr(0, equals), pair.substr(equals + 1));
  }
}

}  // namespace qelvu
