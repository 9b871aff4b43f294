#include "widgets/styled_tree_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

#include "widgets/painter_canvas.h"
#include "widgets/property.h"

namespace qelvu {
namespace {

// Gives every row the tree's `ItemHeight` when one is set.
class TRowHeightDelegate : public QStyledItemDelegate {
 public:
  TRowHeightDelegate(const int& height, QObject* parent)
      : QStyledItemDelegate(parent), height_(height) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (height_ > 0) size.setHeight(height_);
    return size;
  }

 private:
  const int& height_;
};

int LevelOf(const QTreeWidgetItem* item) {
  int level = 0;
  for (const QTreeWidgetItem* p = item->parent(); p != nullptr; p = p->parent()) ++level;
  return level;
}

}  // namespace

TCustomStyledTreeView::TCustomStyledTreeView(QWidget* parent)
    : QTreeWidget(parent), selection_pen_(ToQColor(clBtnShadow), 1, Qt::SolidLine) {
  setColumnCount(1);
  setHeaderHidden(true);
  // A plain box reserves the border's width; PaintFrame paints over it.
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setIndentation(19);
  setFocusPolicy(Qt::StrongFocus);
  // The wheel scrolls by rows, as the classic control does.
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setItemDelegate(new TRowHeightDelegate(item_height_, this));
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (auto_select_) setCurrentItem(item);
  });
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (auto_select_) setCurrentItem(item);
  });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (auto_expand_ && item != nullptr) item->setExpanded(true);
  });
  UpdateBorder();
  UpdateColorState();
}

void TCustomStyledTreeView::SetFrameVisible(bool on) {
  if (Assign(frame_visible_, on)) UpdateBorder();
}
void TCustomStyledTreeView::SetFrameStyle(TFrameStyle style) {
  if (Assign(frame_style_, style)) update();
}
void TCustomStyledTreeView::SetFrameColor(TColor color) {
  if (Assign(frame_color_, color)) update();
}
void TCustomStyledTreeView::SetFrameSides(TSides sides) {
  if (Assign(frame_sides_, sides)) update();
}
void TCustomStyledTreeView::SetFrameHotTrack(bool on) {
  if (Assign(frame_hot_track_, on)) update();
}
void TCustomStyledTreeView::SetFrameHotStyle(TFrameStyle style) {
  if (Assign(frame_hot_style_, style)) update();
}
void TCustomStyledTreeView::SetFrameHotColor(TColor color) {
  if (Assign(frame_hot_color_, color)) update();
}
void TCustomStyledTreeView::SetFramingPreference(TFramingPreference preference) {
  // Platform themes are never active here, so both preferences draw the custom frame.
  if (Assign(framing_preference_, preference)) update();
}
void TCustomStyledTreeView::SetCtl3D(bool on) {
  if (Assign(ctl3d_, on)) UpdateBorder();
}

void TCustomStyledTreeView::SetColor(TColor color) {
  if (focus_color_ == resting_color_) focus_color_ = color;
  resting_color_ = color;
  UpdateColorState();
}
void TCustomStyledTreeView::SetFocusColor(TColor color) {
  if (Assign(focus_color_, color)) UpdateColorState();
}
void TCustomStyledTreeView::SetDisabledColor(TColor color) {
  if (Assign(disabled_color_, color)) UpdateColorState();
}

void TCustomStyledTreeView::SetSelectionPen(const QPen& pen) {
  selection_pen_ = pen;
  viewport()->update();
}
void TCustomStyledTreeView::SetHideSelection(bool on) {
  if (Assign(hide_selection_, on)) ApplyColors();
}
void TCustomStyledTreeView::SetRowSelect(bool on) {
  setAllColumnsShowFocus(on);
  setSelectionBehavior(on ? SelectRows : SelectItems);
}
void TCustomStyledTreeView::SetItemHeight(int height) {
  if (Assign(item_height_, std::max(height, 0))) doItemsLayout();
}
void TCustomStyledTreeView::SetAutoSelect(bool on) {
  auto_select_ = on;
  if (on) auto_expand_ = false;
}
void TCustomStyledTreeView::SetAutoExpand(bool on) {
  auto_expand_ = on;
  if (on) auto_select_ = false;
}

QStringList TCustomStyledTreeView::SaveToText() const {
  QStringList lines;
  std::function<void(const QTreeWidgetItem*)> save = [&](const QTreeWidgetItem* item) {
    lines << QString(LevelOf(item), QLatin1Char('\t')) + item->text(0);
    for (int i = 0; i < item->childCount(); ++i) save(item->child(i));
  };
  for (int i = 0; i < topLevelItemCount(); ++i) save(topLevelItem(i));
  return lines;
}

void TCustomStyledTreeView::LoadFromText(const QStringList& lines) {
  clear();
  std::vector<QTreeWidgetItem*> path;  // the last item of each level
  for (const QString& line : lines) {
    if (line.isEmpty()) continue;
    int level = 0;
    while (level < line.size() && line[level] == QLatin1Char('\t')) ++level;
    const QString text = line.mid(level);
    if (level > static_cast<int>(path.size())) {
      throw EWidgetError(
          QStringLiteral("Invalid level (%1) for item \"%2\"").arg(level).arg(text).toStdString());
    }
    path.resize(level);
    auto* item = path.empty() ? new QTreeWidgetItem(this) : new QTreeWidgetItem(path.back());
    item->setText(0, text);
    path.push_back(item);
  }
  UpdateColorState();
}

void TCustomStyledTreeView::UpdateColorState() {
  current_color_ = !isEnabled() ? disabled_color_ : hasFocus() ? focus_color_ : resting_color_;
  ApplyColors();
}

void TCustomStyledTreeView::ApplyColors() {
  QPalette pal = palette();
  const QColor background = ToQColor(current_color_);
  pal.setColor(QPalette::Base, background);
  pal.setColor(QPalette::Window, background);
  pal.setColor(QPalette::Text, ToQColor(clWindowText));
  // The platform control shows the selection greyed while unfocused, or not at all
  // when it hides it.
  const bool focused = hasFocus();
  pal.setColor(QPalette::Highlight, ToQColor(focused           ? clHighlight
                                             : hide_selection_ ? current_color_
                                                               : clBtnFace));
  pal.setColor(QPalette::HighlightedText, ToQColor(focused ? clHighlightText : clWindowText));
  setPalette(pal);
  update();
  viewport()->update();
}

void TCustomStyledTreeView::UpdateBorder() {
  // The platform's border: the 3-D client edge, or a plain line without Ctl3D.
  setLineWidth(ctl3d_ ? 2 : 1);
  update();
}

void TCustomStyledTreeView::PaintFrame() {
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  const TRect rect{0, 0, width(), height()};
  if (ctl3d_) {
    DrawFrame(canvas, rect, fsLowered, sdAllSides);
  } else {
    DrawSides(canvas, rect, clWindowFrame, clWindowFrame, sdAllSides);
  }
  if (!frame_visible_) return;
  const bool hot = frame_hot_track_ && (hasFocus() || mouse_over_);
  DrawControlFrame(canvas, width(), height(), hot ? frame_hot_color_ : frame_color_, current_color_,
                   hot ? frame_hot_style_ : frame_style_, frame_sides_);
}

bool TCustomStyledTreeView::event(QEvent* event) {
  const bool result = QTreeWidget::event(event);
  // The scroll area paints its own border here (the viewport has its own paint events).
  if (event->type() == QEvent::Paint) PaintFrame();
  return result;
}

void TCustomStyledTreeView::paintEvent(QPaintEvent* event) {
  QTreeWidget::paintEvent(event);
  if (hide_selection_ || hasFocus() || state() == EditingState) return;
  QTreeWidgetItem* node = currentItem();
  if (node == nullptr || !node->isSelected()) node = nullptr;
  if (right_click_select_ && right_clicked_ != nullptr) node = right_clicked_;
  if (node == nullptr) return;
  // The outline hugs the item's text, as the platform's text rectangle does.
  const QRect cell = visualItemRect(node);
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int text_width = fontMetrics().horizontalAdvance(node->text(0)) + 2 * margin;
  const QRect cell_text = visualRect(indexFromItem(node));
  QPainter painter(viewport());
  painter.setPen(selection_pen_);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRect(cell_text.left(), cell.top(), text_width - 1, cell.height() - 1));
}

void TCustomStyledTreeView::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  UpdateColorState();
}

void TCustomStyledTreeView::focusOutEvent(QFocusEvent* event) {
  QTreeWidget::focusOutEvent(event);
  UpdateColorState();
}

void TCustomStyledTreeView::changeEvent(QEvent* event) {
  QTreeWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) UpdateColorState();
}

void TCustomStyledTreeView::enterEvent(QEnterEvent* event) {
  QTreeWidget::enterEvent(event);
  mouse_over_ = true;
  if (frame_hot_track_) update();
}

void TCustomStyledTreeView::leaveEvent(QEvent* event) {
  QTreeWidget::leaveEvent(event);
  mouse_over_ = false;
  if (frame_hot_track_) update();
}

void TCustomStyledTreeView::wheelEvent(QWheelEvent* event) {
  event->accept();
  QScrollBar* bar = verticalScrollBar();
  if (bar->maximum() <= bar->minimum()) return;
  const int notches = event->angleDelta().y() / 120;
  bar->setValue(bar->value() - notches * QApplication::wheelScrollLines());
}

void TCustomStyledTreeView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) {
    right_clicked_ = nullptr;
    QTreeWidget::mousePressEvent(event);
    return;
  }
  // A right-click only points at a node; the selection stays where it was.
  right_clicked_ = itemAt(event->position().toPoint());
  setFocus(Qt::MouseFocusReason);
  event->accept();
}

void TCustomStyledTreeView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    QTreeWidgetItem* node = currentItem();
    ShowNodeMenu(node, node ? visualItemRect(node).center() : QPoint(0, 0));
  } else {
    QTreeWidgetItem* node = right_clicked_ ? right_clicked_ : itemAt(event->pos());
    ShowNodeMenu(node, event->pos());
  }
}

void TCustomStyledTreeView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    QContextMenuEvent menu_event(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
    contextMenuEvent(&menu_event);
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void TCustomStyledTreeView::ShowNodeMenu(QTreeWidgetItem* node, QPoint pos) {
  QMenu* menu = popup_menu_;
  if (on_node_context_menu_) on_node_context_menu_(node, pos, menu);
  if (menu != nullptr) menu->popup(viewport()->mapToGlobal(pos));
}

}  // namespace qelvu
