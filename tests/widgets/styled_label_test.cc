#include "widgets/styled_label.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "status_test_support.h"
#include "widgets/shell_open.h"

namespace qelvu {
namespace {

using test::InkBox;
using test::PixelAt;
using test::Render;
using test::SongTi;

void Click(QWidget& widget) {
  const QPointF inside(1, 1);
  QMouseEvent press(QEvent::MouseButtonPress, inside, widget.mapToGlobal(inside), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, inside, widget.mapToGlobal(inside),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &press);
  QApplication::sendEvent(&widget, &release);
}

// Clicks with the desktop replaced by a recorder that answers `open_result`.
class UrlLabelClickTest : public ::testing::Test {
 protected:
  std::vector<std::string> opened_;
  bool open_result_ = true;
  TShellOpenOverride shell_{[this](const std::string& target) {
    opened_.push_back(target);
    return open_result_;
  }};
};

TEST_F(UrlLabelClickTest, TargetIsTheUrlOrElseTheCaption) {
  struct Case {
    const char* name;
    QString url;
    QString caption;
    bool shell_succeeds;
    std::vector<std::string> opened;
    bool visited;
  } cases[] = {
      {"url", "pen.example", "Pemblo", true, {"pen.example"}, true},
      {"blanks around the url are passed",
       "  pen.example ",
       "Pemblo",
       true,
       {"  pen.example "},
       true},
      {"blank url falls back to the caption", "   ", "pen.example", true, {"pen.example"}, true},
      {"caption passed with its blanks", "", " pen.example", true, {" pen.example"}, true},
      {"blank url and caption do nothing", " ", "  ", true, {}, false},
      {"failed open stays unvisited", "nowhere", "", false, {"nowhere"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    opened_.clear();
    open_result_ = c.shell_succeeds;
    TUrlLabel label;
    label.SetURL(c.url);
    label.SetCaption(c.caption);
    int clicks = 0;
    QObject::connect(&label, &TStyledLabel::OnClick, [&] { ++clicks; });
    Click(label);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(opened_, c.opened);
    EXPECT_EQ(label.Visited(), c.visited);
    EXPECT_EQ(label.FontColor(), c.visited ? RGB(128, 0, 128) : clHighlight);
  }
}

TEST(UrlLabelTest, LooksLikeALinkAndTakesTheVisitedColour) {
  TUrlLabel label;
  EXPECT_TRUE(label.font().underline());
  EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(label.FontColor(), clHighlight);
  EXPECT_FALSE(label.Visited());
  label.SetVisited(true);
  EXPECT_EQ(label.FontColor(), RGB(128, 0, 128));
  label.SetVisitedColor(RGB(1, 2, 3));
  EXPECT_EQ(label.FontColor(), RGB(1, 2, 3));
}

TEST(StyledLabelTest, AutoSizeFitsTheTextAndKeepsARightEdge) {
  QWidget parent;
  parent.resize(400, 100);
  TStyledLabel label(&parent);
  label.setFont(SongTi(13));
  label.move(100, 10);
  label.SetCaption(QStringLiteral("Pemblo  一分钟会打字"));
  const QSize text = label.fontMetrics().size(Qt::TextSingleLine, label.Caption());
  EXPECT_EQ(label.size(), text);
  label.SetBorderOuter(fsLowered);  // two pixels on each side
  EXPECT_EQ(label.size(), text + QSize(4, 4));

  label.SetAlignment(taRightJustify);
  const int right = label.geometry().right();
  label.SetCaption(QStringLiteral("Pemblo"));
  EXPECT_EQ(label.geometry().right(), right);
}

TEST(StyledLabelTest, TextStylesDrawTheirExtraCopies) {
  const TColor highlight = RGB(0, 255, 0);
  const TColor shadow = RGB(0, 0, 255);
  const auto has = [](const QImage& image, TColor color) {
    return !InkBox(image, [&](const QColor& c) { return FromQColor(c) == color; }).isEmpty();
  };
  struct Case {
    const char* name;
    TTextStyle style;
    bool light;
    bool highlight_copy;
    bool shadow_copy;
  } cases[] = {
      {"normal", tsNormal, false, false, false},   {"raised", tsRaised, false, true, true},
      {"recessed", tsRecessed, false, true, true}, {"light raised", tsRaised, true, true, false},
      {"shadow", tsShadow, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TStyledLabel label;
    label.setFont(SongTi(16));
    label.SetTextMargin(3);
    label.SetCaption(QStringLiteral("ABC"));
    label.SetHighlightColor(highlight);
    label.SetShadowColor(shadow);
    label.SetTextStyle(c.style);
    label.SetLightTextStyle(c.light);
    const QImage image = Render(label);
    EXPECT_EQ(has(image, highlight), c.highlight_copy);
    EXPECT_EQ(has(image, shadow), c.shadow_copy);
  }
}

TEST(StyledLabelTest, AngleIsKeptWithinOneTurn) {
  struct Case {
    int set;
    int stored;
  } cases[] = {{0, 0}, {90, 90}, {-90, 270}, {360, 0}, {725, 5}, {-360, 0}};
  TStyledLabel label;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    label.SetAngle(c.set);
    EXPECT_EQ(label.Angle(), c.stored);
  }
}

TEST(StyledLabelTest, OpaqueLabelFillsWithItsColour) {
  TStyledLabel label;
  label.SetCaption(QStringLiteral("x"));
  label.SetColor(RGB(10, 20, 30));
  EXPECT_EQ(PixelAt(Render(label), label.width() - 1, label.height() - 1), RGB(10, 20, 30));
  label.SetTransparent(true);
  EXPECT_EQ(PixelAt(Render(label), label.width() - 1, label.height() - 1), ColorToRGB(clBtnFace));
}

}  // namespace
}  // namespace qelvu
