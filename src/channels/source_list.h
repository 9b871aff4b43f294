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

struct TListChannel {
  std::string name;
  // A directory channel's URL suffix, or a playlist channel's absolute URL.
  std::string target;
  // The cache line's fourth field; empty for a directory channel.
  std::string options;

  friend bool operator==(const TListChannel&, const TListChannel&) = default;
};

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

// The list cache text describes, grouped as the tree is filled from it: a category starts
// wherever a line's category differs from the previous line's (so a name may come back), and
// lines before the first category are dropped. A fourth field that is not a playlist channel's
// options is dropped too.
TChannelList ListFromCacheText(std::string_view text);

// What becomes of one category of a new list in a tree that shows the old one.
struct TCategoryChange {
  // The old list's category whose node this one keeps, or -1 for a new node.
  int shown = -1;
  // How many channels the kept node keeps at its start and at its end; the ones between are
  // replaced by the new list's.
  size_t head = 0;
  size_t tail = 0;
};

// How a tree that shows one list comes to show another while touching as few nodes as it can:
// a category keeps its node when one of the same name (the n-th of that name for the n-th)
// stays in order, and within it only the channels between an unchanged start and an unchanged
// end are replaced. A category whose channels did not change is not touched at all.
struct TListChange {
  // The old list's shape, so that the tree can be checked to show it still.
  size_t shown_categories = 0;
  size_t shown_channels = 0;
  // The old list's categories whose nodes go, ascending.
  std::vector<int> removed;
  // One per category of the new list, in its order.
  std::vector<TCategoryChange> categories;
};
TListChange DiffLists(const TChannelList& shown, const TChannelList& list);

}  // namespace qelvu
