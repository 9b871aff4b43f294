// `TChannelTree` over a QTreeWidget: the real window's channel tree.
//
// Items keep their GBK bytes and suffix; the widget shows the decoded text. Window thread only.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "app/channel_tree.h"

namespace qelvu {

class TQtChannelTree : public TChannelTree {
 public:
  // Does not take ownership of `widget`.
  explicit TQtChannelTree(QTreeWidget* widget);

  int NodeCount() const override;
  TreeNode NodeAt(int index) const override;
  std::string NodeText(TreeNode node) const override;
  const std::string* NodeData(TreeNode node) const override;
  TreeNode NodeParent(TreeNode node) const override;
  TreeNode AddCategory(std::string_view text) override;
  TreeNode AddChannel(TreeNode category, std::string_view text, std::string_view suffix) override;
  void Clear() override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void Expand(TreeNode node) override;
  void Select(TreeNode node) override;
  TreeNode Selected() const override;
  void SetFocus() override;

 private:
  // The pre-order list is kept while nodes are only appended at the end, and rebuilt on demand
  // otherwise, so that walking the tree by index stays linear.
  const std::vector<QTreeWidgetItem*>& PreOrder() const;

  QTreeWidget* widget_;
  int update_depth_ = 0;
  mutable std::vector<QTreeWidgetItem*> pre_order_;
  mutable bool pre_order_valid_ = true;
};

}  // namespace qelvu
