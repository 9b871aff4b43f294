// The M3U/M3U8 playlist reader: turns a playlist's bytes into the channel list the program
// shows, and the two address helpers it rests on.
//
// A playlist is UTF-8 text (a leading byte-order mark is skipped; bytes that are not UTF-8 read
// as U+FFFD) cut into lines at LF, CR LF or CR. `#EXTINF:` lines name the next entry
// (duration, `key="value"` or `key=value` attributes, a comma outside quotes, the title);
// `#EXTGRP:` and the `#EXTVLCOPT:` user agent and referrer apply to the next entry only; every
// other `#` line is a comment; any other line is an entry's URL and ends that entry. Relative
// URLs are resolved against the playlist's own address.
//
// Everything here is pure, keeps no state and may be called from any thread. No Qt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qelvu {

// The category of channels whose playlist names none.
inline constexpr char kUncategorized[] = "未分类";

// What a channel's stream must be requested with; empty fields send the program's defaults.
struct TRequestOptions {
  std::string user_agent;
  std::string referer;

  friend bool operator==(const TRequestOptions&, const TRequestOptions&) = default;
};

// One channel as the list shows it. All fields are UTF-8; name and category hold no `|`
// (turned into U+FF5C) and no tab or line break (turned into spaces).
struct TPlaylistEntry {
  std::string name;
  std::string category;
  // Absolute: resolved against the playlist's address.
  std::string url;
  TRequestOptions options;
};

// A category and its channels in file order.
struct TPlaylistCategory {
  std::string name;
  std::vector<TPlaylistEntry> channels;
};

// Reads `bytes` as a playlist found at `base_url` (for a download, the address it was finally
// read from; for a local file, FileUrl of its path). Categories come in the order in which each
// first appears, channels in file order within theirs; duplicates are kept. Never fails: any
// text gives a list, possibly empty.
std::vector<TPlaylistCategory> ParsePlaylist(std::string_view bytes, std::string_view base_url);

// Takes a playlist's channels as they are read, for a list that keeps them in a form of its own.
class TPlaylistSink {
 public:
  virtual ~TPlaylistSink() = default;
  // A category met for the first time; categories are numbered from 0 in this order.
  virtual void AddCategory(std::string_view name) = 0;
  // The next channel in file order, of the category numbered `category`. `name` (cleaned as
  // TPlaylistEntry's) is valid only during the call.
  virtual void AddChannel(size_t category, std::string_view name, std::string url,
                          const TRequestOptions& options) = 0;
};

// ParsePlaylist's reading, each channel handed to `sink` instead of being gathered.
void ReadPlaylist(std::string_view bytes, std::string_view base_url, TPlaylistSink& sink);

// The target of `reference` seen from `base` by RFC 3986 reference resolution (strict: a
// reference with a scheme keeps it, dot segments are removed). Works on the text as written:
// nothing is added, removed or percent-encoded, so any text resolves, meaningful or not.
std::string ResolveReference(std::string_view base, std::string_view reference);

// The `file:` URL of a local path: "file://" and the absolute path (made absolute against the
// working folder, not otherwise changed). Only `%`, `?`, `#` and control characters are
// percent-encoded, the ones that would change what the URL names or break a line of text;
// everything else, non-ASCII and spaces included, stays as it is.
std::string FileUrl(std::string_view path);

// Rewrites `bytes` as valid UTF-8: each maximal invalid subpart (as the Unicode standard's
// "best practice" defines it) becomes one U+FFFD; valid text is returned unchanged.
std::string RepairUtf8(std::string_view bytes);

}  // namespace qelvu
