// Rendering helpers shared by the status bar and label tests.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

#include "widgets/colors.h"
#include "widgets/painter_canvas.h"

namespace qelvu::test {

// "宋体" at `pixel_size`; the test main maps it onto the installed CJK font.
inline QFont SongTi(int pixel_size) {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(pixel_size);
  return font;
}

// The widget (and its children) drawn over a button-face background, as on the window.
inline QImage Render(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(ToQColor(clBtnFace));
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

inline TColor PixelAt(const QImage& image, int x, int y) {
  return FromQColor(image.pixelColor(x, y));
}

// The bounding box of the pixels where `is_ink` holds; empty when there are none.
template <typename Predicate>
QRect InkBox(const QImage& image, Predicate is_ink) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (is_ink(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

inline bool Reddish(const QColor& c) { return c.red() - c.green() > 60 && c.red() - c.blue() > 60; }

}  // namespace qelvu::test
