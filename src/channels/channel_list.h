// The channel list's text forms: cache-file location, line splitting and field reading.
//
// Names, suffixes and the cache file are GBK byte strings and are never re-encoded here.
// Everything in this header is pure and may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qelvu {

// Returns the Index-th field (counted from 1) of Text split by Separator; empty when the field
// is empty or does not exist. Text and Separator end at their first NUL byte.
std::string GetField(std::string_view text, std::string_view separator, int index);

// Expands every %NAME% in Template from the environment. An undefined variable is an expansion
// failure and gives the empty path. A '%' with no closing '%' is kept as it stands.
std::string ExpandEnvPath(std::string_view path_template);

// The cache file's path: under $XDG_CACHE_HOME, or ~/.cache when that is unset or empty.
std::string GetCacheFileName();

// Splits cache text into lines. A line ends at CR, LF or CR LF; a NUL ends the whole text; a last
// line without an end still counts; the final line end gives no empty line.
std::vector<std::string_view> SplitCacheLines(std::string_view text);

// Joins lines, each followed by CR LF: the form in which the cache file is written.
std::string JoinCacheLines(const std::vector<std::string_view>& lines);

// One cache line: category, "|", name, "|", URL suffix, "|" (without the line end); with
// `options`, a playlist channel's, they follow as a fourth field with its own "|".
std::string ComposeCacheLine(std::string_view category, std::string_view name,
                             std::string_view suffix, std::string_view options = {});

// Reads a whole file as bytes. Throws std::runtime_error with a message naming the file and the
// reason when it cannot be opened or read.
std::string ReadFileBytes(const std::string& path);

}  // namespace qelvu
