#include "widgets/frames.h"

namespace qelvu {
namespace {

bool Has(TSides sides, TSides side) { return (sides & side) != 0; }

// Two rings: outer (ul1, lr1), inner (ul2, lr2).
TRect DrawTwoRings(TCanvas& canvas, const TRect& rect, TColor ul1, TColor lr1, TColor ul2,
                   TColor lr2, TSides sides) {
  return DrawSides(canvas, DrawSides(canvas, rect, ul1, lr1, sides), ul2, lr2, sides);
}

TColor FlatColorOf(const TPanelBorder& border) {
  return AdjustedColor(border.flat_color, border.flat_color_adjustment);
}

// One frame of the panel border; `outer` selects which rings go under a rounded frame.
TRect DrawPanelFrame(TCanvas& canvas, const TRect& rect, TFrameStyle style,
                     const TPanelBorder& border, bool outer) {
  const TSides sides = border.sides;
  switch (style) {
    case fsFlat:
      return DrawSides(canvas, rect, FlatColorOf(border), FlatColorOf(border), sides);
    case fsFlatBold:
      return DrawBevel(canvas, rect, FlatColorOf(border), FlatColorOf(border), 2, sides);
    case fsFlatRounded: {
      const bool border_ring = border.border_width > 0 || border.inner != fsNone;
      if (outer) {
        if (!border.transparent) {
          const TRect inside =
              DrawSides(canvas, rect, border.parent_color, border.parent_color, sides);
          const TColor ring = border_ring ? border.border_color : border.color;
          DrawSides(canvas, inside, ring, ring, sides);
        } else if (border_ring) {
          DrawSides(canvas, InsetSides(rect, sides, 1), border.border_color, border.border_color,
                    sides);
        }
      } else {
        const TRect inside =
            DrawSides(canvas, rect, border.border_color, border.border_color, sides);
        if (!border.transparent) DrawSides(canvas, inside, border.color, border.color, sides);
      }
      return DrawRoundedFlatFrame(canvas, rect, FlatColorOf(border), sides);
    }
    case fsStatus:
      return DrawBevel(canvas, rect, border.border_shadow, border.border_highlight,
                       border.bevel_width, sides);
    case fsPopup:
      return DrawBevel(canvas, rect, border.border_highlight, border.border_shadow,
                       border.bevel_width, sides);
    default:
      return DrawFrame(canvas, rect, style, sides);
  }
}

}  // namespace

TRect InsetSides(const TRect& rect, TSides sides, int amount) {
  TRect r = rect;
  if (Has(sides, sdLeft)) r.left += amount;
  if (Has(sides, sdTop)) r.top += amount;
  if (Has(sides, sdRight)) r.right -= amount;
  if (Has(sides, sdBottom)) r.bottom -= amount;
  return r;
}

TRect DrawSides(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                TSides sides) {
  const auto [l, t, r, b] = rect;
  if (upper_left != clNone) {
    if (Has(sides, sdLeft)) canvas.Line(l, t, l, b, upper_left);
    if (Has(sides, sdTop)) canvas.Line(l, t, r, t, upper_left);
  }
  if (lower_right != clNone) {
    if (Has(sides, sdRight)) canvas.Line(r - 1, t, r - 1, b, lower_right);
    if (Has(sides, sdBottom)) canvas.Line(l, b - 1, r, b - 1, lower_right);
  }
  return InsetSides(rect, sides, 1);
}

TRect DrawBevel(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                int rings, TSides sides) {
  TRect r = rect;
  for (int i = 0; i < rings; ++i) r = DrawSides(canvas, r, upper_left, lower_right, sides);
  return r;
}

TRect DrawEtchedFrame(TCanvas& canvas, const TRect& rect, TColor upper_left, TColor lower_right,
                      TSides sides) {
  const auto [l, t, r, b] = rect;
  const bool left = Has(sides, sdLeft), top = Has(sides, sdTop);
  const bool right = Has(sides, sdRight), bottom = Has(sides, sdBottom);
  // The corners where a drawn side meets an undrawn one get the colour that keeps the
  // etched look continuous.
  if (right) {
    canvas.SetPixel(r - 1, t, lower_right);
  } else if (top) {
    canvas.SetPixel(r - 1, t, upper_left);
  }
  if (bottom) {
    canvas.SetPixel(l, b - 1, lower_right);
  } else if (left) {
    canvas.SetPixel(l, b - 1, upper_left);
  }
  if (top && !left) canvas.SetPixel(l, t + 1, lower_right);
  if (left && !top) canvas.SetPixel(l + 1, t, lower_right);
  if (bottom && !right) canvas.SetPixel(r - 1, b - 2, upper_left);
  if (right && !bottom) canvas.SetPixel(r - 2, b - 1, upper_left);
  DrawSides(canvas, {l + 1, t + 1, r, b}, lower_right, lower_right, sides);
  DrawSides(canvas, {l, t, r - 1, b - 1}, upper_left, upper_left, sides);
  return InsetSides(rect, sides, 2);
}

TRect DrawRoundedFlatFrame(TCanvas& canvas, const TRect& rect, TColor color, TSides sides) {
  const auto [l, t, r, b] = rect;
  const bool left = Has(sides, sdLeft), top = Has(sides, sdTop);
  const bool right = Has(sides, sdRight), bottom = Has(sides, sdBottom);
  const TRect inner = InsetSides(rect, sides, 2);
  if (left) canvas.Line(l, inner.top, l, inner.bottom, color);
  if (top) canvas.Line(inner.left, t, inner.right, t, color);
  if (right) canvas.Line(r - 1, inner.top, r - 1, inner.bottom, color);
  if (bottom) canvas.Line(inner.left, b - 1, inner.right, b - 1, color);
  if (left && top) canvas.SetPixel(l + 1, t + 1, color);
  if (right && top) canvas.SetPixel(r - 2, t + 1, color);
  if (right && bottom) canvas.SetPixel(r - 2, b - 2, color);
  if (left && bottom) canvas.SetPixel(l + 1, b - 2, color);
  return inner;
}

TRect DrawFrame(TCanvas& canvas, const TRect& rect, TFrameStyle style, TSides sides) {
  switch (style) {
    case fsNone:
      return rect;
    case fsFlat:
      return DrawSides(canvas, rect, cl3DDkShadow, cl3DDkShadow, sides);
    case fsStatus:
      return DrawSides(canvas, rect, clBtnShadow, clBtnHighlight, sides);
    case fsPopup:
      return DrawSides(canvas, rect, clBtnHighlight, clBtnShadow, sides);
    case fsFlatBold:
      return DrawBevel(canvas, rect, clBtnShadow, clBtnShadow, 2, sides);
    case fsLowered:
      return DrawTwoRings(canvas, rect, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight,
                          sides);
    case fsRaised:
      return DrawTwoRings(canvas, rect, cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow,
                          sides);
    case fsButtonUp:
      return DrawTwoRings(canvas, rect, clBtnHighlight, cl3DDkShadow, cl3DLight, clBtnShadow,
                          sides);
    case fsButtonDown:
      return DrawTwoRings(canvas, rect, clBtnText, clBtnText, clBtnShadow, clBtnShadow, sides);
    case fsGroove:
      return DrawEtchedFrame(canvas, rect, clBtnShadow, clBtnHighlight, sides);
    case fsBump:
      return DrawEtchedFrame(canvas, rect, clBtnHighlight, clBtnShadow, sides);
    case fsFlatRounded:
      // No system-colour look is defined for it; the flat colour of a default panel fits.
      return DrawRoundedFlatFrame(canvas, rect, AdjustedColor(clBtnShadow, 30), sides);
  }
  return rect;
}

TRect DrawColorFrame(TCanvas& canvas, const TRect& rect, TColor base, TFrameStyle style,
                     TSides sides) {
  auto d = [base](int n) { return Darker(base, n); };
  auto li = [base](int n) { return Lighter(base, n); };
  switch (style) {
    case fsNone:
      return rect;
    case fsFlat:
      return DrawSides(canvas, rect, d(50), d(50), sides);
    case fsFlatBold:
      return DrawBevel(canvas, rect, d(50), d(50), 2, sides);
    case fsStatus:
      return DrawSides(canvas, rect, d(50), li(100), sides);
    case fsPopup:
      return DrawSides(canvas, rect, li(100), d(50), sides);
    case fsGroove:
      return DrawEtchedFrame(canvas, rect, d(50), li(100), sides);
    case fsBump:
    case fsFlatRounded:
      return DrawEtchedFrame(canvas, rect, li(100), d(50), sides);
    case fsLowered:
      return DrawTwoRings(canvas, rect, d(50), li(100), d(100), li(50), sides);
    case fsRaised:
      return DrawTwoRings(canvas, rect, li(50), d(100), li(100), d(50), sides);
    case fsButtonUp:
      return DrawTwoRings(canvas, rect, li(100), d(100), li(40), d(50), sides);
    case fsButtonDown:
      return DrawTwoRings(canvas, rect, d(100), d(100), d(50), d(50), sides);
  }
  return rect;
}

int FrameThickness(TFrameStyle style, int bevel_width) {
  switch (style) {
    case fsNone:
      return 0;
    case fsFlat:
      return 1;
    case fsStatus:
    case fsPopup:
      return bevel_width;
    default:
      return 2;
  }
}

TRect DrawPanelBorder(TCanvas& canvas, const TRect& rect, const TPanelBorder& border) {
  TRect r = DrawPanelFrame(canvas, rect, border.outer, border, true);
  r = DrawBevel(canvas, r, border.border_color, border.border_color, border.border_width,
                border.sides);
  return DrawPanelFrame(canvas, r, border.inner, border, false);
}

TRect PanelClientRect(const TRect& rect, const TPanelBorder& border) {
  return InsetSides(rect, border.sides,
                    border.border_width + FrameThickness(border.outer, border.bevel_width) +
                        FrameThickness(border.inner, border.bevel_width));
}

void DrawControlFrame(TCanvas& canvas, int width, int height, TColor frame_color, TColor color,
                      TFrameStyle style, TSides sides) {
  const TRect rect{0, 0, width, height};
  DrawBevel(canvas, rect, color, color, 2, sdAllSides);
  switch (style) {
    case fsFlat:
      DrawSides(canvas, rect, frame_color, frame_color, sides);
      break;
    case fsFlatBold:
      DrawBevel(canvas, rect, frame_color, frame_color, 2, sides);
      break;
    default:
      if (ColorToRGB(color) == ColorToRGB(clWindow)) {
        DrawFrame(canvas, rect, style, sides);
      } else {
        DrawColorFrame(canvas, rect, color, style, sides);
      }
  }
}

TRect DrawFocusBorder(TCanvas& canvas, const TRect& rect) {
  const auto [l, t, r, b] = rect;
  for (int x = l + 1; x < r; x += 2) {
    canvas.SetPixel(x, t, clBlack);
    canvas.SetPixel(x, b - 1, clBlack);
  }
  for (int y = t + 1; y < b; y += 2) {
    canvas.SetPixel(l, y, clBlack);
    canvas.SetPixel(r - 1, y, clBlack);
  }
  return InsetSides(rect, sdAllSides, 1);
}

}  // namespace qelvu
