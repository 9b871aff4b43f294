#include "app/qt_channel_tree.h"

#include <QTreeView>
#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "channels/gbk.h"

namespace qelvu {

TQtChannelTree::TQtChannelTree(QTreeView* view) : QAbstractItemModel(view), view_(view) {
  view_->setModel(this);
}

TQtChannelTree::~TQtChannelTree() = default;

const std::vector<int>& TQtChannelTree::CategoryStarts() const {
  if (!category_starts_valid_) {
    category_starts_.clear();
    int start = 0;
    for (const Category& category : categories_) {
      category_starts_.push_back(start);
      start += 1 + static_cast<int>(category.channels.size());
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

const TQtChannelTree::Category& TQtChannelTree::CategoryOf(TreeNode node) const {
  return categories_.at(static_cast<size_t>(node.CategoryRow()));
}

const TQtChannelTree::Channel& TQtChannelTree::ChannelOf(TreeNode node) const {
  return CategoryOf(node).channels.at(static_cast<size_t>(node.ChannelRow()));
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
  const int row = static_cast<int>(categories_.size());
  // The record is made before the view hears of it, so a failed copy leaves the model whole.
  Category record{row, std::string(text), {}};
  beginInsertRows(QModelIndex(), row, row);
  categories_.emplace_back(std::move(record));
  if (category_starts_valid_) category_starts_.push_back(node_count_);
  ++node_count_;
  endInsertRows();
  return TreeNode::Category(row);
}

TreeNode TQtChannelTree::AddChannel(TreeNode category_node, std::string_view text,
                                    std::string_view suffix, std::string_view options) {
  if (!category_node || category_node.IsChannel()) {
    throw std::invalid_argument("A channel belongs under a category node.");
  }
  auto& category = const_cast<Category&>(CategoryOf(category_node));
  const int row = static_cast<int>(category.channels.size());
  Channel record{std::string(text), std::string(suffix), SharedOptions(options)};
  beginInsertRows(IndexOf(category_node), row, row);
  category.channels.emplace_back(std::move(record));
  ++node_count_;
  // Only an append to the last category leaves every category's start where it was.
  if (&category != &categories_.back()) category_starts_valid_ = false;
  endInsertRows();
  return TreeNode::Channel(category.row, row);
}

void TQtChannelTree::AddChannels(TreeNode category_node, std::span<const TListChannel> channels) {
  if (!category_node || category_node.IsChannel()) {
    throw std::invalid_argument("A channel belongs under a category node.");
  }
  if (channels.empty()) return;
  auto& category = const_cast<Category&>(CategoryOf(category_node));
  std::vector<Channel> records;
  records.reserve(channels.size());
  for (const TListChannel& channel : channels) {
    records.push_back({channel.name, channel.target, SharedOptions(channel.options)});
  }
  const int first = static_cast<int>(category.channels.size());
  // One notice for the lot: the view's bookkeeping per notice costs more than a channel's copy.
  beginInsertRows(IndexOf(category_node), first, first + static_cast<int>(records.size()) - 1);
  category.channels.insert(category.channels.end(), std::make_move_iterator(records.begin()),
                           std::make_move_iterator(records.end()));
  node_count_ += static_cast<int>(records.size());
  if (&category != &categories_.back()) category_starts_valid_ = false;
  endInsertRows();
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
  categories_.clear();
  options_.clear();
  last_options_ = nullptr;
  node_count_ = 0;
  category_starts_.clear();
  category_starts_valid_ = true;
  endResetModel();
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

void TQtChannelTree::Select(TreeNode node) { view_->setCurrentIndex(IndexOf(node)); }

TreeNode TQtChannelTree::Selected() const {
  const QModelIndex current = view_->currentIndex();
  if (!current.isValid()) return nullptr;
  const auto* category = static_cast<const Category*>(current.internalPointer());
  if (category == nullptr) return TreeNode::Category(current.row());
  return TreeNode::Channel(category->row, current.row());
}

void TQtChannelTree::SetFocus() { view_->setFocus(); }

const std::string& TQtChannelTree::TextFor(const QModelIndex& index) const {
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return categories_[index.row()].text;
  return category->channels[index.row()].text;
}

QModelIndex TQtChannelTree::IndexOf(TreeNode node) const {
  if (!node) return {};
  // A channel's index carries its category; a category's carries nothing.
  if (!node.IsChannel()) return createIndex(CategoryOf(node).row, 0, nullptr);
  const Category& category = CategoryOf(node);
  return createIndex(node.ChannelRow(), 0, const_cast<Category*>(&category));
}

QModelIndex TQtChannelTree::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, 0, nullptr);
  return createIndex(row, 0, const_cast<Category*>(&categories_[parent.row()]));
}

QModelIndex TQtChannelTree::parent(const QModelIndex& child) const {
  const auto* category = static_cast<const Category*>(child.internalPointer());
  if (!child.isValid() || category == nullptr) return {};
  return createIndex(category->row, 0, nullptr);
}

int TQtChannelTree::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(categories_.size());
  if (parent.internalPointer() != nullptr) return 0;  // a channel
  return static_cast<int>(categories_[parent.row()].channels.size());
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
