#include "widgets/size_bar.h"

#include <algorithm>
#include <cmath>

namespace qelvu {

TSizeBarType SizeBarTypeOf(TAlign align, TSides side) {
  switch (align) {
    case alLeft:
      return sbLeft;
    case alRight:
      return sbRight;
    case alTop:
      return sbTop;
    case alBottom:
      return sbBottom;
    case alClient:
      return sbNone;
    default:
      return side == sdRight    ? sbRight
             : side == sdTop    ? sbTop
             : side == sdBottom ? sbBottom
                                : sbLeft;
  }
}

TRect SizeBarRect(TSizeBarType type, int width, int height, int bar_width, bool dock_site) {
  const int d = dock_site ? 1 : 0;
  switch (type) {
    case sbLeft:
      return {width - bar_width - d, 0, width, height};
    case sbRight:
      return {0, 0, bar_width + d, height};
    case sbTop:
      return {0, height - bar_width - d, width, height};
    case sbBottom:
      return {0, 0, width, bar_width + d};
    case sbNone:
      break;
  }
  return {};
}

TRect TrimBarSide(const TRect& rect, TSizeBarType type, int amount) {
  TRect r = rect;
  switch (type) {
    case sbLeft:
      r.right -= amount;
      break;
    case sbRight:
      r.left += amount;
      break;
    case sbTop:
      r.bottom -= amount;
      break;
    case sbBottom:
      r.top += amount;
      break;
    case sbNone:
      break;
  }
  return r;
}

TRect HotSpotRect(TSizeBarType type, const TRect& bar, int percent) {
  const bool vertical = IsVerticalBar(type);
  const int start = vertical ? bar.top : bar.left;
  const int length = vertical ? bar.Height() : bar.Width();
  const int half = static_cast<int>(std::nearbyint(length * percent / 100.0)) / 2;
  const int middle = start + length / 2;
  if (vertical) return {bar.left, middle - half, bar.right, middle + half};
  return {middle - half, bar.top, middle + half, bar.bottom};
}

int ClampDragPosition(TSizeBarType type, int position, const TDragLimits& limits) {
  const TRect& f = limits.free;
  const TRect& b = limits.bounds;
  const int keep = limits.margin_min + limits.bar_width + 1;
  int lower = position;
  int upper = position;
  switch (type) {
    case sbLeft:
      lower = keep, upper = f.right - limits.margin_max - b.left;
      break;
    case sbTop:
      lower = keep, upper = f.bottom - limits.margin_max - b.top;
      break;
    case sbRight:
      lower = f.left + limits.margin_max - b.left, upper = b.Width() - keep;
      break;
    case sbBottom:
      lower = f.top + limits.margin_max - b.top, upper = b.Height() - keep;
      break;
    case sbNone:
      return position;
  }
  return std::min(std::max(position, lower), upper);
}

int AvailableLength(TSizeBarType type, const TDragLimits& limits) {
  const TRect& f = limits.free;
  const TRect& b = limits.bounds;
  switch (type) {
    case sbLeft:
      return f.right - b.left;
    case sbTop:
      return f.bottom - b.top;
    case sbRight:
      return f.right + b.Width() - f.left;
    case sbBottom:
      return f.bottom + b.Height() - f.top;
    case sbNone:
      break;
  }
  return 0;
}

void DrawHotSpot(TCanvas& canvas, const TRect& r, bool vertical, bool points_back,
                 const THotSpotColors& colors) {
  DrawSides(canvas, r, colors.frame, colors.frame, sdAllSides);
  canvas.FillRect(InsetSides(r, sdAllSides, 1), colors.fill);
  // Work along the bar (a) and across it (c); swap back for horizontal bars.
  const int across_mid = vertical ? r.left + r.Width() / 2 : r.top + r.Height() / 2;
  const int start = vertical ? r.top : r.left;
  const int end = vertical ? r.bottom : r.right;
  auto pixel = [&](int along, int across) {
    vertical ? canvas.SetPixel(across, along, colors.dots)
             : canvas.SetPixel(along, across, colors.dots);
  };
  // Each arrow is a filled triangle: base 5 pixels long at across_mid -/+ 1, apex 2 away.
  const int base = points_back ? across_mid + 1 : across_mid - 1;
  const int step = points_back ? -1 : 1;
  for (int j = 0; j <= 2; ++j) {
    for (int a = 6 + j; a <= 10 - j; ++a) {
      pixel(start + a, base + j * step);
      pixel(end - a, base + j * step);
    }
  }
  const int dots = ((end - start) - 32) / 3;
  for (int i = 0; dots >= 0 && i <= dots; ++i) pixel(start + 15 + 3 * i, across_mid);
}

}  // namespace qelvu
