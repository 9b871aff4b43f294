#include "app/qt_channel_tree.h"

#include <QTreeView>
#include <algorithm>
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
  const auto row = static_cast<size_t>(node.CategoryRow());
  if (node.IsPinned()) return *pinned_.at(row);
  return categories_.at(row);
}

int TQtChannelTree::TopRow(const Category& category) const {
  return category.pinned ? category.row : PinnedCount() + category.row;
}

const TQtChannelTree::Category& TQtChannelTree::TopCategory(int top_row) const {
  if (top_row < PinnedCount()) return *pinned_[static_cast<size_t>(top_row)];
  return categories_[static_cast<size_t>(top_row - PinnedCount())];
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
  return node.IsChannel() ? &ChannelOf(node).options : nullptr;
}

TreeNode TQtChannelTree::NodeParent(TreeNode node) const {
  return node.IsChannel() ? node.CategoryNode() : nullptr;
}

TreeNode TQtChannelTree::AddCategory(std::string_view text) {
  const int row = static_cast<int>(categories_.size());
  // The record is made before the view hears of it, so a failed copy leaves the model whole.
  Category record{row, std::string(text), {}};
  beginInsertRows(QModelIndex(), PinnedCount() + row, PinnedCount() + row);
  categories_.emplace_back(std::move(record));
  if (category_starts_valid_) category_starts_.push_back(node_count_);
  ++node_count_;
  endInsertRows();
  return TreeNode::Category(row);
}

TreeNode TQtChannelTree::AddChannel(TreeNode category_node, std::string_view text,
                                    std::string_view suffix, std::string_view options) {
  if (!category_node || category_node.IsChannel() || category_node.IsPinned()) {
    throw std::invalid_argument("A channel belongs under a category node of the list.");
  }
  auto& category = const_cast<Category&>(CategoryOf(category_node));
  const int row = static_cast<int>(category.channels.size());
  Channel record{std::string(text), std::string(suffix), std::string(options)};
  beginInsertRows(IndexOf(category_node), row, row);
  category.channels.emplace_back(std::move(record));
  ++node_count_;
  // Only an append to the last category leaves every category's start where it was.
  if (&category != &categories_.back()) category_starts_valid_ = false;
  endInsertRows();
  return TreeNode::Channel(category.row, row);
}

void TQtChannelTree::Clear() {
  // The pinned categories stay, expanded or not, above an emptied list.
  const bool keep_pinned = !pinned_.empty();
  if (keep_pinned && categories_.empty()) return;
  if (keep_pinned) {
    beginRemoveRows(QModelIndex(), PinnedCount(),
                    PinnedCount() + static_cast<int>(categories_.size()) - 1);
  } else {
    beginResetModel();
  }
  categories_.clear();
  node_count_ = 0;
  category_starts_.clear();
  category_starts_valid_ = true;
  if (keep_pinned) {
    endRemoveRows();
  } else {
    endResetModel();
  }
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

TreeNode TQtChannelTree::Selected() const { return NodeOf(view_->currentIndex()); }

TreeNode TQtChannelTree::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) {
    const int pinned = PinnedCount();
    if (index.row() < pinned) return TreeNode::PinnedCategory(index.row());
    return TreeNode::Category(index.row() - pinned);
  }
  if (category->pinned) return TreeNode::PinnedChannel(category->row, index.row());
  return TreeNode::Channel(category->row, index.row());
}

void TQtChannelTree::SetFocus() { view_->setFocus(); }

int TQtChannelTree::PinnedCount() const { return static_cast<int>(pinned_.size()); }

void TQtChannelTree::SetPinned(const std::vector<TListCategory>& categories) {
  const auto wanted = [&categories](const std::string& name) {
    return std::any_of(categories.begin(), categories.end(),
                       [&name](const TListCategory& category) { return category.name == name; });
  };
  // Those going go first, so that each one staying meets its place in the new order.
  for (int row = PinnedCount() - 1; row >= 0; --row) {
    if (wanted(pinned_[static_cast<size_t>(row)]->text)) continue;
    beginRemoveRows(QModelIndex(), row, row);
    pinned_.erase(pinned_.begin() + row);
    for (size_t i = static_cast<size_t>(row); i < pinned_.size(); ++i) {
      pinned_[i]->row = static_cast<int>(i);
    }
    endRemoveRows();
  }
  for (size_t row = 0; row < categories.size(); ++row) {
    const TListCategory& category = categories[row];
    if (row >= pinned_.size() || pinned_[row]->text != category.name) {
      auto record =
          std::make_unique<Category>(Category{static_cast<int>(row), category.name, {}, true});
      beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row));
      pinned_.insert(pinned_.begin() + static_cast<std::ptrdiff_t>(row), std::move(record));
      for (size_t i = row + 1; i < pinned_.size(); ++i) pinned_[i]->row = static_cast<int>(i);
      endInsertRows();
    }
    SetPinnedChannels(*pinned_[row], category.channels);
  }
  // Left over beyond them: the old place of a category that moved up and was inserted anew.
  if (pinned_.size() > categories.size()) {
    beginRemoveRows(QModelIndex(), static_cast<int>(categories.size()), PinnedCount() - 1);
    pinned_.resize(categories.size());
    endRemoveRows();
  }
}

void TQtChannelTree::SetPinnedChannels(Category& category,
                                       const std::vector<TListChannel>& channels) {
  const auto same = [](const Channel& shown, const TListChannel& channel) {
    return shown.text == channel.name && shown.suffix == channel.target &&
           shown.options == channel.options;
  };
  if (std::equal(category.channels.begin(), category.channels.end(), channels.begin(),
                 channels.end(), same)) {
    return;
  }
  const QModelIndex parent = createIndex(TopRow(category), 0, nullptr);
  if (!category.channels.empty()) {
    beginRemoveRows(parent, 0, static_cast<int>(category.channels.size()) - 1);
    category.channels.clear();
    endRemoveRows();
  }
  if (channels.empty()) return;
  beginInsertRows(parent, 0, static_cast<int>(channels.size()) - 1);
  for (const TListChannel& channel : channels) {
    category.channels.push_back({channel.name, channel.target, channel.options});
  }
  endInsertRows();
}

const std::string& TQtChannelTree::TextFor(const QModelIndex& index) const {
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return TopCategory(index.row()).text;
  return category->channels[static_cast<size_t>(index.row())].text;
}

QModelIndex TQtChannelTree::IndexOf(TreeNode node) const {
  if (!node) return {};
  // A channel's index carries its category; a category's carries nothing.
  if (!node.IsChannel()) return createIndex(TopRow(CategoryOf(node)), 0, nullptr);
  const Category& category = CategoryOf(node);
  return createIndex(node.ChannelRow(), 0, const_cast<Category*>(&category));
}

QModelIndex TQtChannelTree::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, 0, nullptr);
  return createIndex(row, 0, const_cast<Category*>(&TopCategory(parent.row())));
}

QModelIndex TQtChannelTree::parent(const QModelIndex& child) const {
  const auto* category = static_cast<const Category*>(child.internalPointer());
  if (!child.isValid() || category == nullptr) return {};
  return createIndex(TopRow(*category), 0, nullptr);
}

int TQtChannelTree::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return PinnedCount() + static_cast<int>(categories_.size());
  if (parent.internalPointer() != nullptr) return 0;  // a channel
  return static_cast<int>(TopCategory(parent.row()).channels.size());
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
