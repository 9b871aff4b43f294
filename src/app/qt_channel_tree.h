// `TChannelTree` as the item model of the real window's tree view.
//
// Lists run to hundreds of thousands of channels, of which only a screenful is ever on show, so
// the nodes are plain records in two levels (categories, and channels under them) holding their
// GBK bytes; the view's text is decoded only when it asks for it. A filter is a second shape of
// the same model: the rows it shows map onto the records, so that showing a few matches out of
// a large list never touches the others. Window thread only.
#pragma once

#include <QAbstractItemModel>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "channels/channel_tree.h"
#include "channels/source_list.h"

class QTreeView;

namespace qelvu {

class TQtChannelTree : public QAbstractItemModel, public TChannelTree {
 public:
  // Becomes `view`'s model, owned by the view.
  explicit TQtChannelTree(QTreeView* view);
  ~TQtChannelTree() override;

  // TChannelTree
  int NodeCount() const override;
  TreeNode NodeAt(int index) const override;
  std::string NodeText(TreeNode node) const override;
  const std::string* NodeData(TreeNode node) const override;
  const std::string* NodeOptions(TreeNode node) const override;
  TreeNode NodeParent(TreeNode node) const override;
  TreeNode AddCategory(std::string_view text) override;
  TreeNode AddChannel(TreeNode category, std::string_view text, std::string_view suffix,
                      std::string_view options = {}) override;
  void Clear() override;
  int CategoryCount() const override;
  int ChannelCount(TreeNode category) const override;
  TreeNode InsertCategory(int row, std::string_view text) override;
  void RemoveCategory(int row) override;
  void InsertChannels(TreeNode category, int row, const TListChannel* channels,
                      size_t count) override;
  void RemoveChannels(TreeNode category, int row, int count) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void Expand(TreeNode node) override;
  bool IsExpanded(TreeNode category) const override;
  void Select(TreeNode node) override;
  TreeNode Selected() const override;
  void SetFocus() override;
  TreeNode TopNode() const override;
  void ScrollToTop(TreeNode node) override;
  void ShowOnly(const std::vector<TreeNode>& channels) override;
  void ShowAll() override;
  bool Filtered() const override { return filtered_; }
  void SetPinned(const std::vector<TListCategory>& categories) override;
  int PinnedCount() const override;

  // The node a view index stands for; nullptr for an invalid index.
  TreeNode NodeOf(const QModelIndex& index) const;

  // QAbstractItemModel
  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Channel {
    std::string text;
    std::string suffix;
    // In options_, where the channels of one source share one copy.
    const std::string* options;
  };
  struct Category {
    // The row among the list's categories, or among the pinned ones.
    int row;
    std::string text;
    // A deque keeps every channel where it is as others are appended.
    std::deque<Channel> channels;
    bool pinned = false;
    // While filtered: the model's row of the category (-1: hidden) and its shown channels' rows;
    // for a pinned category, whether it was expanded when the filter hid it.
    int shown_row = -1;
    std::vector<int> shown;
    bool expanded = false;
  };

  // The records a handle names; out_of_range for a handle that names none.
  Category& CategoryOf(TreeNode node) const;
  // As CategoryOf, and invalid_argument for a pinned handle.
  Category& ListCategoryOf(TreeNode node) const;
  static TreeNode CategoryNodeOf(const Category& category);
  const Channel& ChannelOf(TreeNode node) const;
  // The pinned categories come first among the model's top rows, unless filtered away. The row
  // of a category's node in the model (-1: hidden), and the record behind a row of the model.
  int ModelRow(const Category& category) const;
  Category& CategoryAtModelRow(int row) const;
  int ChannelAtModelRow(const Category& category, int row) const;
  const std::string& TextFor(const QModelIndex& index) const;
  void SetPinnedChannels(Category& category, const std::vector<TListChannel>& channels);
  // The kept copy of `options`.
  const std::string* SharedOptions(std::string_view options);
  const std::string* PinnedOptions(std::string_view options);
  QModelIndex IndexOf(TreeNode node) const;
  // Renumbers the categories from `first` on, after an insert or a removal.
  void Renumber(size_t first);
  // The pre-order index of each category's own node, kept while nodes are only appended at the
  // end and rebuilt on demand otherwise.
  const std::vector<int>& CategoryStarts() const;

  QTreeView* view_;
  // Each record stays where it is, since the model's indexes point at them.
  std::vector<std::unique_ptr<Category>> categories_;
  std::vector<std::unique_ptr<Category>> pinned_;
  // Every options field the channels hold, each once: a playlist's channels nearly all have the
  // same, and a copy each would be most of the time and memory a channel takes.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
  TextSet options_;
  const std::string* last_options_ = nullptr;
  // The pinned channels' own, kept when the list and its options go: a few, and they outlive it.
  TextSet pinned_options_;
  bool filtered_ = false;
  std::vector<Category*> shown_categories_;
  int node_count_ = 0;
  int update_depth_ = 0;
  mutable std::vector<int> category_starts_;
  mutable bool category_starts_valid_ = true;
};

}  // namespace qelvu
