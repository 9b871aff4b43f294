// Geometry, drag limits and hot-spot drawing of a size panel's size bar, without Qt.
//
// A size panel sticks to one edge of its parent (its "type"); its size bar runs along the
// opposite edge and carries the collapse hot spot. The drag works on one integer, the
// drag position p: the would-be size for left- and top-type panels, the distance moved
// (negative when growing) for right- and bottom-type ones. Pure functions; any thread.
#pragma once

#include <cstdint>

#include "widgets/canvas.h"
#include "widgets/colors.h"
#include "widgets/dock.h"
#include "widgets/frames.h"

namespace qelvu {

enum TSizeBarType : std::uint8_t { sbLeft, sbRight, sbTop, sbBottom, sbNone };

// alNone and alCustom panels take their type from `side`; alClient panels have no bar.
TSizeBarType SizeBarTypeOf(TAlign align, TSides side);
// A vertical bar resizes the width.
inline bool IsVerticalBar(TSizeBarType type) { return type == sbLeft || type == sbRight; }

// The bar along the edge opposite the panel's own; `dock_site` widens it by one.
TRect SizeBarRect(TSizeBarType type, int width, int height, int bar_width, bool dock_site);
// `rect` less `amount` on the bar's side.
TRect TrimBarSide(const TRect& rect, TSizeBarType type, int amount);
// Centred on the bar, `percent` of its length (an even number of pixels).
TRect HotSpotRect(TSizeBarType type, const TRect& bar, int percent);

// What bounds a drag: the parent's free rectangle and the panel's own place.
struct TDragLimits {
  TRect free;    // parent's client rectangle less every docked sibling (and the panel)
  TRect bounds;  // the panel's rectangle in its parent
  int bar_width = 0;
  int margin_min = 0;
  int margin_max = 0;
};
// The lower bound is applied first and the upper second, so the upper one wins.
int ClampDragPosition(TSizeBarType type, int position, const TDragLimits& limits);
// The length the margins share, used to cut down margins that do not fit.
int AvailableLength(TSizeBarType type, const TDragLimits& limits);

struct THotSpotColors {
  TColor frame = clBtnShadow;
  TColor fill = clBtnFace;
  TColor dots = clHighlight;
};
// Frame, fill, two arrows and a dotted line. `points_back` turns the arrows towards the
// left (top) instead of the right (bottom).
void DrawHotSpot(TCanvas& canvas, const TRect& hot_spot, bool vertical, bool points_back,
                 const THotSpotColors& colors);

}  // namespace qelvu
