#include "widgets/size_bar.h"

#include <gtest/gtest.h>

namespace qelvu {
namespace {

TEST(SizeBarTest, PnlNotesHotSpotPixels) {
  const TRect bar = SizeBarRect(sbRight, 195, 421, 7, false);
  ASSERT_EQ(bar, (TRect{0, 0, 7, 421}));
  const TRect hot = HotSpotRect(sbRight, bar, 40);
  ASSERT_EQ(hot, (TRect{0, 126, 7, 294}));

  const TColor dots = RGB(60, 60, 120);
  const TColor background = RGB(1, 2, 3);
  TImageCanvas canvas(7, 421, background);
  DrawHotSpot(canvas, hot, true, false, {clBtnShadow, cl3DLight, dots});

  EXPECT_EQ(canvas.Pixel(0, 125), background);
  EXPECT_EQ(canvas.Pixel(0, 126), ColorToRGB(clBtnShadow));
  EXPECT_EQ(canvas.Pixel(6, 293), ColorToRGB(clBtnShadow));
  EXPECT_EQ(canvas.Pixel(1, 127), ColorToRGB(cl3DLight));
  EXPECT_EQ(canvas.Pixel(5, 292), ColorToRGB(cl3DLight));
  // Arrows pointing right: (2,132)-(4,134)-(2,136) and (2,288)-(4,286)-(2,284).
  const char* arrow[] = {"D..", "DD.", "DDD", "DD.", "D.."};
  for (int row = 0; row < 5; ++row) {
    for (int col = 0; col < 3; ++col) {
      SCOPED_TRACE(testing::Message() << "arrow pixel " << col << ", " << row);
      const TColor want = arrow[row][col] == 'D' ? dots : ColorToRGB(cl3DLight);
      EXPECT_EQ(canvas.Pixel(2 + col, 132 + row), want);
      EXPECT_EQ(canvas.Pixel(2 + col, 284 + row), want);
    }
  }
  int dot_count = 0;
  for (int y = 127; y < 293; ++y) {
    if (y >= 132 && y <= 136) continue;
    if (y >= 284 && y <= 288) continue;
    if (canvas.Pixel(3, y) == dots) {
      EXPECT_EQ((y - 141) % 3, 0) << y;
      ++dot_count;
    }
  }
  EXPECT_EQ(dot_count, 46);
  EXPECT_EQ(canvas.Pixel(3, 141), dots);
  EXPECT_EQ(canvas.Pixel(3, 276), dots);
}

TEST(SizeBarTest, ShortHotSpotsHaveNoOrOneDot) {
  struct {
    int bar_length;
    int want_length;
    int want_dots;
  } cases[] = {{73, 28, 0}, {74, 30, 1}, {86, 34, 1}, {90, 36, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bar_length);
    const TRect hot = HotSpotRect(sbRight, {0, 0, 7, c.bar_length}, 40);
    EXPECT_EQ(hot.Height(), c.want_length);
    TImageCanvas canvas(7, c.bar_length, clWhite);
    DrawHotSpot(canvas, hot, true, false, {clWhite, clWhite, clBlack});
    int dots = 0;
    for (int y = hot.top + 11; y < hot.bottom - 11; ++y) dots += canvas.Pixel(3, y) == clBlack;
    EXPECT_EQ(dots, c.want_dots);
  }
}

TEST(SizeBarTest, HotSpotArrowsPointBackAndHorizontalBars) {
  TImageCanvas canvas(300, 7, clWhite);
  const TRect hot = HotSpotRect(sbBottom, SizeBarRect(sbBottom, 300, 50, 7, false), 40);
  EXPECT_EQ(hot, (TRect{90, 0, 210, 7}));
  DrawHotSpot(canvas, hot, false, true, {clBtnShadow, clWhite, clBlack});
  // Pointing up: apex row cy - 1 = 2, base row 4.
  EXPECT_EQ(canvas.Pixel(98, 2), clBlack);
  EXPECT_EQ(canvas.Pixel(96, 4), clBlack);
  EXPECT_EQ(canvas.Pixel(100, 4), clBlack);
  EXPECT_EQ(canvas.Pixel(96, 2), clWhite);
  EXPECT_EQ(canvas.Pixel(105, 3), clBlack);  // first dot at left + 15
}

TEST(SizeBarTest, LimitsByPanelType) {
  // A 780 x 455 parent; the panel is 195 x 200 at (100, 50); docked siblings leave
  // F = (10, 20, 700, 400). MarginMin 5, MarginMax 7, bar 7.
  const TDragLimits limits{{10, 20, 700, 400}, {100, 50, 295, 250}, 7, 5, 7};
  struct {
    TSizeBarType type;
    int below, low, high, above;
    int available;
  } cases[] = {
      {sbLeft, 0, 13, 593, 9999, 600},
      {sbTop, 0, 13, 343, 9999, 350},
      {sbRight, -9999, -83, 182, 9999, 885},
      {sbBottom, -9999, -23, 187, 9999, 580},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    EXPECT_EQ(ClampDragPosition(c.type, c.below, limits), c.low);
    EXPECT_EQ(ClampDragPosition(c.type, c.above, limits), c.high);
    EXPECT_EQ(ClampDragPosition(c.type, c.low + 1, limits), c.low + 1);
    EXPECT_EQ(AvailableLength(c.type, limits), c.available);
  }
  // Conflicting bounds: the upper one wins.
  const TDragLimits tight{{0, 0, 10, 10}, {0, 0, 10, 10}, 7, 5, 0};
  EXPECT_EQ(ClampDragPosition(sbLeft, 3, tight), 10);
}

TEST(SizeBarTest, BarRectanglesAndTypes) {
  EXPECT_EQ(SizeBarRect(sbLeft, 100, 50, 4, false), (TRect{96, 0, 100, 50}));
  EXPECT_EQ(SizeBarRect(sbTop, 100, 50, 4, true), (TRect{0, 45, 100, 50}));
  EXPECT_EQ(SizeBarRect(sbBottom, 100, 50, 4, false), (TRect{0, 0, 100, 4}));
  EXPECT_TRUE(SizeBarRect(sbNone, 100, 50, 4, false).IsEmpty());
  EXPECT_EQ(SizeBarTypeOf(alNone, sdBottom), sbBottom);
  EXPECT_EQ(SizeBarTypeOf(alCustom, sdRight), sbRight);
  EXPECT_EQ(SizeBarTypeOf(alRight, sdLeft), sbRight);
  EXPECT_EQ(SizeBarTypeOf(alClient, sdLeft), sbNone);
}

}  // namespace
}  // namespace qelvu
