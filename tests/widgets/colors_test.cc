#include "widgets/colors.h"

#include <gtest/gtest.h>

namespace qelvu {
namespace {

TEST(ColorTest, ToHsl) {
  struct {
    TColor color;
    THsl want;
  } cases[] = {
      {clWhite, {0, 0, 240}},          {clBlack, {0, 0, 0}},
      {clBtnShadow, {0, 0, 120}},      {clBtnFace, {27, 29, 194}},
      {RGB(255, 0, 0), {0, 240, 120}}, {RGB(0, 0, 255), {160, 240, 120}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.color);
    const THsl hsl = ColorToHsl(c.color);
    EXPECT_EQ(hsl.h, c.want.h);
    EXPECT_EQ(hsl.s, c.want.s);
    EXPECT_EQ(hsl.l, c.want.l);
  }
}

TEST(ColorTest, DerivedShades) {
  struct {
    const char* name;
    TColor got;
    TColor want;
  } cases[] = {
      {"lighter white", Lighter(clWhite, 50), clWhite},
      {"darker black", Darker(clBlack, 50), clBlack},
      {"lighter black by 255", Lighter(clBlack, 255), clWhite},
      {"flat colour", Lighter(clBtnShadow, 30), RGB(159, 159, 159)},
      {"darker shadow", Darker(clBtnShadow, 50), RGB(74, 74, 74)},
      {"darker below zero", Darker(clBtnShadow, 500), clBlack},
      {"hue scale ends at 239", HslToColor(160, 240, 120), RGB(4, 0, 255)},
      {"hue 240 wraps to red", HslToColor(240, 240, 120), RGB(255, 6, 0)},
      {"adjusted down", AdjustedColor(clBtnShadow, -50), Darker(clBtnShadow, 50)},
      {"adjusted up", AdjustedColor(clBtnShadow, 30), Lighter(clBtnShadow, 30)},
      {"blend middle", BlendColors(clWhite, clBlack, 128), RGB(128, 128, 128)},
      {"blend all b", BlendColors(RGB(255, 0, 0), RGB(0, 0, 255), 0), RGB(0, 0, 255)},
      {"blend system", BlendColors(clBtnHighlight, clBtnHighlight, 77), clWhite},
      {"complementary red", ComplementaryColor(RGB(255, 0, 0), 120), RGB(0, 252, 255)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ColorToRGB(c.got), ColorToRGB(c.want));
  }
}

TEST(ColorTest, TooClose) {
  EXPECT_TRUE(ColorsTooClose(clWhite, RGB(250, 250, 250)));
  EXPECT_TRUE(ColorsTooClose(clBtnShadow, RGB(150, 150, 150)));
  EXPECT_FALSE(ColorsTooClose(clWhite, clBtnFace));  // hues 0 and 27
  EXPECT_FALSE(ColorsTooClose(clWhite, clBlack));
}

class PaletteTest : public testing::Test {
 protected:
  void TearDown() override { ResetSystemPalette(); }
};

TEST_F(PaletteTest, AdjustedByZeroFollowsThePalette) {
  const TColor flat = AdjustedColor(clBtnShadow, 0);
  EXPECT_EQ(flat, clBtnShadow);
  EXPECT_EQ(ColorToRGB(flat), RGB(128, 128, 128));
  SetSystemPaletteColor(16, RGB(90, 10, 10));
  EXPECT_EQ(ColorToRGB(flat), RGB(90, 10, 10));
  EXPECT_EQ(ColorToHsl(flat).l, ColorToHsl(RGB(90, 10, 10)).l);
}

TEST_F(PaletteTest, ResolvesEveryNamedSystemColour) {
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(cl3DDkShadow), RGB(64, 64, 64));
  EXPECT_EQ(ColorToRGB(SystemColor(200)), clBlack);
  EXPECT_EQ(ColorToRGB(RGB(1, 2, 3)), RGB(1, 2, 3));
}

}  // namespace
}  // namespace qelvu
