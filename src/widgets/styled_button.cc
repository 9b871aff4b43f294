#include "widgets/styled_button.h"

#include <QImage>
#include <QPainter>

#include "widgets/frames.h"
#include "widgets/painter_canvas.h"
#include "widgets/property.h"

namespace qelvu {

TCustomStyledButton::TCustomStyledButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  resize(75, 25);
}

void TCustomStyledButton::SetColor(TColor color) {
  if (Assign(color_, color)) update();
}
void TCustomStyledButton::SetAlignment(TAlignment alignment) {
  if (Assign(alignment_, alignment)) update();
}
void TCustomStyledButton::SetShowFocusRect(bool on) {
  if (Assign(show_focus_rect_, on)) update();
}
void TCustomStyledButton::SetShowDownPattern(bool on) {
  if (Assign(show_down_pattern_, on)) update();
}
void TCustomStyledButton::SetDefault(bool on) {
  if (Assign(default_, on)) update();
}

void TCustomStyledButton::SetGroupIndex(int index) {
  group_index_ = index;
  setCheckable(index != 0);
}

void TCustomStyledButton::SetDown(bool down) {
  if (group_index_ == 0 || !Assign(down_, down)) return;
  if (down_ && parentWidget() != nullptr) {
    for (auto* other : parentWidget()->findChildren<TCustomStyledButton*>(
             QString(), Qt::FindDirectChildrenOnly)) {
      if (other != this && other->group_index_ == group_index_) other->SetDown(false);
    }
  }
  update();
}

void TCustomStyledButton::nextCheckState() {
  // A grouped button toggles on click; without AllowAllUp the last one down stays down.
  if (!down_ || allow_all_up_) SetDown(!down_);
}

void TCustomStyledButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TPainterCanvas canvas(painter);
  const TRect client{0, 0, width(), height()};
  const bool grouped = group_index_ != 0;
  const bool down_look = isDown();
  TRect r = client;
  if (!grouped && (default_ || hasFocus()) && !down_look) {
    r = DrawSides(canvas, r, clWindowFrame, clWindowFrame, sdAllSides);
  }
  const TFrameStyle style = grouped && down_ ? fsLowered : down_look ? fsButtonDown : fsButtonUp;
  r = ColorToRGB(color_) == ColorToRGB(clBtnFace)
          ? DrawFrame(canvas, r, style, sdAllSides)
          : DrawColorFrame(canvas, r, color_, style, sdAllSides);
  if (grouped && down_ && show_down_pattern_) {
    // The classic "stays down" look: the face checkered with light grey.
    const QColor face = ToQColor(color_);
    const QColor other =
        ColorToRGB(color_) == RGB(192, 192, 192) ? QColor(128, 128, 128) : QColor(192, 192, 192);
    QImage pattern(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) pattern.setPixelColor(x, y, (x + y) % 2 ? other : face);
    }
    painter.fillRect(ToQRect(r), QBrush(pattern));
  } else {
    canvas.FillRect(r, color_);
  }

  const int shift = down_look ? 1 : 0;
  const QRect text_rect =
      QRect(0, 0, width(), height()).adjusted(5, 5, -5, -5).translated(shift, shift);
  const int halign = alignment_ == taLeftJustify    ? Qt::AlignLeft
                     : alignment_ == taRightJustify ? Qt::AlignRight
                                                    : Qt::AlignHCenter;
  painter.setFont(font());
  painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : ToQColor(clGrayText));
  painter.drawText(
      text_rect,
      halign | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextExpandTabs | Qt::TextShowMnemonic,
      text());
  if (hasFocus() && show_focus_rect_) DrawFocusBorder(canvas, InsetSides(client, sdAllSides, 4));
}

}  // namespace qelvu
