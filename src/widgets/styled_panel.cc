#include "widgets/styled_panel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "widgets/painter_canvas.h"
#include "widgets/property.h"

namespace qelvu {

TCustomStyledPanel::TCustomStyledPanel(QWidget* parent)
    : QWidget(parent), layout_(new TDockLayout(this)) {
  resize(185, 41);
  UpdateChildArea();
}

void TCustomStyledPanel::SetBorderOuter(TFrameStyle style) {
  if (Assign(border_.outer, style)) Relayout();
}
void TCustomStyledPanel::SetBorderInner(TFrameStyle style) {
  if (Assign(border_.inner, style)) Relayout();
}
void TCustomStyledPanel::SetBorderSides(TSides sides) {
  if (Assign(border_.sides, sides)) Relayout();
}
void TCustomStyledPanel::SetBorderWidth(int width) {
  if (Assign(border_.border_width, width)) Relayout();
}
void TCustomStyledPanel::SetBevelWidth(int width) {
  if (Assign(border_.bevel_width, width)) Relayout();
}
void TCustomStyledPanel::SetBorderColor(TColor color) {
  if (Assign(border_.border_color, color)) update();
}
void TCustomStyledPanel::SetBorderHighlight(TColor color) {
  if (Assign(border_.border_highlight, color)) update();
}
void TCustomStyledPanel::SetBorderShadow(TColor color) {
  if (Assign(border_.border_shadow, color)) update();
}
void TCustomStyledPanel::SetFlatColor(TColor color) {
  if (Assign(border_.flat_color, color)) update();
}
void TCustomStyledPanel::SetFlatColorAdjustment(int amount) {
  if (Assign(border_.flat_color_adjustment, amount)) update();
}
void TCustomStyledPanel::SetColor(TColor color) {
  if (Assign(border_.color, color)) update();
}
void TCustomStyledPanel::SetCaption(const QString& caption) {
  if (Assign(caption_, caption)) update();
}
void TCustomStyledPanel::SetAlignment(TAlignment alignment) {
  if (Assign(alignment_, alignment)) update();
}
void TCustomStyledPanel::SetAlignmentVertical(TVerticalAlignment alignment) {
  if (Assign(alignment_vertical_, alignment)) update();
}
void TCustomStyledPanel::SetWordWrap(bool on) {
  if (Assign(word_wrap_, on)) update();
}
void TCustomStyledPanel::SetTextMargin(int margin) {
  if (Assign(text_margin_, margin)) update();
}
void TCustomStyledPanel::SetTextMarginVertical(int margin) {
  if (Assign(text_margin_vertical_, margin)) update();
}
void TCustomStyledPanel::SetVisualStyle(TVisualStyle style) {
  if (Assign(visual_style_, style)) update();
}
void TCustomStyledPanel::SetGradientColors(TColor start, TColor stop) {
  if (Assign(gradient_start_, start) | Assign(gradient_stop_, stop)) update();
}
void TCustomStyledPanel::SetTransparent(bool on) {
  if (Assign(border_.transparent, on)) update();
}
void TCustomStyledPanel::SetPaintClientArea(bool on) {
  if (Assign(paint_client_area_, on)) update();
}
void TCustomStyledPanel::SetFullRepaint(bool on) {
  // Without full repaints Qt may keep what is already on screen after a resize.
  if (Assign(full_repaint_, on)) setAttribute(Qt::WA_StaticContents, !on);
}
void TCustomStyledPanel::SetShowGrid(bool on) {
  if (Assign(show_grid_, on)) update();
}
void TCustomStyledPanel::SetGrid(TGridStyle style, TColor color, int x_size, int y_size) {
  grid_style_ = style;
  grid_color_ = color;
  grid_x_ = std::max(x_size, 1);
  grid_y_ = std::max(y_size, 1);
  if (show_grid_) update();
}

TColor TCustomStyledPanel::ParentColor() const {
  const QWidget* parent = parentWidget();
  if (const auto* panel = qobject_cast<const TCustomStyledPanel*>(parent)) return panel->Color();
  if (parent == nullptr) return clBtnFace;
  return FromQColor(parent->palette().color(parent->backgroundRole()));
}

TRect TCustomStyledPanel::BodyRect() const { return FromQRect(rect()); }

TRect TCustomStyledPanel::ChildArea() const { return PanelClientRect(FromQRect(rect()), border_); }

void TCustomStyledPanel::UpdateChildArea() {
  const TRect area = ChildArea();
  layout_->setContentsMargins(area.left, area.top, width() - area.right, height() - area.bottom);
  layout_->Arrange();
}

void TCustomStyledPanel::Relayout() {
  UpdateChildArea();
  update();
}

TPanelBorder TCustomStyledPanel::BorderState() const {
  TPanelBorder border = border_;
  border.parent_color = ParentColor();
  return border;
}

void TCustomStyledPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  const TRect inside = DrawPanelBorder(canvas, BodyRect(), BorderState());
  if (!border_.transparent && paint_client_area_) {
    if (visual_style_ == vsGradient) {
      QLinearGradient gradient(inside.left, 0, inside.right, 0);
      gradient.setColorAt(0, ToQColor(gradient_start_));
      gradient.setColorAt(1, ToQColor(gradient_stop_));
      painter.fillRect(ToQRect(inside), gradient);
    } else {
      canvas.FillRect(inside, border_.color);
    }
  }
  if (show_grid_) {
    for (int y = inside.top; y < inside.bottom; ++y) {
      for (int x = inside.left; x < inside.right; ++x) {
        const bool on_column = (x - inside.left) % grid_x_ == 0;
        const bool on_row = (y - inside.top) % grid_y_ == 0;
        const bool draw = grid_style_ == gsDots ? on_column && on_row
                          : grid_style_ == gsSolidLines
                              ? on_column || on_row
                              : (on_column && y % 2 == 0) || (on_row && x % 2 == 0);
        if (draw) canvas.SetPixel(x, y, grid_color_);
      }
    }
  }
  if (!caption_.isEmpty()) {
    QRect text_rect = ToQRect(inside).adjusted(text_margin_, text_margin_vertical_, -text_margin_,
                                               -text_margin_vertical_);
    int flags = Qt::TextExpandTabs | (word_wrap_ ? Qt::TextWordWrap : 0);
    flags |= alignment_ == taLeftJustify    ? Qt::AlignLeft
             : alignment_ == taRightJustify ? Qt::AlignRight
                                            : Qt::AlignHCenter;
    const int text_height = painter.fontMetrics().boundingRect(text_rect, flags, caption_).height();
    if (alignment_vertical_ == avCenter) {
      text_rect.moveTop((text_rect.top() + text_rect.bottom() + 1 - text_height) / 2);
    } else if (alignment_vertical_ == avBottom) {
      text_rect.moveTop(text_rect.bottom() + 1 - text_height - 1);
    }
    text_rect.setHeight(text_height);
    painter.setPen(isEnabled() ? palette().color(QPalette::WindowText) : ToQColor(clGrayText));
    painter.drawText(text_rect, flags | Qt::AlignTop, caption_);
  }
  emit Painted();
}

void TCustomStyledPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateChildArea();
  if (full_repaint_ || !caption_.isEmpty()) {
    update();
    return;
  }
  // Only the border strips along the right and bottom edges move with the size.
  const TRect area = ChildArea();
  const int right = width() - area.right;
  const int bottom = height() - area.bottom;
  if (event->oldSize().width() != width()) update(width() - right, 0, right, height());
  if (event->oldSize().height() != height()) update(0, height() - bottom, width(), bottom);
}

void TCustomStyledPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

}  // namespace qelvu
