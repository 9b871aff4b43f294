#include "widgets/frames.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "widgets/canvas.h"
#include "widgets/colors.h"

namespace qelvu {
namespace {

constexpr TColor kBackground = RGB(1, 2, 3);
constexpr TColor kCream = RGB(250, 245, 200);

TColor LegendColor(char c) {
  switch (c) {
    case 'D':
      return cl3DDkShadow;
    case 'S':
      return clBtnShadow;
    case 'H':
      return clBtnHighlight;
    case 'L':
      return cl3DLight;
    case 'T':
      return clBtnText;
    case 'F':
      return Lighter(clBtnShadow, 30);
    case 'C':
      return kCream;
    default:
      return kBackground;
  }
}

// Renders the image as legend rows, so a failure prints a readable picture.
std::vector<std::string> Rows(const TImageCanvas& canvas) {
  const std::string legend = ".DSHLTFC";
  std::vector<std::string> rows;
  for (int y = 0; y < canvas.height(); ++y) {
    std::string row;
    for (int x = 0; x < canvas.width(); ++x) {
      char found = '?';
      for (char c : legend) {
        if (ColorToRGB(LegendColor(c)) == canvas.Pixel(x, y)) {
          found = c;
          break;
        }
      }
      row += found;
    }
    rows.push_back(row);
  }
  return rows;
}

struct FrameCase {
  const char* name;
  std::function<TRect(TCanvas&, const TRect&)> draw;
  std::vector<std::string> rows;
  TRect inside;
};

auto Standard(TFrameStyle style, TSides sides = sdAllSides) {
  return [=](TCanvas& c, const TRect& r) { return DrawFrame(c, r, style, sides); };
}

TEST(FrameRulesTest, DrawsEachStyleOnASmallRectangle) {
  const FrameCase cases[] = {
      {"fsNone",
       Standard(fsNone),
       {"......", "......", "......", "......", "......"},
       {0, 0, 6, 5}},
      {"fsFlat",
       Standard(fsFlat),
       {"DDDDDD", "D....D", "D....D", "D....D", "DDDDDD"},
       {1, 1, 5, 4}},
      {"fsStatus",
       Standard(fsStatus),
       {"SSSSSH", "S....H", "S....H", "S....H", "HHHHHH"},
       {1, 1, 5, 4}},
      {"fsPopup",
       Standard(fsPopup),
       {"HHHHHS", "H....S", "H....S", "H....S", "SSSSSS"},
       {1, 1, 5, 4}},
      {"fsFlatBold",
       Standard(fsFlatBold),
       {"SSSSSS", "SSSSSS", "SS..SS", "SSSSSS", "SSSSSS"},
       {2, 2, 4, 3}},
      {"fsLowered",
       Standard(fsLowered),
       {"SSSSSH", "SDDDLH", "SD..LH", "SLLLLH", "HHHHHH"},
       {2, 2, 4, 3}},
      {"fsRaised",
       Standard(fsRaised),
       {"LLLLLD", "LHHHSD", "LH..SD", "LSSSSD", "DDDDDD"},
       {2, 2, 4, 3}},
      {"fsButtonUp",
       Standard(fsButtonUp),
       {"HHHHHD", "HLLLSD", "HL..SD", "HSSSSD", "DDDDDD"},
       {2, 2, 4, 3}},
      {"fsButtonDown",
       Standard(fsButtonDown),
       {"TTTTTT", "TSSSST", "TS..ST", "TSSSST", "TTTTTT"},
       {2, 2, 4, 3}},
      {"fsGroove",
       Standard(fsGroove),
       {"SSSSSH", "SHHHSH", "SH..SH", "SSSSSH", "HHHHHH"},
       {2, 2, 4, 3}},
      {"fsBump",
       Standard(fsBump),
       {"HHHHHS", "HSSSHS", "HS..HS", "HHHHHS", "SSSSSS"},
       {2, 2, 4, 3}},
      {"fsFlatRounded",
       Standard(fsFlatRounded),
       {"..FF..", ".F..F.", "F....F", ".F..F.", "..FF.."},
       {2, 2, 4, 3}},
      {"fsGroove left and top",
       Standard(fsGroove, sdLeft | sdTop),
       {"SSSSSS", "SHHHHH", "SH....", "SH....", "SH...."},
       {2, 2, 6, 5}},
      {"fsGroove right and bottom",
       Standard(fsGroove, sdRight | sdBottom),
       {"....SH", "....SH", "....SH", "SSSSSH", "HHHHHH"},
       {0, 0, 4, 3}},
      {"control frame of a cream flat tree",
       [](TCanvas& c, const TRect& r) {
         DrawControlFrame(c, r.right, r.bottom, clBtnShadow, kCream, fsFlat, sdAllSides);
         return TRect{2, 2, 4, 3};
       },
       {"SSSSSS", "SCCCCS", "SC..CS", "SCCCCS", "SSSSSS"},
       {2, 2, 4, 3}},
      {"dotted focus border",
       [](TCanvas& c, const TRect& r) { return DrawFocusBorder(c, r); },
       {".T.T.T", "T....T", "......", "T....T", ".T.T.T"},
       {1, 1, 5, 4}},
  };
  for (const FrameCase& test : cases) {
    SCOPED_TRACE(test.name);
    TImageCanvas canvas(6, 5, kBackground);
    EXPECT_EQ(test.draw(canvas, {0, 0, 6, 5}), test.inside);
    EXPECT_EQ(Rows(canvas), test.rows);
  }
}

TEST(FrameRulesTest, EmptySideSetDrawsNothingAndKeepsTheRectangle) {
  for (int style = fsNone; style <= fsFlatRounded; ++style) {
    SCOPED_TRACE(style);
    TImageCanvas canvas(6, 5, kBackground);
    const TRect rect{0, 0, 6, 5};
    EXPECT_EQ(DrawFrame(canvas, rect, static_cast<TFrameStyle>(style), 0), rect);
    EXPECT_EQ(DrawColorFrame(canvas, rect, kCream, static_cast<TFrameStyle>(style), 0), rect);
    TPanelBorder border;
    border.outer = border.inner = static_cast<TFrameStyle>(style);
    border.sides = 0;
    border.border_width = 1;
    EXPECT_EQ(DrawPanelBorder(canvas, rect, border), rect);
    EXPECT_EQ(Rows(canvas), std::vector<std::string>(5, "......"));
  }
}

TEST(FrameRulesTest, ColorFramesUseShadesOfTheBase) {
  TImageCanvas canvas(6, 5, kBackground);
  DrawColorFrame(canvas, {0, 0, 6, 5}, kCream, fsLowered, sdAllSides);
  EXPECT_EQ(canvas.Pixel(0, 0), Darker(kCream, 50));
  EXPECT_EQ(canvas.Pixel(5, 4), Lighter(kCream, 100));
  EXPECT_EQ(canvas.Pixel(1, 1), Darker(kCream, 100));
  EXPECT_EQ(canvas.Pixel(4, 3), Lighter(kCream, 50));
}

// The notice pane holder: an opaque 187 x 50 panel with a rounded flat outer border.
TEST(FrameRulesTest, RoundedPanelBorderCutsCornersAndShowsTheParent) {
  const TColor parent = RGB(10, 20, 30);
  TPanelBorder border;
  border.outer = fsFlatRounded;
  border.parent_color = parent;
  TImageCanvas canvas(187, 50, kBackground);
  EXPECT_EQ(DrawPanelBorder(canvas, {0, 0, 187, 50}, border), (TRect{2, 2, 185, 48}));
  EXPECT_EQ(PanelClientRect({0, 0, 187, 50}, border), (TRect{2, 2, 185, 48}));

  const TColor flat = Lighter(clBtnShadow, 30);
  const TColor face = ColorToRGB(clBtnFace);
  struct Probe {
    int x, y;
    TColor want;
  } probes[] = {
      {0, 0, parent},      {1, 0, parent},         {0, 1, parent},  {186, 0, parent},
      {185, 0, parent},    {186, 1, parent},       {0, 49, parent}, {186, 49, parent},
      {1, 1, flat},        {185, 1, flat},         {185, 48, flat}, {1, 48, flat},
      {2, 0, flat},        {184, 0, flat},         {0, 2, flat},    {0, 47, flat},
      {186, 2, flat},      {186, 47, flat},        {2, 49, flat},   {184, 49, flat},
      {2, 1, face},        {1, 2, face},           {185, 2, face},  {2, 48, face},
      {2, 2, kBackground}, {184, 47, kBackground},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << "(" << p.x << ", " << p.y << ")");
    EXPECT_EQ(canvas.Pixel(p.x, p.y), ColorToRGB(p.want));
  }
}

TEST(FrameRulesTest, ThicknessForLayout) {
  TPanelBorder border;
  border.outer = fsStatus;
  border.inner = fsFlat;
  border.bevel_width = 3;
  border.border_width = 2;
  border.sides = sdLeft | sdBottom;
  EXPECT_EQ(PanelClientRect({0, 0, 100, 50}, border), (TRect{6, 0, 100, 44}));
  EXPECT_EQ(FrameThickness(fsNone, 5), 0);
  EXPECT_EQ(FrameThickness(fsPopup, 5), 5);
  EXPECT_EQ(FrameThickness(fsBump, 5), 2);
}

}  // namespace
}  // namespace qelvu
