// Colour values and the shade rules every widget derives its frame colours with.
//
// A `TColor` is either 0x00BBGGRR or, with the top byte 0xFF, a system colour named by
// its index in the low byte. System colours are looked up in one process-wide palette
// table at the moment a colour is resolved, so a colour kept unresolved (for example the
// result of `AdjustedColor(c, 0)`) follows later changes of the palette.
//
// Pure functions without Qt. The palette table is meant for the user-interface thread;
// change it only while nothing is painting.
#pragma once

#include <cstdint>

namespace qelvu {

using TColor = std::uint32_t;

inline constexpr TColor clNone = 0x1FFFFFFF;  // a line in this colour is not drawn
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor SystemColor(int index) { return 0xFF000000u | static_cast<TColor>(index); }
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor cl3DDkShadow = SystemColor(21);
inline constexpr TColor cl3DLight = SystemColor(22);

constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>(r) | static_cast<TColor>(g) << 8 | static_cast<TColor>(b) << 16;
}
constexpr int RedOf(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == 0xFF000000u; }

// Resolves system colours through the palette table; 0x00BBGGRR values pass unchanged
// (their top byte cleared). An index outside the table resolves to black.
TColor ColorToRGB(TColor color);

// The palette table. Its defaults are the classic Windows 3-D colours.
void SetSystemPaletteColor(int index, TColor rgb);
void ResetSystemPalette();

// Hue, saturation and lightness on the 0-240 scale, each rounded half to even.
struct THsl {
  int h = 0;
  int s = 0;
  int l = 0;
};
THsl ColorToHsl(TColor color);
// Lightness above 240 is allowed and turns the colour towards white.
TColor HslToColor(int h, int s, int l);

TColor Lighter(TColor color, int amount);  // lightness + amount, capped at 255
TColor Darker(TColor color, int amount);   // lightness - amount, not below 0
// Darker for a negative amount, Lighter for a positive one, and `color` itself,
// unresolved, for 0.
TColor AdjustedColor(TColor color, int amount);
// weight 255 gives `a`, 0 gives `b`.
TColor BlendColors(TColor a, TColor b, int weight);
// Hues closer than 20 and lightnesses closer than 60.
bool ColorsTooClose(TColor a, TColor b);
// `color`'s hue turned by 120, full saturation, the given lightness.
TColor ComplementaryColor(TColor color, int lightness);

}  // namespace qelvu
