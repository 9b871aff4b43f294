// The node collection of the channel tree `tv1`: categories at the root, channels below them.
//
// A channel node owns its URL suffix (a GBK byte string, possibly empty); a category node has no
// data. Nodes are addressed by their place (`TreeNode`) and by their index in depth-first
// pre-order. Implemented by the real window's tree and by test fakes; window thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qelvu {

struct TListChannel;

// A node's place in the tree: its category's row and, for a channel, its row in the category,
// counted over every node whether shown or not. Valid while nodes are only appended (an insert
// or a removal moves the places after it; Clear ends every handle). The default handle, equal to
// nullptr, means "no node".
class TreeNode {
 public:
  constexpr TreeNode() = default;
  constexpr TreeNode(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): "no node"
  static constexpr TreeNode Category(int row) { return TreeNode(row, -1); }
  static constexpr TreeNode Channel(int category_row, int row) {
    return TreeNode(category_row, row);
  }

  constexpr explicit operator bool() const { return category_ >= 0; }
  constexpr bool IsChannel() const { return channel_ >= 0; }
  constexpr int CategoryRow() const { return category_; }
  // The channel's row in its category (-1 for a category node).
  constexpr int ChannelRow() const { return channel_; }
  // The category a channel belongs to; a category is its own.
  constexpr TreeNode CategoryNode() const { return TreeNode(category_, -1); }

  friend constexpr bool operator==(TreeNode, TreeNode) = default;

 private:
  constexpr TreeNode(int category, int channel) : category_(category), channel_(channel) {}

  int category_ = -1;
  int channel_ = -1;
};

class TChannelTree {
 public:
  virtual ~TChannelTree() = default;

  virtual int NodeCount() const = 0;
  // The node at `index` in depth-first pre-order (0 is the first category).
  virtual TreeNode NodeAt(int index) const = 0;
  virtual std::string NodeText(TreeNode node) const = 0;
  // The channel's URL suffix (a playlist channel's absolute URL), or nullptr for a category.
  virtual const std::string* NodeData(TreeNode node) const = 0;
  // A playlist channel's options (the cache line's fourth field; empty for a directory
  // channel), or nullptr for a category node.
  virtual const std::string* NodeOptions(TreeNode node) const = 0;
  virtual TreeNode NodeParent(TreeNode node) const = 0;

  // Appends a category node at the root level.
  virtual TreeNode AddCategory(std::string_view text) = 0;
  // Appends a channel node owning copies of `suffix` and `options` as the last child of
  // `category`.
  virtual TreeNode AddChannel(TreeNode category, std::string_view text, std::string_view suffix,
                              std::string_view options = {}) = 0;
  // Removes every node, releasing every suffix.
  virtual void Clear() = 0;

  virtual int CategoryCount() const = 0;
  virtual int ChannelCount(TreeNode category) const = 0;
  // Inserts an empty category node at root row `row` (0 to CategoryCount()).
  virtual TreeNode InsertCategory(int row, std::string_view text) = 0;
  // Removes the category node at `row` with its channels.
  virtual void RemoveCategory(int row) = 0;
  // Inserts channel nodes for channels[0, count) as rows `row`... of `category`.
  virtual void InsertChannels(TreeNode category, int row, const TListChannel* channels,
                              size_t count) = 0;
  // Removes `count` channel nodes of `category` from row `row` on.
  virtual void RemoveChannels(TreeNode category, int row, int count) = 0;

  // Suspend and resume redrawing around a bulk change.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;

  virtual void Expand(TreeNode node) = 0;
  virtual bool IsExpanded(TreeNode category) const = 0;
  // A node not shown (see ShowOnly) clears the selection.
  virtual void Select(TreeNode node) = 0;
  virtual TreeNode Selected() const = 0;
  virtual void SetFocus() = 0;
  // The node in the first row in view, or nullptr when the tree shows none; and scrolling so
  // that `node` is in that row, as far as the tree's length allows.
  virtual TreeNode TopNode() const = 0;
  virtual void ScrollToTop(TreeNode node) = 0;

  // Shows only `channels` (ascending pre-order) with their categories, every one expanded, and
  // no selection; ShowAll shows every node again, none expanded or selected. Structural changes
  // (inserts, removals, Clear) show every node first.
  virtual void ShowOnly(const std::vector<TreeNode>& channels) = 0;
  virtual void ShowAll() = 0;
  virtual bool Filtered() const = 0;
};

// Releases every channel node's suffix and removes all nodes.
inline void ClearChannelTree(TChannelTree& tree) { tree.Clear(); }

}  // namespace qelvu
