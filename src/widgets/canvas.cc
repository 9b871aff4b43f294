#include "widgets/canvas.h"

#include <algorithm>
#include <utility>

namespace qelvu {

void TCanvas::SetPixel(int x, int y, TColor color) { FillRect({x, y, x + 1, y + 1}, color); }

void TCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
  if (x1 == x2) {
    if (y2 < y1) std::swap(y1, y2), ++y1, ++y2;
    FillRect({x1, y1, x1 + 1, y2}, color);
  } else if (y1 == y2) {
    if (x2 < x1) std::swap(x1, x2), ++x1, ++x2;
    FillRect({x1, y1, x2, y1 + 1}, color);
  }
}

TImageCanvas::TImageCanvas(int width, int height, TColor background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * height_, ColorToRGB(background)) {}

TColor TImageCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void TImageCanvas::FillRect(const TRect& rect, TColor color) {
  if (color == clNone) return;
  const TColor rgb = ColorToRGB(color);
  for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, height_); ++y) {
    for (int x = std::max(rect.left, 0); x < std::min(rect.right, width_); ++x) {
      pixels_[static_cast<std::size_t>(y) * width_ + x] = rgb;
    }
  }
}

}  // namespace qelvu
