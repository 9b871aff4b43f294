// The channel list as the tree and the cache file hold it, gathered from several sources.
//
// Every text is GB18030 bytes (GBK, its subset, for the directory site's channels, which pass
// through unchanged). A playlist channel carries a fourth cache field, its options: its source
// and the request options its stream needs, as percent-encoded `key=value` pairs joined by '&'.
// A directory channel has none, so its cache line keeps the three fields it always had. Pure;
// any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_tree.h"
#include "channels/playlist.h"

namespace qelvu {

struct TListCategory {
  std::string name;
  std::vector<TListChannel> channels;

  friend bool operator==(const TListCategory&, const TListCategory&) = default;
};

// Categories in tree order.
using TChannelList = std::vector<TListCategory>;

// What a playlist channel's options field says. All UTF-8.
struct TChannelOptions {
  // The playlist's location as the sources name it; empty for a directory channel.
  std::string source;
  TRequestOptions request;

  friend bool operator==(const TChannelOptions&, const TChannelOptions&) = default;
};

// "source=...&user-agent=...&referer=...", empty pairs left out, the source always first. Every
// byte but letters, digits and "-._~:/@!$'()*+,;" is percent-encoded, so the field is plain
// ASCII whatever the encoding around it.
std::string EncodeChannelOptions(const TChannelOptions& options);
// Unknown keys and malformed pairs are skipped, so a later program's fields do no harm.
TChannelOptions DecodeChannelOptions(std::string_view field);
// True when a cache line's fourth field is a playlist channel's options (it names a source);
// anything else there is no field of this program's and is ignored, as it always was.
bool IsPlaylistOptions(std::string_view field);

// The cache file's text for `list`: one line per channel in tree order, each followed by CR LF.
// A list of directory channels alone gives the bytes the directory scraper writes.
std::string ComposeCacheText(const TChannelList& list);

// The list a tree shows, in pre-order (empty categories included). Window thread.
TChannelList ListFromTree(const TChannelTree& tree);

// The channels of the source `source_key` names (a playlist's location, or empty for the
// directory site) in `list`, each category as `list` has it, in list order.
TChannelList ChannelsOf(const TChannelList& list, std::string_view source_key);

// Joins the sources' own lists, in source order, into the list the tree shows. A category named
// like one of an earlier source's gathers this source's channels under that first one; within
// one source its categories stay as it lists them (the directory site may repeat one).
TChannelList ComposeList(std::vector<TChannelList> per_source);

// True when `list` is `shown` with channels and categories added at its end only, so the tree
// that shows `shown` can take the rest by appending.
bool ExtendsList(const TChannelList& shown, const TChannelList& list);

}  // namespace qelvu
