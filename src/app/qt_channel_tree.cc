#include "app/qt_channel_tree.h"

#include <optional>

#include "app/gbk.h"

namespace qelvu {
namespace {

// A node of the channel tree: the GBK name and, for a channel, its own suffix. The shown text
// is decoded when the view asks for it rather than stored: lists run to hundreds of thousands
// of nodes, of which only a screenful is ever on show.
class ChannelItem : public QTreeWidgetItem {
 public:
  ChannelItem(std::string_view text, std::optional<std::string> suffix)
      : QTreeWidgetItem(UserType), text_(text), suffix_(std::move(suffix)) {}
  const std::string& bytes() const { return text_; }
  const std::string* suffix() const { return suffix_ ? &*suffix_ : nullptr; }

  QVariant data(int column, int role) const override {
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
      return QString::fromStdString(GbkToUtf8(text_));
    }
    return QTreeWidgetItem::data(column, role);
  }

 private:
  std::string text_;
  std::optional<std::string> suffix_;
};

ChannelItem* Item(TreeNode node) {
  return static_cast<ChannelItem*>(
      const_cast<QTreeWidgetItem*>(static_cast<const QTreeWidgetItem*>(node)));
}

}  // namespace

TQtChannelTree::TQtChannelTree(QTreeWidget* widget) : widget_(widget) {}

const std::vector<QTreeWidgetItem*>& TQtChannelTree::PreOrder() const {
  if (!pre_order_valid_) {
    pre_order_.clear();
    for (int i = 0; i < widget_->topLevelItemCount(); ++i) {
      QTreeWidgetItem* category = widget_->topLevelItem(i);
      pre_order_.push_back(category);
      for (int j = 0; j < category->childCount(); ++j) pre_order_.push_back(category->child(j));
    }
    pre_order_valid_ = true;
  }
  return pre_order_;
}

int TQtChannelTree::NodeCount() const { return static_cast<int>(PreOrder().size()); }

TreeNode TQtChannelTree::NodeAt(int index) const {
  const auto& nodes = PreOrder();
  return index >= 0 && index < static_cast<int>(nodes.size()) ? nodes[index] : nullptr;
}

std::string TQtChannelTree::NodeText(TreeNode node) const { return Item(node)->bytes(); }

const std::string* TQtChannelTree::NodeData(TreeNode node) const { return Item(node)->suffix(); }

TreeNode TQtChannelTree::NodeParent(TreeNode node) const { return Item(node)->parent(); }

TreeNode TQtChannelTree::AddCategory(std::string_view text) {
  auto* item = new ChannelItem(text, std::nullopt);
  widget_->addTopLevelItem(item);
  if (pre_order_valid_) pre_order_.push_back(item);
  return item;
}

TreeNode TQtChannelTree::AddChannel(TreeNode category, std::string_view text,
                                    std::string_view suffix) {
  ChannelItem* parent = Item(category);
  auto* item = new ChannelItem(text, std::string(suffix));
  parent->addChild(item);
  const bool parent_is_last = widget_->topLevelItemCount() > 0 &&
                              widget_->topLevelItem(widget_->topLevelItemCount() - 1) == parent;
  if (pre_order_valid_ && parent_is_last) {
    pre_order_.push_back(item);
  } else {
    pre_order_valid_ = false;
  }
  return item;
}

void TQtChannelTree::Clear() {
  widget_->clear();
  pre_order_.clear();
  pre_order_valid_ = true;
}

void TQtChannelTree::BeginUpdate() {
  if (update_depth_++ == 0) widget_->setUpdatesEnabled(false);
}

void TQtChannelTree::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0) widget_->setUpdatesEnabled(true);
}

void TQtChannelTree::Expand(TreeNode node) {
  if (node != nullptr) Item(node)->setExpanded(true);
}

void TQtChannelTree::Select(TreeNode node) { widget_->setCurrentItem(Item(node)); }

TreeNode TQtChannelTree::Selected() const { return widget_->currentItem(); }

void TQtChannelTree::SetFocus() { widget_->setFocus(); }

}  // namespace qelvu
