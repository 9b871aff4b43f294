#include "widgets/colors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace qelvu {
namespace {

constexpr std::array<TColor, 31> kClassicPalette = {
    RGB(212, 208, 200),  // scroll bar
    RGB(58, 110, 165),   // desktop
    RGB(10, 36, 106),    // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(212, 208, 200),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(212, 208, 200),  // active border
    RGB(212, 208, 200),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(10, 36, 106),    // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(212, 208, 200),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(212, 208, 200),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(64, 64, 64),     // 3-D dark shadow
    RGB(212, 208, 200),  // 3-D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
    RGB(181, 181, 181),  // (unused slot)
    RGB(0, 0, 128),      // hot-tracked item
    RGB(166, 202, 240),  // active caption gradient
    RGB(192, 192, 192),  // inactive caption gradient
    RGB(49, 106, 197),   // menu highlight
    RGB(236, 233, 216),  // menu bar
};

std::array<TColor, 31>& Palette() {
  static std::array<TColor, 31> palette = kClassicPalette;
  return palette;
}

// The scale conversions round half to even (the default floating-point mode).
int RoundToInt(double value) { return static_cast<int>(std::nearbyint(value)); }

int ChannelFrom(double value) { return RoundToInt(std::min(value, 1.0) * 255.0); }

}  // namespace

TColor ColorToRGB(TColor color) {
  if (!IsSystemColor(color)) return color & 0x00FFFFFF;
  const std::size_t index = color & 0xFF;
  return index < Palette().size() ? Palette()[index] : clBlack;
}

void SetSystemPaletteColor(int index, TColor rgb) {
  if (index >= 0 && static_cast<std::size_t>(index) < Palette().size()) {
    Palette()[index] = rgb & 0x00FFFFFF;
  }
}

void ResetSystemPalette() { Palette() = kClassicPalette; }

THsl ColorToHsl(TColor color) {
  const TColor rgb = ColorToRGB(color);
  const double r = RedOf(rgb) / 255.0;
  const double g = GreenOf(rgb) / 255.0;
  const double b = BlueOf(rgb) / 255.0;
  const double mx = std::max({r, g, b});
  const double mn = std::min({r, g, b});
  const double l = (mx + mn) / 2;
  double h = 0;
  double s = 0;
  if (mx != mn) {
    const double delta = mx - mn;
    s = l < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    if (r == mx) {
      h = (g - b) / delta;
    } else if (g == mx) {
      h = (b - r) / delta + 2;
    } else {
      h = (r - g) / delta + 4;
    }
    h /= 6;
    if (h < 0) h += 1;
  }
  return {RoundToInt(h * 240) & 0xFF, RoundToInt(s * 240) & 0xFF, RoundToInt(l * 240) & 0xFF};
}

TColor HslToColor(int h, int s, int l) {
  const double f = l / 240.0;
  const double g = s / 240.0;
  const double m = f >= 0.5 ? f + g - f * g : f * (1 + g);
  if (m <= 0) return clBlack;
  const double x = h / 239.0 * 6;
  const int k = static_cast<int>(x);
  const double n = 2 * f - m;
  const double p = (m - n) * (x - k);
  const double rising = n + p;
  const double falling = m - p;
  double r = m, gr = rising, b = n;
  switch (k == 6 ? 0 : k) {
    case 1:
      r = falling, gr = m, b = n;
      break;
    case 2:
      r = n, gr = m, b = rising;
      break;
    case 3:
      r = n, gr = falling, b = m;
      break;
    case 4:
      r = rising, gr = n, b = m;
      break;
    case 5:
      r = m, gr = n, b = falling;
      break;
    default:
      break;
  }
  return RGB(ChannelFrom(r), ChannelFrom(gr), ChannelFrom(b));
}

TColor Lighter(TColor color, int amount) {
  const THsl hsl = ColorToHsl(color);
  return HslToColor(hsl.h, hsl.s, std::min(hsl.l + amount, 255));
}

TColor Darker(TColor color, int amount) {
  const THsl hsl = ColorToHsl(color);
  return HslToColor(hsl.h, hsl.s, std::max(hsl.l - amount, 0));
}

TColor AdjustedColor(TColor color, int amount) {
  if (amount < 0) return Darker(color, -amount);
  if (amount > 0) return Lighter(color, amount);
  return color;
}

TColor BlendColors(TColor a, TColor b, int weight) {
  const TColor ra = ColorToRGB(a);
  const TColor rb = ColorToRGB(b);
  const double w = weight / 255.0;
  auto mix = [w](int ca, int cb) { return RoundToInt(ca * w + cb * (1 - w)); };
  return RGB(mix(RedOf(ra), RedOf(rb)), mix(GreenOf(ra), GreenOf(rb)), mix(BlueOf(ra), BlueOf(rb)));
}

bool ColorsTooClose(TColor a, TColor b) {
  const THsl ha = ColorToHsl(a);
  const THsl hb = ColorToHsl(b);
  return std::abs(ha.h - hb.h) < 20 && std::abs(ha.l - hb.l) < 60;
}

TColor ComplementaryColor(TColor color, int lightness) {
  const int h = ColorToHsl(color).h;
  return HslToColor(h < 120 ? h + 120 : h - 120, 240, lightness);
}

}  // namespace qelvu
