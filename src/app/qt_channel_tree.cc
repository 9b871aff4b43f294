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
  const auto row = static_cast<size_t>(node.CategoryRow());
  return node.IsPinned() ? *pinned_.at(row) : *categories_.at(row);
}

TQtChannelTree::Category& TQtChannelTree::ListCategoryOf(TreeNode node) const {
  if (node.IsPinned()) throw std::invalid_argument("A pinned category is no part of the list.");
  return CategoryOf(node);
}

const TQtChannelTree::Channel& TQtChannelTree::ChannelOf(TreeNode node) const {
  return CategoryOf(node).channels.at(static_cast<size_t>(node.ChannelRow()));
}

int TQtChannelTree::ModelRow(const Category& category) const {
  if (filtered_) return category.pinned ? -1 : category.shown_row;
  return category.pinned ? category.row : PinnedCount() + category.row;
}

TQtChannelTree::Category& TQtChannelTree::CategoryAtModelRow(int row) const {
  if (filtered_) return *shown_categories_[static_cast<size_t>(row)];
  if (row < PinnedCount()) return *pinned_[static_cast<size_t>(row)];
  return *categories_[static_cast<size_t>(row - PinnedCount())];
}

int TQtChannelTree::ChannelAtModelRow(const Category& category, int row) const {
  return filtered_ && !category.pinned ? category.shown[static_cast<size_t>(row)] : row;
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
  if (!category_node || category_node.IsChannel() || category_node.IsPinned()) {
    throw std::invalid_argument("A channel belongs under a category node of the list.");
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

const std::string* TQtChannelTree::PinnedOptions(std::string_view options) {
  return &*pinned_options_.emplace(options).first;
}

void TQtChannelTree::Clear() {
  ShowAll();
  // The pinned categories stay, expanded or not, above an emptied list.
  const bool keep_pinned = !pinned_.empty();
  if (keep_pinned && categories_.empty()) return;
  if (keep_pinned) {
    beginRemoveRows(QModelIndex(), PinnedCount(), PinnedCount() + CategoryCount() - 1);
  } else {
    beginResetModel();
  }
  categories_.clear();
  options_.clear();
  last_options_ = nullptr;
  node_count_ = 0;
  category_starts_.clear();
  category_starts_valid_ = true;
  if (keep_pinned) {
    endRemoveRows();
  } else {
    endResetModel();
  }
}

int TQtChannelTree::CategoryCount() const { return static_cast<int>(categories_.size()); }

int TQtChannelTree::ChannelCount(TreeNode category) const {
  return static_cast<int>(ListCategoryOf(category).channels.size());
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
  beginInsertRows(QModelIndex(), PinnedCount() + row, PinnedCount() + row);
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
  beginRemoveRows(QModelIndex(), PinnedCount() + row, PinnedCount() + row);
  node_count_ -= 1 + static_cast<int>(category.channels.size());
  categories_.erase(categories_.begin() + row);
  Renumber(static_cast<size_t>(row));
  category_starts_valid_ = false;
  endRemoveRows();
}

void TQtChannelTree::InsertChannels(TreeNode category_node, int row, const TListChannel* channels,
                                    size_t count) {
  ShowAll();
  Category& category = ListCategoryOf(category_node);
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
  Category& category = ListCategoryOf(category_node);
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
  if (!filtered_) {
    for (const auto& category : pinned_) category->expanded = IsExpanded(CategoryNodeOf(*category));
  }
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
  for (const auto& category : pinned_) {
    if (category->expanded) Expand(CategoryNodeOf(*category));
  }
}

int TQtChannelTree::PinnedCount() const { return static_cast<int>(pinned_.size()); }

void TQtChannelTree::SetPinned(const std::vector<TListCategory>& categories) {
  const auto make = [&categories](size_t row) {
    auto record = std::make_unique<Category>();
    record->row = static_cast<int>(row);
    record->text = categories[row].name;
    record->pinned = true;
    return record;
  };
  if (filtered_) {
    // Out of the model while filtered: the records change unseen, each staying one keeping the
    // expansion ShowAll gives back.
    std::vector<std::unique_ptr<Category>> records;
    for (size_t row = 0; row < categories.size(); ++row) {
      auto& record = records.emplace_back(make(row));
      for (const auto& old : pinned_) {
        if (old->text == record->text) record->expanded = old->expanded;
      }
      for (const TListChannel& channel : categories[row].channels) {
        record->channels.push_back({channel.name, channel.target, PinnedOptions(channel.options)});
      }
    }
    pinned_ = std::move(records);
    return;
  }
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
      auto record = make(row);
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
           *shown.options == channel.options;
  };
  if (std::equal(category.channels.begin(), category.channels.end(), channels.begin(),
                 channels.end(), same)) {
    return;
  }
  const QModelIndex parent = createIndex(ModelRow(category), 0, nullptr);
  if (!category.channels.empty()) {
    beginRemoveRows(parent, 0, static_cast<int>(category.channels.size()) - 1);
    category.channels.clear();
    endRemoveRows();
  }
  if (channels.empty()) return;
  beginInsertRows(parent, 0, static_cast<int>(channels.size()) - 1);
  for (const TListChannel& channel : channels) {
    category.channels.push_back({channel.name, channel.target, PinnedOptions(channel.options)});
  }
  endInsertRows();
}

const std::string& TQtChannelTree::TextFor(const QModelIndex& index) const {
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return CategoryAtModelRow(index.row()).text;
  return category->channels[static_cast<size_t>(ChannelAtModelRow(*category, index.row()))].text;
}

QModelIndex TQtChannelTree::IndexOf(TreeNode node) const {
  if (!node || node.CategoryRow() >= (node.IsPinned() ? PinnedCount() : CategoryCount())) return {};
  Category& category = CategoryOf(node);
  const int category_row = ModelRow(category);
  if (category_row < 0) return {};
  // A channel's index carries its category; a category's carries nothing.
  if (!node.IsChannel()) return createIndex(category_row, 0, nullptr);
  int row = node.ChannelRow();
  if (row >= static_cast<int>(category.channels.size())) return {};
  if (filtered_ && !category.pinned) {
    const auto found = std::lower_bound(category.shown.begin(), category.shown.end(), row);
    if (found == category.shown.end() || *found != row) return {};
    row = static_cast<int>(found - category.shown.begin());
  }
  return createIndex(row, 0, &category);
}

TreeNode TQtChannelTree::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  const auto* category = static_cast<const Category*>(index.internalPointer());
  if (category == nullptr) return CategoryNodeOf(CategoryAtModelRow(index.row()));
  const int row = ChannelAtModelRow(*category, index.row());
  return category->pinned ? TreeNode::PinnedChannel(category->row, row)
                          : TreeNode::Channel(category->row, row);
}

TreeNode TQtChannelTree::CategoryNodeOf(const Category& category) {
  return category.pinned ? TreeNode::PinnedCategory(category.row)
                         : TreeNode::Category(category.row);
}

QModelIndex TQtChannelTree::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, 0, nullptr);
  return createIndex(row, 0, &CategoryAtModelRow(parent.row()));
}

QModelIndex TQtChannelTree::parent(const QModelIndex& child) const {
  const auto* category = static_cast<const Category*>(child.internalPointer());
  if (!child.isValid() || category == nullptr) return {};
  return createIndex(ModelRow(*category), 0, nullptr);
}

int TQtChannelTree::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) {
    return filtered_ ? static_cast<int>(shown_categories_.size()) : PinnedCount() + CategoryCount();
  }
  if (parent.internalPointer() != nullptr) return 0;  // a channel
  const Category& category = CategoryAtModelRow(parent.row());
  return static_cast<int>(filtered_ && !category.pinned ? category.shown.size()
                                                        : category.channels.size());
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
