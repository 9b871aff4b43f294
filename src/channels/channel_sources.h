// Where channels come from: the channel directory site and M3U/M3U8 playlists (local files or
// http/https URLs), the user's list of them in the settings file, and the one way a source is
// read into its channels, shared by the program's refresh and by `qelvu-list`.
//
// `TSources` is a plain value; Load and Save touch the settings file (a QSettings INI file) and
// may run on any thread, one at a time per file. ReadChannelSource blocks its thread.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_scraper.h"
#include "channels/source_list.h"

namespace qelvu {

struct TChannelSource {
  enum class TKind { Directory, Playlist };

  TKind kind = TKind::Directory;
  // A playlist's absolute file path or its http/https URL; empty for the directory site, whose
  // address is the program's directory base URL.
  std::string location;

  static TChannelSource Directory() { return {}; }
  // A playlist as the user names it: an http or https URL (scheme in any letter case) as it
  // stands, anything else a file path, made absolute against the working folder.
  static TChannelSource Playlist(std::string_view given);

  bool IsDirectory() const { return kind == TKind::Directory; }
  bool IsWebAddress() const;
  // What a playlist channel's options record as its source: the location (empty for the
  // directory site, whose channels record none).
  const std::string& Key() const { return location; }

  friend bool operator==(const TChannelSource&, const TChannelSource&) = default;
};

// True for "http://..." and "https://..." in any letter case.
bool IsWebAddress(std::string_view text);

// The user's sources in the order the list shows them; never the same source twice.
class TSources {
 public:
  // The list without any configuration: the directory site alone.
  TSources() : items_{TChannelSource::Directory()} {}

  // The sources the settings file lists; the directory site alone when the file does not
  // exist or has no source list. Entries it cannot make sense of are skipped.
  static TSources Load(const std::string& settings_file);
  // Writes the list into the settings file (creating its folder), keeping the file's other
  // settings. Throws std::runtime_error naming the file when it cannot be written.
  void Save(const std::string& settings_file) const;

  const std::vector<TChannelSource>& Items() const { return items_; }
  bool Contains(const TChannelSource& source) const;
  // Appends `source` unless it is already there; true when it was added.
  bool Add(const TChannelSource& source);
  // Out-of-range indexes change nothing.
  void Remove(size_t index);
  // Moves the source at `from` to the place `to`, the others keeping their order.
  void Move(size_t from, size_t to);

  friend bool operator==(const TSources&, const TSources&) = default;

 private:
  std::vector<TChannelSource> items_;
};

// The settings file: qelvu/qelvu.conf under $XDG_CONFIG_HOME, or ~/.config when that is unset
// or empty.
std::string GetSettingsFileName();

// A source that could not be read, its text naming the source and the reason.
class ESourceFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure's text as the user should see it (an HTTP client failure with its class name).
std::string DescribeFailure(const std::exception& failure);

// A playlist's entries as list categories, their texts in GB18030, each channel's options
// naming `source_key`.
TChannelList PlaylistChannels(std::string_view bytes, std::string_view base_url,
                              std::string_view source_key);

// Throws ESourceFailed naming `source_name` when `list` holds no channel at all: an empty
// answer is no reason to forget a source's channels.
void RequireChannels(const TChannelList& list, const std::string& source_name);

// Reads `source` through `pages` (the directory site at `directory_base_url`: its two pages,
// without redirects; a web playlist following redirects; a file playlist from disk). Throws
// ESourceFailed when it cannot be read or gives no channel (RequireChannels).
TChannelList ReadChannelSource(const TChannelSource& source, const std::string& directory_base_url,
                               TPageSource& pages);

}  // namespace qelvu
