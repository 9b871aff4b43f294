#include "widgets/painter_canvas.h"

#include <QPainter>

namespace qelvu {

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

TColor FromQColor(const QColor& color) { return RGB(color.red(), color.green(), color.blue()); }

QRect ToQRect(const TRect& rect) { return QRect(rect.left, rect.top, rect.Width(), rect.Height()); }

TRect FromQRect(const QRect& rect) {
  return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

void TPainterCanvas::FillRect(const TRect& rect, TColor color) {
  if (color == clNone || rect.IsEmpty()) return;
  painter_.fillRect(ToQRect(rect), ToQColor(color));
}

}  // namespace qelvu
