// The search keys of one channel list, kept with the list: built once, off the window's thread,
// from the names in tree order, and able to tell where a matching channel sits in a tree that
// shows the list. Immutable once built; any thread.
#pragma once

#include <memory>
#include <vector>

#include "channels/channel_tree.h"
#include "channels/search_index.h"
#include "channels/source_list.h"

namespace qelvu {

class TListKeys {
 public:
  // Names are GB18030 bytes, as the list holds them.
  static std::shared_ptr<const TListKeys> Build(const TChannelList& list);

  const std::shared_ptr<const TSearchIndex>& index() const { return index_; }
  // The node of channel number `channel` (the index's numbering), or nullptr out of range.
  TreeNode NodeOf(int channel) const;

 private:
  std::shared_ptr<const TSearchIndex> index_;
  // Per category, the number of its first channel; one more entry holds the channel count.
  std::vector<int> first_channel_;
};

}  // namespace qelvu
