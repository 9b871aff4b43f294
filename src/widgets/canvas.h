// The small drawing surface the frame, colour and hot-spot rules draw on.
//
// `TCanvas` knows three operations: set a pixel, draw a 1-pixel horizontal or vertical
// line, fill a rectangle. Lines follow the raster rule (the end point is not drawn) and
// rectangles are (left, top, right, bottom) with right and bottom exclusive. Colours are
// resolved (system colours looked up) when they are drawn. `TImageCanvas` is an
// in-memory implementation used to check drawings pixel by pixel; the on-screen one is
// `TPainterCanvas` (painter_canvas.h). No Qt here. Single-threaded, like any canvas.
#pragma once

#include <vector>

#include "widgets/colors.h"

namespace qelvu {

struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  // Nothing in `clNone` is drawn. The pixel and line defaults fill 1-pixel rectangles.
  virtual void FillRect(const TRect& rect, TColor color) = 0;
  virtual void SetPixel(int x, int y, TColor color);
  // Horizontal (y1 == y2) or vertical (x1 == x2) line covering x1 ... x2-1 (or y1 ... y2-1);
  // drawn backwards it still leaves out its end point.
  virtual void Line(int x1, int y1, int x2, int y2, TColor color);
};

// An image of resolved 0x00BBGGRR pixels; drawing outside it is clipped.
class TImageCanvas : public TCanvas {
 public:
  TImageCanvas(int width, int height, TColor background);

  int width() const { return width_; }
  int height() const { return height_; }
  // Resolved colour at (x, y), or `clNone` outside the image.
  TColor Pixel(int x, int y) const;

  void FillRect(const TRect& rect, TColor color) override;

 private:
  int width_;
  int height_;
  std::vector<TColor> pixels_;
};

}  // namespace qelvu
