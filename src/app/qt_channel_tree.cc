#include "app/qt_channel_tree.h"

#include <QTreeView>
#include <algorithm>
#include <stdexcept>

#include "channels/gbk.h"
#include "channels/source_list.h"

namespace qelvu {

TQtChannelTree::TQtChannelTree(QTreeView* view) : QAbstractItemModel(view), view_(view) {
  view_->setModel(this);
}

TQtChannelTree::~TQtChannelTree() = default;

const std::vector<int>& TQtChannelTree::CategoryStarts() const {
  if (!category_starts_valid_) {
    category_starts_.clear();
    int start = 0;
    for (const auto& category : categories_) {
      category_starts_.push_back(start);
      start += 1 + static_cast<int>(category->channels.size());
    }
    category_starts_valid_ = true;
  }
  return category_starts_;
}

int TQtChannelTree::NodeCount() const { return node_count_; }

TreeNode TQtChannelTree::NodeAt(int index) const {
  if (index < 0 || index >= node_count_) return nullptr;
  const std::vector<int>& starts = CategoryStarts();
  const auto found = std::upper_bound(starts.begin(), starts.end(), index) - 1;
  const int category = static_cast<int>(found - starts.begin());
  const int offset = index - *found;
  if (offset == 0) return TreeNode::Category(category);
  return TreeNode::Channel(category, offset - 1);
}

TQtChannelTree::Category& TQtChannelTree::CategoryOf(TreeNode node) const {
  return *categories_.at(static_cast<size_t>(node.CategoryRow()));
}

const TQtChannelTree::Channel& TQtChannelTree::ChannelOf(TreeNode node) const {
  return CategoryOf(node).channels.at(static_cast<size_t>(node.ChannelRow()));
}

TQtChannelTree::Category& TQtChannelTree::CategoryAtModelRow(int row) const {
  return filtered_ ? *shown_categories_[static_cast<size_t>(row)]
                   : *categories_[static_cast<size_t>(row)];
}

int TQtChannelTree::ChannelAtModelRow(const Category& category, int row) const {
  return filtered_ ? category.shown[static_cast<size_t>(row)] : row;
}

std::string TQtChannelTree::NodeText(TreeNode node) const {
  return node.IsChannel() ? ChannelOf(node).text : CategoryOf(node).text;
}

const std::string* TQtChannelTree::NodeData(TreeNode node) const {
  return node.IsChannel() ? &ChannelOf(node).suffix : nullptr;
}

const std::string* TQtChannelTree::NodeOptions(TreeNode node) const {
  return node.IsChannel() ? ChannelOf(node).options : nullptr;
}

TreeNode TQtChannelTree::NodeParent(TreeNode node) const {
  return node.IsChannel() ? node.CategoryNode() : nullptr;
}

TreeNode TQtChannelTree::AddCategory(std::string_view text) {
  return InsertCategory(CategoryCount(), text);
}

TreeNode TQtChannelTree::AddChannel(TreeNode category_node, std::string_view text,
                                    std::string_view suffix, std::string_view options) {
  if (!category_node || category_node.IsChannel()) {
    throw std::invalid_argument("A channel belongs under a category node.");
  }
  const TListChannel channel{std::string(text), std::string(suffix), std::string(options)};
  const int row = ChannelCount(category_node);
  InsertChannels(category_node, row, &channel, 1);
  return TreeNode::Channel(category_node.CategoryRow(), row);
}

const std::string* TQtChannelTree::SharedOptions(std::string_view options) {
  // Channels come grouped by source, so the last one's is nearly always the one.
  if (last_options_ == nullptr || *last_options_ != options) {
    auto found = options_.find(options);
    if (found == options_.end()) found = options_.emplace(options).first;
    last_options_ = &*found;
  }
  return last_options_;
}

void TQtChannelTree::Clear() {
  beginResetModel();
  filtered_ = false;
  shown_categories_.clear();
  categories_.clear();
  options_.clear();
  last_options_ = nullptr;
  node_count_ = 0;
  category_starts_.clear();
  category_starts_valid_ = true;
  endResetModel();
}

int TQtChannelTree::CategoryCount() const { return static_cast<int>(categories_.size()); }

int TQtChannelTree::ChannelCount(TreeNode category) const {
  return static_cast<int>(CategoryOf(category).channels.size());
}

void TQtChannelTree::Renumber(size_t first) {
  for (size_t i = first; i < categories_.size(); ++i) categories_[i]->row = static_cast<int>(i);
}

TreeNode TQtChannelTree::InsertCategory(int row, std::string_view text) {
  ShowAll();
  if (row < 0 || row > CategoryCount()) throw std::out_of_range("No such category row.");
  // The record is made before the view hears of it, so a failed copy leaves the model whole.
  auto record = std::make_unique<Category>();
  record->row = row;
  record->text = text;
  const bool at_end = row == CategoryCount();
  beginInsertRows(QModelIndex(), row, row);
  categories_.insert(categories_.begin() + row, std::move(record));
  Renumber(static_cast<size_t>(row) + 1);
  if (at_end && category_starts_valid_) {
    category_starts_.push_back(node_count_);
  } else {
    category_starts_valid_ = false;
  }
  ++node_count_;
  endInsertRows();
  return TreeNode::Category(row);
}

void TQtChannelTree::RemoveCategory(int row) {
  ShowAll();
  const Category& category = CategoryOf(TreeNode::Category(row));
  beginRemoveRows(QModelIndex(), row, row);
  node_count_ -= 1 + static_cast<int>(category.channels.size());
  categories_.erase(categories_.begin() + row);
  Renumber(static_cast<size_t>(row));
  category_starts_valid_ = false;
  endRemoveRows();
}

void TQtChannelTree::InsertChannels(TreeNode category_node, int row, const TListChannel* channels,
                                    size_t count) {
  ShowAll();
  Category& category = CategoryOf(category_node);
  if (row < 0 || row > static_cast<int>(category.channels.size())) {
    throw std::out_of_range("No such channel row.");
  }
  if (count == 0) return;
  // Made before the view hears of them, so that a failed copy leaves the model whole; in one
  // allocation, not a deque's many.
  std::vector<Channel> records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    records.push_back({channels[i].name, channels[i].target, SharedOptions(channels[i].options)});
  }
  beginInsertRows(IndexOf(category_node.CategoryNode()), row, row + static_cast<int>(count) - 1);
  category.channels.insert(category.channels.begin() + row,
                           std::make_move_iterator(records.begin()),
                           std::make_move_iterator(records.end()));
  node_count_ += static_cast<int>(count);
  // Only an append to the last category leaves every category's start where it was.
  if (&category != categories_.back().get()) category_starts_valid_ = false;
  endInsertRows();
}

void TQtChannelTree::RemoveChannels(TreeNode category_node, int row, int count) {
  ShowAll();
  Category& category = CategoryOf(category_node);
  if (row < 0 || count < 0 || row + count > static_cast<int>(category.channels.size())) {
    throw std::out_of_range("No such channel rows.");
  }
  if (count == 0) return;
  beginRemoveRows(IndexOf(category_node.CategoryNode()), row, row + count - 1);
  category.channels.erase(category.channels.begin() + row, category.channels.begin() + row + count);
  node_count_ -= count;
  category_starts_valid_ = false;
  endRemoveRows();
}

void TQtChannelTree::BeginUpdate() {
  if (update_depth_++ == 0) view_->setUpdatesEnabled(false);
}

void TQtChannelTree::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0) view_->setUpdatesEnabled(true);
}

void TQtChannelTree::Expand(TreeNode node) {
  if (node) view_->expand(IndexOf(node));
}

bool TQtChannelTree::IsExpanded(TreeNode category) const {
  const QModelIndex index = IndexOf(category);
  return index.isValid() && view_->isExpanded(index);
}

void TQtChannelTree::Select(TreeNode node) { view_->setCurrentIndex(IndexOf(node)); }

TreeNode TQtChannelTree::Selected() const { return NodeOf(view_->currentIndex()); }

void TQtChannelTree::SetFocus() { view_->setFocus(); }

TreeNode TQtChannelTree::TopNode() const {
  // The middle of the row: clear of the indentation, whatever the node's depth.
  return NodeOf(view_->indexAt(QPoint(view_->viewport()->width() / 2, 1)));
}

void TQtChannelTree::ScrollToTop(TreeNode node) {
  const QModelIndex index = IndexOf(node);
  if (index.isValid()) view_->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TQtChannelTree::ShowOnly(const std::vector<TreeNode>& channels) {
  beginResetModel();
  for (const auto& category : categories_) {
    category->shown_row = -1;
    category->shown.clear();
  }
  shown_categories_.clear();
  filtered_ = true;
  for (const TreeNode node : channels) {
    if (!node.IsChannel() || node.CategoryRow() >= CategoryCount()) continue;
    Category& category = CategoryOf(node);
    if (node.ChannelRow() >= static_cast<int>(category.channels.size())) continue;
    if (category.shown_row < 0) {
      category.shown_row = static_cast<int>(shown_categories_.size());
      shown_categories_.push_back(&category);
    }
    category.shown.push_back(node.ChannelRow());
  }
  endResetModel();
  view_->expandAll();
}

void TQtChannelTree::ShowAll() {
  if (!filtered_) return;
  beginResetModel();
  filtered_ = false;
  shown_categories_.clear();
  for (const auto& category : categories_) {
    category->shown_row = -1;
    category->shown.clear();
    category->shown.shrink_to_fit();
  }
  endResetModel();
}

const std::string& TQtChannelTree::TextFor(const QModelIndex& index) const {
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return CategoryAtModelRow(index.row()).text;
  return category->channels[static_cast<size_t>(ChannelAtModelRow(*category, index.row()))].text;
}

QModelIndex TQtChannelTree::IndexOf(TreeNode node) const {
  if (!node || node.CategoryRow() >= CategoryCount()) return {};
  Category& category = CategoryOf(node);
  const int category_row = filtered_ ? category.shown_row : category.row;
  if (category_row < 0) return {};
  // A channel's index carries its category; a category's carries nothing.
  if (!node.IsChannel()) return createIndex(category_row, 0, nullptr);
  int row = node.ChannelRow();
  if (row >= static_cast<int>(category.channels.size())) return {};
  if (filtered_) {
    const auto found = std::lower_bound(category.shown.begin(), category.shown.end(), row);
    if (found == category.shown.end() || *found != row) return {};
    row = static_cast<int>(found - category.shown.begin());
  }
  return createIndex(row, 0, &category);
}

TreeNode TQtChannelTree::NodeOf(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return TreeNode::Category(CategoryAtModelRow(index.row()).row);
  return TreeNode::Channel(category->row, ChannelAtModelRow(*category, index.row()));
}

QModelIndex TQtChannelTree::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, 0, nullptr);
  return createIndex(row, 0, &CategoryAtModelRow(parent.row()));
}

QModelIndex TQtChannelTree::parent(const QModelIndex& child) const {
  const auto* category = static_cast<const Category*>(child.internalPointer());
  if (!child.isValid() || category == nullptr) return {};
  return createIndex(filtered_ ? category->shown_row : category->row, 0, nullptr);
}

int TQtChannelTree::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) {
    return static_cast<int>(filtered_ ? shown_categories_.size() : categories_.size());
  }
  if (parent.internalPointer() != nullptr) return 0;  // a channel
  const Category& category = CategoryAtModelRow(parent.row());
  return static_cast<int>(filtered_ ? category.shown.size() : category.channels.size());
}

int TQtChannelTree::columnCount(const QModelIndex&) const { return 1; }

QVariant TQtChannelTree::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return QString::fromStdString(GbkToUtf8(TextFor(index)));
}

Qt::ItemFlags TQtChannelTree::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.internalPointer() != nullptr) flags |= Qt::ItemNeverHasChildren;
  return flags;
}

}  // namespace qelvu
