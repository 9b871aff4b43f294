// Frame styles and the rules that draw them, shared by every widget.
//
// Each rule draws on a `TCanvas`, only on the sides in its `TSides` set, and returns the
// rectangle left inside the frame (inset only on the drawn sides). The "standard" rules
// draw in system colours; the "colour" rules derive their shades from a base colour.
// Pure functions without Qt; call them from the thread that owns the canvas.
#pragma once

#include <cstdint>

#include "widgets/canvas.h"
#include "widgets/colors.h"

namespace qelvu {

enum TFrameStyle : std::uint8_t {
  fsNone,
  fsFlat,
  fsGroove,
  fsBump,
  fsLowered,
  fsButtonDown,
  fsRaised,
  fsButtonUp,
  fsStatus,
  fsPopup,
  fsFlatBold,
  fsFlatRounded,
};
using TFrameStyleEx = TFrameStyle;

using TSides = std::uint8_t;
inline constexpr TSides sdLeft = 1;
inline constexpr TSides sdTop = 2;
inline constexpr TSides sdRight = 4;
inline constexpr TSides sdBottom = 8;
inline constexpr TSides sdAllSides = 15;

// Insets `rect` by `amount` on the given sides.
TRect InsetSides(const TRect& rect, TSides sides, int amount);

// One ring of 1-pixel lines: left and top in `upper_left` first, then right and bottom in
// `lower_right`.
TRect DrawSides(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                TSides sides);
// `rings` rings of DrawSides, each inside the previous one.
TRect DrawBevel(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                int rings, TSides sides);
// The groove/bump look: two offset rings with hand-set corner pixels; 2 pixels thick.
TRect DrawEtchedFrame(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                      TSides sides);
// A 2-pixel flat frame whose corners are cut by one diagonal pixel; the outermost corner
// pixels are left untouched.
TRect DrawRoundedFlatFrame(TCanvas& canvas, const TRect& rect, TColor color, TSides sides);

// `style` in system colours.
TRect DrawFrame(TCanvas& canvas, const TRect& rect, TFrameStyle style, TSides sides);
// `style` in shades of `base`.
TRect DrawColorFrame(TCanvas& canvas, const TRect& rect, TColor base, TFrameStyle style,
                     TSides sides);

// Thickness a style takes from a container's client area; `bevel_width` counts for
// fsStatus and fsPopup.
int FrameThickness(TFrameStyle style, int bevel_width);

// Everything the panel border rule needs to know about a panel.
struct TPanelBorder {
  TFrameStyle outer = fsRaised;
  TFrameStyle inner = fsNone;
  TSides sides = sdAllSides;
  int border_width = 0;
  int bevel_width = 1;
  TColor border_color = clBtnFace;
  TColor border_highlight = clBtnHighlight;
  TColor border_shadow = clBtnShadow;
  TColor flat_color = clBtnShadow;
  int flat_color_adjustment = 30;
  TColor color = clBtnFace;
  TColor parent_color = clBtnFace;
  bool transparent = false;
};

// Outer frame, `border_width` rings of `border_color`, inner frame; returns the inside.
TRect DrawPanelBorder(TCanvas& canvas, const TRect& rect, const TPanelBorder& border);
// The client area a panel lays its children out in.
TRect PanelClientRect(const TRect& rect, const TPanelBorder& border);

// The frame a control paints over its whole window rectangle (0, 0, width, height): two
// rings in the control's colour, then `style` in `frame_color` (flat styles) or in system
// colours / shades of `color` (the others).
void DrawControlFrame(TCanvas& canvas, int width, int height, TColor frame_color, TColor color,
                      TFrameStyle style, TSides sides);

// Black dots on every second pixel of the four edges, starting one pixel in.
TRect DrawFocusBorder(TCanvas& canvas, const TRect& rect);

}  // namespace qelvu
