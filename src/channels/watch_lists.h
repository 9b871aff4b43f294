// The user's own short lists of channels: the favourites and the recently watched.
//
// Each entry is a channel as the tree holds it (GB18030 name and target, the playlist options)
// and is known by its name and target alone, so an entry keeps playing from where it was stored
// after its channel has left the list. The files are UTF-8 text under the user's data folder,
// one channel a line, replaced atomically; a damaged file gives the lines that can still be
// read and never an error. Pure apart from Load and Save; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "channels/source_list.h"

namespace qelvu {

// How many channels the recently watched list remembers.
inline constexpr size_t kRecentLength = 10;

// The watch lists' identity of a channel: the same name and target, whatever the options.
bool IsSameChannel(const TListChannel& a, const TListChannel& b);

class TWatchList {
 public:
  // `limit` is the most channels the list holds; 0 holds any number.
  explicit TWatchList(size_t limit = 0) : limit_(limit) {}

  const std::vector<TListChannel>& Items() const { return items_; }
  bool Empty() const { return items_.empty(); }
  // By IsSameChannel; -1 when not held.
  int IndexOf(const TListChannel& channel) const;
  bool Contains(const TListChannel& channel) const { return IndexOf(channel) >= 0; }

  // Appends a channel not held yet; true when it was added.
  bool Add(const TListChannel& channel);
  // True when it was held.
  bool Remove(const TListChannel& channel);
  // Puts `channel` first (moving it there when held, with the options given now) and lets the
  // oldest go beyond the limit; true when the list changed.
  bool PutFirst(const TListChannel& channel);

  // One "name TAB target TAB options" line per channel, each ended by LF; a backslash, tab, CR
  // or LF inside a field is written as \\, \t, \r or \n.
  std::string Compose() const;
  // Keeps each whole line that reads as a channel, in order, up to the limit; a line that is not
  // UTF-8, has fewer than three fields, an empty name, a broken escape or options that are no
  // playlist's, a repeated channel and a last line cut short are left out. Fields after the
  // third are ignored.
  static TWatchList Parse(std::string_view text, size_t limit = 0);

  // A missing, unreadable or damaged file gives what could be read; never throws.
  static TWatchList Load(const std::string& path, size_t limit = 0);
  // Replaces the file atomically (its folder is created when missing). Throws
  // std::runtime_error naming the file and the reason.
  void Save(const std::string& path) const;

 private:
  size_t limit_;
  std::vector<TListChannel> items_;
};

// The favourites' and the recently watched list's files: in "qelvu" under $XDG_DATA_HOME, or
// under ~/.local/share when that is unset or empty.
std::string GetFavouritesFileName();
std::string GetRecentFileName();

}  // namespace qelvu
