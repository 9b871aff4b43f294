#include "widgets/styled_tree_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
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

}  // namespace

TCustomStyledTreeView::TCustomStyledTreeView(QWidget* parent)
    : QTreeView(parent),
      selection_pen_(ToQColor(clBtnShadow), 1, Qt::SolidLine),
      items_(new QStandardItemModel(this)) {
  setHeaderHidden(true);
  // A plain box reserves the border's width; PaintFrame paints over it.
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setIndentation(19);
  setFocusPolicy(Qt::StrongFocus);
  // The wheel scrolls by rows, as the classic control does.
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  // Every row has the same height, which spares the view asking each node for its size.
  setUniformRowHeights(true);
  setItemDelegate(new TRowHeightDelegate(item_height_, this));
  connect(this, &QTreeView::expanded, this, [this](const QModelIndex& node) {
    if (auto_select_) setCurrentIndex(node);
  });
  connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& node) {
    if (auto_select_) setCurrentIndex(node);
  });
  setModel(items_);
  UpdateBorder();
  UpdateColorState();
}

void TCustomStyledTreeView::setModel(QAbstractItemModel* model) {
  // Each model comes with a selection model of its own; the view made the old one and nothing
  // else shares it.
  QItemSelectionModel* old_selection = selectionModel();
  QTreeView::setModel(model);
  if (old_selection != nullptr && old_selection != selectionModel()) old_selection->deleteLater();
  right_clicked_ = QPersistentModelIndex();
  if (selectionModel() == nullptr) return;
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& node) {
            if (auto_expand_ && node.isValid()) expand(node);
          });
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
  const QAbstractItemModel* nodes = model();
  if (nodes == nullptr) return lines;
  std::function<void(const QModelIndex&, int)> save = [&](const QModelIndex& parent, int level) {
    for (int row = 0; row < nodes->rowCount(parent); ++row) {
      const QModelIndex node = nodes->index(row, 0, parent);
      lines << QString(level, QLatin1Char('\t')) + node.data().toString();
      save(node, level + 1);
    }
  };
  save(QModelIndex(), 0);
  return lines;
}

void TCustomStyledTreeView::LoadFromText(const QStringList& lines) {
  if (model() != items_) setModel(items_);
  items_->clear();
  std::vector<QStandardItem*> path;  // the last item of each level
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
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    (path.empty() ? items_->invisibleRootItem() : path.back())->appendRow(item);
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
  const bool result = QTreeView::event(event);
  // The scroll area paints its own border here (the viewport has its own paint events).
  if (event->type() == QEvent::Paint) PaintFrame();
  return result;
}

void TCustomStyledTreeView::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  if (hide_selection_ || hasFocus() || state() == EditingState) return;
  QModelIndex node = currentIndex();
  if (!node.isValid() || !selectionModel()->isSelected(node)) node = QModelIndex();
  if (right_click_select_ && right_clicked_.isValid()) node = right_clicked_;
  if (!node.isValid()) return;
  // The outline hugs the node's text, as the platform's text rectangle does.
  const QRect cell = visualRect(node);
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int text_width = fontMetrics().horizontalAdvance(node.data().toString()) + 2 * margin;
  QPainter painter(viewport());
  painter.setPen(selection_pen_);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRect(cell.left(), cell.top(), text_width - 1, cell.height() - 1));
}

void TCustomStyledTreeView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  UpdateColorState();
}

void TCustomStyledTreeView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  UpdateColorState();
}

void TCustomStyledTreeView::changeEvent(QEvent* event) {
  QTreeView::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) UpdateColorState();
}

void TCustomStyledTreeView::enterEvent(QEnterEvent* event) {
  QTreeView::enterEvent(event);
  mouse_over_ = true;
  if (frame_hot_track_) update();
}

void TCustomStyledTreeView::leaveEvent(QEvent* event) {
  QTreeView::leaveEvent(event);
  mouse_over_ = false;
  if (frame_hot_track_) update();
}

void TCustomStyledTreeView::wheelEvent(QWheelEvent* event) {
  event->accept();
  QScrollBar* bar = verticalScrollBar();
  if (bar->maximum() <= bar->minimum()) return;
  // High-resolution wheels and touchpads send parts of a notch: they add up, in lines, and what
  // is left under one line waits for the next event, unless the direction turns.
  const int delta = event->angleDelta().y();
  if ((delta > 0 && wheel_remainder_ < 0) || (delta < 0 && wheel_remainder_ > 0)) {
    wheel_remainder_ = 0;
  }
  wheel_remainder_ += delta * QApplication::wheelScrollLines();
  const int lines = wheel_remainder_ / 120;
  wheel_remainder_ -= lines * 120;
  if (lines != 0) bar->setValue(bar->value() - lines);
}

void TCustomStyledTreeView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) {
    right_clicked_ = QPersistentModelIndex();
    QTreeView::mousePressEvent(event);
    return;
  }
  // A right-click only points at a node; the selection stays where it was.
  right_clicked_ = indexAt(event->position().toPoint());
  setFocus(Qt::MouseFocusReason);
  event->accept();
}

void TCustomStyledTreeView::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    const QModelIndex node = currentIndex();
    ShowNodeMenu(node, node.isValid() ? visualRect(node).center() : QPoint(0, 0));
  } else {
    ShowNodeMenu(right_clicked_.isValid() ? QModelIndex(right_clicked_) : indexAt(event->pos()),
                 event->pos());
  }
}

void TCustomStyledTreeView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    QContextMenuEvent menu_event(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
    contextMenuEvent(&menu_event);
    return;
  }
  QTreeView::keyPressEvent(event);
}

void TCustomStyledTreeView::ShowNodeMenu(const QModelIndex& node, QPoint pos) {
  QMenu* menu = popup_menu_;
  emit OnNodeContextMenu(node, pos, menu);
  if (menu != nullptr) menu->popup(viewport()->mapToGlobal(pos));
}

}  // namespace qelvu
