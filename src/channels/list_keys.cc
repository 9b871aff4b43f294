#include "channels/list_keys.h"

#include <algorithm>

namespace qelvu {

std::shared_ptr<const TListKeys> TListKeys::Build(const TChannelList& list) {
  auto keys = std::make_shared<TListKeys>();
  TSearchIndexBuilder builder;
  int count = 0;
  keys->first_channel_.reserve(list.size() + 1);
  for (const TListCategory& category : list) {
    keys->first_channel_.push_back(count);
    for (const TListChannel& channel : category.channels) builder.AddGbk(channel.name);
    count += static_cast<int>(category.channels.size());
  }
  keys->first_channel_.push_back(count);
  keys->index_ = std::make_shared<const TSearchIndex>(builder.Build());
  return keys;
}

TreeNode TListKeys::NodeOf(int channel) const {
  if (first_channel_.empty() || channel < 0 || channel >= first_channel_.back()) return nullptr;
  // The last category starting at or before the channel; empty categories share its start.
  const auto after = std::upper_bound(first_channel_.begin(), first_channel_.end() - 1, channel);
  const int category = static_cast<int>(after - first_channel_.begin()) - 1;
  return TreeNode::Channel(category, channel - first_channel_[static_cast<size_t>(category)]);
}

}  // namespace qelvu
