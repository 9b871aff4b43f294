// Draws the frame rules on screen: a `TCanvas` over a `QPainter`.
//
// Borrows the painter (which must outlive it); colours are resolved through the palette
// table at each call. Uses Qt Gui only. Call it where the painter may be used (the
// user-interface thread inside a paint event, or any thread for an image painter).
#pragma once

#include <QColor>
#include <QRect>

#include "widgets/canvas.h"

class QPainter;

namespace qelvu {

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
QRect ToQRect(const TRect& rect);
TRect FromQRect(const QRect& rect);

class TPainterCanvas : public TCanvas {
 public:
  explicit TPainterCanvas(QPainter& painter) : painter_(painter) {}

  void FillRect(const TRect& rect, TColor color) override;

 private:
  QPainter& painter_;
};

}  // namespace qelvu
