#include "widgets/styled_label.h"

#include <QMouseEvent>
#include <QPainter>

#include "widgets/painter_canvas.h"
#include "widgets/property.h"
#include "widgets/shell_open.h"
#include "widgets/status_bar.h"

namespace qelvu {

TStyledLabel::TStyledLabel(QWidget* parent) : QWidget(parent) {
  border_.outer = fsNone;
  border_.inner = fsNone;
}

void TStyledLabel::Changed() {
  ApplyAutoSize();
  update();
}

void TStyledLabel::SetCaption(const QString& caption) {
  if (Assign(caption_, caption)) Changed();
}

void TStyledLabel::SetBorderOuter(TFrameStyle style) {
  if (Assign(border_.outer, style)) Changed();
}

void TStyledLabel::SetBorderInner(TFrameStyle style) {
  if (Assign(border_.inner, style)) Changed();
}

void TStyledLabel::SetBorderSides(TSides sides) {
  if (Assign(border_.sides, sides)) Changed();
}

void TStyledLabel::SetBorderWidth(int width) {
  if (Assign(border_.border_width, width)) Changed();
}

void TStyledLabel::SetBevelWidth(int width) {
  if (Assign(border_.bevel_width, width)) Changed();
}

void TStyledLabel::SetBorderColors(TColor color, TColor highlight, TColor shadow) {
  border_.border_color = color;
  border_.border_highlight = highlight;
  border_.border_shadow = shadow;
  update();
}

void TStyledLabel::SetFlatColor(TColor color, int adjustment) {
  border_.flat_color = color;
  border_.flat_color_adjustment = adjustment;
  update();
}

void TStyledLabel::SetTextStyle(TTextStyle style) {
  if (Assign(text_style_, style)) update();
}

void TStyledLabel::SetShadowColor(TColor color) {
  if (Assign(shadow_color_, color)) update();
}

void TStyledLabel::SetHighlightColor(TColor color) {
  if (Assign(highlight_color_, color)) update();
}

void TStyledLabel::SetShadowDepth(int depth) {
  if (Assign(shadow_depth_, depth)) update();
}

void TStyledLabel::SetLightTextStyle(bool on) {
  if (Assign(light_text_style_, on)) update();
}

void TStyledLabel::SetTextMargin(int margin) {
  if (Assign(text_margin_, margin)) Changed();
}

void TStyledLabel::SetAngle(int degrees) {
  const int angle = degrees < 0 ? 360 + degrees % 360 : degrees % 360;
  if (Assign(angle_, angle % 360)) update();
}

void TStyledLabel::SetRotation(TRotation rotation) {
  if (Assign(rotation_, rotation)) update();
}

void TStyledLabel::SetAlignment(TAlignment alignment) {
  if (Assign(alignment_, alignment)) update();
}

void TStyledLabel::SetLayout(TTextLayout layout) {
  if (Assign(layout_, layout)) update();
}

void TStyledLabel::SetWordWrap(bool on) {
  if (Assign(word_wrap_, on)) Changed();
}

void TStyledLabel::SetShowAccelChar(bool on) {
  if (Assign(show_accel_char_, on)) Changed();
}

void TStyledLabel::SetAutoSize(bool on) {
  if (Assign(auto_size_, on)) ApplyAutoSize();
}

TColor TStyledLabel::Color() const {
  return parent_color_ ? BackgroundColorOf(parentWidget()) : color_;
}

void TStyledLabel::SetColor(TColor color) {
  color_ = color;
  parent_color_ = false;
  update();
}

void TStyledLabel::SetParentColor(bool on) {
  if (Assign(parent_color_, on)) update();
}

void TStyledLabel::SetTransparent(bool on) {
  if (Assign(transparent_, on)) update();
}

void TStyledLabel::SetFontColor(TColor color) {
  font_color_ = color;
  if (!blinking_) current_text_color_ = color;
  update();
}

void TStyledLabel::SetBlinking(bool on) {
  if (!Assign(blinking_, on)) return;
  if (!on) current_text_color_ = font_color_;
  update();
}

void TStyledLabel::BlinkStateChanged(bool on) {
  current_text_color_ = on ? blink_color_ : font_color_;
  repaint();
}

int TStyledLabel::TextFlags() const {
  int flags = Qt::TextExpandTabs;
  flags |= word_wrap_ ? Qt::TextWordWrap : Qt::TextSingleLine;
  if (show_accel_char_) flags |= Qt::TextShowMnemonic;
  flags |= alignment_ == taLeftJustify    ? Qt::AlignLeft
           : alignment_ == taRightJustify ? Qt::AlignRight
                                          : Qt::AlignHCenter;
  flags |= layout_ == tlTop      ? Qt::AlignTop
           : layout_ == tlBottom ? Qt::AlignBottom
                                 : Qt::AlignVCenter;
  return flags;
}

TPanelBorder TStyledLabel::BorderState() const {
  TPanelBorder border = border_;
  border.color = Color();
  border.parent_color = BackgroundColorOf(parentWidget());
  border.transparent = transparent_;
  return border;
}

TRect TStyledLabel::Inside() const {
  return PanelClientRect({0, 0, width(), height()}, BorderState());
}

QSize TStyledLabel::AutoSizeExtent() const {
  const TRect inside = Inside();
  const int frame_width = width() - inside.Width();
  const int frame_height = height() - inside.Height();
  const int text_width = word_wrap_ ? std::max(inside.Width() - 2 * text_margin_, 1) : 0x7FFF;
  // An empty caption is measured as one blank, so the label keeps a line's height.
  const QRect text =
      fontMetrics().boundingRect(QRect(0, 0, text_width, 0x7FFF), TextFlags(),
                                 caption_.isEmpty() ? QStringLiteral(" ") : caption_);
  return {text.width() + frame_width + 2 * text_margin_,
          text.height() + frame_height + 2 * text_margin_};
}

void TStyledLabel::ApplyAutoSize() {
  if (!auto_size_) return;
  const QSize size = AutoSizeExtent();
  if (size == this->size()) return;
  // A right-aligned label grows to the left.
  const int left = alignment_ == taRightJustify ? x() + width() - size.width() : x();
  setGeometry(left, y(), size.width(), size.height());
}

void TStyledLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  const TRect inside = DrawPanelBorder(canvas, {0, 0, width(), height()}, BorderState());
  if (!transparent_) canvas.FillRect(inside, Color());
  if (caption_.isEmpty()) return;

  QRect text = ToQRect(inside).adjusted(text_margin_, text_margin_, -text_margin_, -text_margin_);
  painter.setClipRect(ToQRect(inside));
  if (rotation_ == roFlat && angle_ != 0) {
    // Turned about the label's centre; Qt turns clockwise, the angle counts anticlockwise.
    const QPointF centre = QRectF(text).center();
    painter.translate(centre);
    painter.rotate(-angle_);
    const QSize extent = fontMetrics().size(TextFlags(), caption_);
    text = QRect(QPoint(-extent.width() / 2, -extent.height() / 2), extent);
  }
  const auto draw = [&](int dx, int dy, TColor color) {
    painter.setPen(ToQColor(color));
    painter.drawText(text.translated(dx, dy), TextFlags(), caption_);
  };
  switch (text_style_) {
    case tsNormal:
      break;
    case tsRaised:
    case tsRecessed: {
      const int light = text_style_ == tsRaised ? -1 : 1;
      draw(light, light, highlight_color_);
      if (!light_text_style_) draw(-light, -light, shadow_color_);
      break;
    }
    case tsShadow:
      draw(shadow_depth_, shadow_depth_, shadow_color_);
      break;
  }
  draw(0, 0, isEnabled() ? current_text_color_ : clGrayText);
}

void TStyledLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) Changed();
}

void TStyledLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

void TStyledLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (!click) return;
  emit OnClick();
  Clicked();
}

void TStyledLabel::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (fly_by_enabled_) {
    color_before_fly_by_ = font_color_;
    SetFontColor(fly_by_color_);
  }
  emit OnMouseEnter();
}

void TStyledLabel::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (fly_by_enabled_) SetFontColor(color_before_fly_by_);
  emit OnMouseLeave();
}

// ---------------------------------------------------------------------------------------------
// TUrlLabel

TUrlLabel::TUrlLabel(QWidget* parent) : TStyledLabel(parent) {
  QFont link_font = font();
  link_font.setUnderline(true);
  setFont(link_font);
  SetFontColor(unvisited_color_);
  setCursor(Qt::PointingHandCursor);
}

void TUrlLabel::ApplyLinkColor() { SetFontColor(visited_ ? visited_color_ : unvisited_color_); }

void TUrlLabel::SetVisited(bool on) {
  if (Assign(visited_, on)) ApplyLinkColor();
}

void TUrlLabel::SetVisitedColor(TColor color) {
  if (Assign(visited_color_, color)) ApplyLinkColor();
}

void TUrlLabel::SetUnvisitedColor(TColor color) {
  if (Assign(unvisited_color_, color)) ApplyLinkColor();
}

void TUrlLabel::Clicked() {
  const QString target = url_.trimmed().isEmpty() ? Caption() : url_;
  if (target.trimmed().isEmpty()) return;
  if (ShellOpen(target.toStdString())) SetVisited(true);
}

}  // namespace qelvu
