// `TStyledTreeView`: Qt's tree view with the classic flat frame, focus-dependent
// background colours and an outline around the selection while unfocused.
//
// Expansion, selection and double-click are the QTreeView's own; this class adds the frame
// painted over its border, the resting/focused/disabled colours, the row height, wheel
// scrolling that leaves the selection alone, the node context-menu event and text save/load.
// The nodes come from any single-column model; until one is set the view shows its own item
// model, `Items()`. User-interface thread only.
#pragma once

#include <QPen>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>

#include "widgets/colors.h"
#include "widgets/frames.h"
#include "widgets/widget_error.h"

class QMenu;
class QStandardItemModel;

namespace qelvu {

enum TFramingPreference : std::uint8_t { fpCustomFraming, fpXPThemes };

class TCustomStyledTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit TCustomStyledTreeView(QWidget* parent = nullptr);

  // The view's own item model, shown until another model is set and again after LoadFromText.
  QStandardItemModel* Items() const { return items_; }
  void setModel(QAbstractItemModel* model) override;

  bool FrameVisible() const { return frame_visible_; }
  void SetFrameVisible(bool on);
  void SetFrameStyle(TFrameStyle style);
  void SetFrameColor(TColor color);
  void SetFrameSides(TSides sides);
  void SetFrameHotTrack(bool on);
  void SetFrameHotStyle(TFrameStyle style);
  void SetFrameHotColor(TColor color);
  void SetFramingPreference(TFramingPreference preference);
  // Off gives the plain 1-pixel border line, on the 2-pixel 3-D edge.
  void SetCtl3D(bool on);

  // The background now shown: disabled, focus or resting colour.
  TColor Color() const { return current_color_; }
  // Sets the resting colour, moving the focus colour along when the two were equal.
  void SetColor(TColor color);
  TColor FocusColor() const { return focus_color_; }
  void SetFocusColor(TColor color);
  TColor DisabledColor() const { return disabled_color_; }
  void SetDisabledColor(TColor color);
  TColor RestingColor() const { return resting_color_; }

  // Width 1 solid by default, in the button-shadow colour.
  void SetSelectionPen(const QPen& pen);
  void SetHideSelection(bool on);
  void SetRowSelect(bool on);
  void SetIndent(int indent) { setIndentation(indent); }
  int ItemHeight() const { return item_height_; }
  // 0 (or less, stored as 0) is the default row height.
  void SetItemHeight(int height);
  void SetAutoSelect(bool on);
  bool AutoExpand() const { return auto_expand_; }
  void SetAutoExpand(bool on);
  bool AutoSelect() const { return auto_select_; }
  void SetRightClickSelect(bool on) { right_click_select_ = on; }
  void SetPopupMenu(QMenu* menu) { popup_menu_ = menu; }

  // One line per node of the shown model, indented by one tab per level.
  QStringList SaveToText() const;
  // Replaces the contents of `Items()` and shows them; a line more than one level deeper than
  // the one before raises EWidgetError naming the level and the item, leaving the items read
  // so far.
  void LoadFromText(const QStringList& lines);

 signals:
  // A receiver may replace `menu` (or set it to nullptr to show none) and move `pos` (view
  // coordinates); the answers come back through the references, so it must be connected
  // directly (the default on this thread). `node` is invalid away from any node.
  void OnNodeContextMenu(const QModelIndex& node, QPoint& pos, QMenu*& menu);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void UpdateColorState();
  void ApplyColors();
  void UpdateBorder();
  void PaintFrame();
  void ShowNodeMenu(const QModelIndex& node, QPoint pos);

  bool frame_visible_ = false;
  TFrameStyle frame_style_ = fsFlat;
  TColor frame_color_ = clBtnShadow;
  TSides frame_sides_ = sdAllSides;
  bool frame_hot_track_ = false;
  TFrameStyle frame_hot_style_ = fsFlatBold;
  TColor frame_hot_color_ = clBtnShadow;
  TFramingPreference framing_preference_ = fpXPThemes;
  bool ctl3d_ = true;
  TColor current_color_ = clWindow;
  TColor resting_color_ = clWindow;
  TColor focus_color_ = clWindow;
  TColor disabled_color_ = clBtnFace;
  QPen selection_pen_;
  bool hide_selection_ = true;
  int item_height_ = 0;
  bool auto_select_ = false;
  bool auto_expand_ = false;
  bool right_click_select_ = false;
  bool mouse_over_ = false;
  // Wheel rotation not yet scrolled, in 120ths of a line.
  int wheel_remainder_ = 0;
  QStandardItemModel* items_;
  QPersistentModelIndex right_clicked_;
  QMenu* popup_menu_ = nullptr;
};

class TStyledTreeView : public TCustomStyledTreeView {
  Q_OBJECT

 public:
  using TCustomStyledTreeView::TCustomStyledTreeView;
};

}  // namespace qelvu
