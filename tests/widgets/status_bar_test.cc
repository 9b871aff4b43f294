#include "widgets/status_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "status_test_support.h"
#include "widgets/blinking.h"

namespace qelvu {
namespace {

using test::InkBox;
using test::PixelAt;
using test::Reddish;
using test::Render;
using test::SongTi;

// The main window's bar: 780 x 34, no borders, with its first two panes.
class StatusBarTest : public ::testing::Test {
 protected:
  StatusBarTest() {
    bar_.SetAutoStyle(false);
    bar_.resize(780, 34);
    bar_.setFont(SongTi(12));
  }

  TMarqueeStatus* AddMarquee(int left, int width, const QString& caption) {
    auto* pane = new TMarqueeStatus(&bar_);
    pane->setGeometry(left, 0, width, 34);
    pane->SetAlign(alLeft);
    pane->setFont(SongTi(16));
    pane->SetFontColor(RGB(255, 0, 0));
    pane->SetScrollType(stNone);
    pane->SetCaption(caption);
    pane->show();
    return pane;
  }

  TStatusBar bar_;
};

TEST_F(StatusBarTest, FlatFrameAndTextOfAStaticMarquee) {
  TMarqueeStatus* pane = AddMarquee(0, 262, QStringLiteral("Marvoli官方网站：service.test "));
  ASSERT_EQ(pane->TextRect(), (TRect{2, 2, 260, 32}));
  const QImage image = Render(*pane);
  const TColor flat = ColorToRGB(AdjustedColor(clBtnShadow, 30));
  const TColor face = ColorToRGB(clBtnFace);
  struct Case {
    int x, y;
    TColor color;
  } pixels[] = {
      {0, 0, face},    {1, 1, face},   {260, 1, face},  {1, 32, face},   {260, 32, face},
      {2, 1, flat},    {259, 1, flat}, {1, 2, flat},    {1, 31, flat},   {260, 2, flat},
      {260, 31, flat}, {2, 32, flat},  {259, 32, flat}, {261, 10, face},
  };
  for (const Case& c : pixels) {
    SCOPED_TRACE(::testing::Message() << "(" << c.x << ", " << c.y << ")");
    EXPECT_EQ(PixelAt(image, c.x, c.y), c.color);
  }
  const QRect ink = InkBox(image, Reddish);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 5);
  EXPECT_LE(ink.left(), 7);  // the glyph's own side bearing at most
  EXPECT_TRUE(QRect(2, 2, 258, 30).contains(ink))
      << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
  EXPECT_GE(ink.top(), 2 + (30 - pane->TextHeight()) / 2);
}

TEST_F(StatusBarTest, StaticMarqueeNeverStartsItsTimerAndCentresItsText) {
  TMarqueeStatus* pane = AddMarquee(262, 211, QStringLiteral("立即免费注册获赠话费"));
  pane->SetAlignment(taCenter);
  pane->SetScrollDelay(20);
  bar_.show();
  QApplication::processEvents();
  EXPECT_FALSE(pane->ScrollTimerActive());

  const QRect ink = InkBox(Render(*pane), Reddish);
  ASSERT_FALSE(ink.isEmpty());
  const TRect text = pane->TextRect();
  const int middle = text.left + text.Width() / 2;
  EXPECT_NEAR(ink.left() + ink.width() / 2.0, middle, 2.0);
}

TEST_F(StatusBarTest, RightToLeftPassTakesCaptionPlusPaneWidthTicks) {
  TMarqueeStatus* pane = AddMarquee(0, 262, QStringLiteral("一二三四五"));
  pane->setFont(SongTi(20));
  ASSERT_EQ(pane->TextWidth(pane->Caption()), 100);
  pane->SetScrollType(stRightToLeft);
  bar_.show();
  ASSERT_TRUE(pane->ScrollTimerActive());
  EXPECT_EQ(pane->ScrollCycle(), 362);

  pane->Tick();
  EXPECT_EQ(pane->ScrollOffset(), 1);
  EXPECT_EQ(pane->ScrolledTextX(), 261);  // just outside the image's right edge
  for (int tick = 2; tick <= 361; ++tick) pane->Tick();
  EXPECT_EQ(pane->ScrollOffset(), 361);
  pane->Tick();
  EXPECT_EQ(pane->ScrolledTextX(), -100);  // just gone past the left edge
  EXPECT_EQ(pane->ScrollOffset(), 0);      // the next tick starts a new pass

  // Halfway the text shows in the image where the offset puts it.
  for (int tick = 1; tick <= 131; ++tick) pane->Tick();
  const QRect ink = InkBox(pane->OffscreenImage(), Reddish);
  EXPECT_NEAR(ink.left(), 131, 2);
  EXPECT_EQ(pane->OffscreenImage().size(), QSize(258, 30));

  pane->SetScrolling(false);
  EXPECT_FALSE(pane->ScrollTimerActive());
  EXPECT_EQ(pane->ScrollOffset(), 0);
}

TEST_F(StatusBarTest, ScrollSizeZeroIsKeptAtOne) {
  TMarqueeStatus* pane = AddMarquee(0, 100, QString());
  pane->SetScrollSize(0);
  EXPECT_EQ(pane->ScrollSize(), 1);
  pane->SetScrollSize(7);
  EXPECT_EQ(pane->ScrollSize(), 7);
}

TEST_F(StatusBarTest, AutoSizeFollowsTheCaption) {
  auto* pane = new TStatusPane(&bar_);
  pane->SetAutoSize(true);
  EXPECT_EQ(pane->width(), 40);
  pane->SetCaption(QStringLiteral(" 版本3.2.0.0"));
  EXPECT_EQ(pane->width(), pane->TextWidth(pane->Caption()) + 2 * 1 + 2 + 6);
  pane->SetCaption(QString());
  EXPECT_EQ(pane->width(), 40);
  pane->SetDefaultWidth(55);
  EXPECT_EQ(pane->width(), 55);
}

TEST_F(StatusBarTest, LeftPanesLineUpInTheOrderOfTheirLeftEdges) {
  bar_.show();  // a hidden widget hears of its resizing only when shown
  TMarqueeStatus* first = AddMarquee(0, 262, QString());
  TMarqueeStatus* second = AddMarquee(262, 211, QString());
  auto* version = new TStatusPane(&bar_);
  version->setGeometry(600, 5, 118, 20);
  version->SetAlign(alLeft);
  version->show();
  EXPECT_EQ(version->geometry(), QRect(473, 0, 118, 34));

  first->resize(200, 34);
  EXPECT_EQ(second->geometry(), QRect(200, 0, 211, 34));
  EXPECT_EQ(version->geometry(), QRect(411, 0, 118, 34));

  auto* between = new TStatusPane(&bar_);
  between->setGeometry(100, 0, 50, 34);
  between->SetAlign(alLeft);
  between->show();
  EXPECT_EQ(between->geometry(), QRect(200, 0, 50, 34));
  EXPECT_EQ(second->geometry(), QRect(250, 0, 211, 34));
}

TEST_F(StatusBarTest, AutoScaleGrowsPanesInProportionAfterTheFirstResize) {
  TMarqueeStatus* wide = AddMarquee(0, 200, QString());
  TMarqueeStatus* narrow = AddMarquee(200, 100, QString());
  bar_.SetAutoScalePanes(true);
  bar_.resize(400, 34);
  bar_.show();  // the first resize the bar hears of only records its width
  EXPECT_EQ(wide->width(), 200);
  bar_.resize(600, 34);
  EXPECT_EQ(wide->width(), 300);
  EXPECT_EQ(narrow->geometry(), QRect(300, 0, 150, 34));
}

TEST_F(StatusBarTest, SimpleStatusHidesThePanesAndBringsThemBack) {
  TMarqueeStatus* shown = AddMarquee(0, 200, QString());
  TMarqueeStatus* hidden = AddMarquee(200, 100, QString());
  hidden->hide();
  bar_.SetSimpleCaption(QStringLiteral("Ready"));
  bar_.SetSimpleStatus(true);
  EXPECT_TRUE(shown->isHidden());
  const QRect ink = InkBox(Render(bar_), [](const QColor& c) { return c == Qt::black; });
  EXPECT_NEAR(ink.left(), 2, 1);  // client left (-1) plus 3, then the glyph's side bearing
  bar_.SetSimpleStatus(false);
  EXPECT_FALSE(shown->isHidden());
  EXPECT_TRUE(hidden->isHidden());
}

TEST_F(StatusBarTest, PanesDeletedInSimpleModeAreNotShownAgain) {
  TMarqueeStatus* first = AddMarquee(0, 200, QString());
  TMarqueeStatus* middle = AddMarquee(200, 100, QString());
  TMarqueeStatus* last = AddMarquee(300, 150, QString());
  bar_.show();
  bar_.SetSimpleStatus(true);
  delete middle;
  last->deleteLater();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // A pane made now may sit where a freed one was; it must not pass for the freed one.
  TMarqueeStatus* newcomer = AddMarquee(0, 100, QString());
  newcomer->hide();

  bar_.SetSimpleStatus(false);
  EXPECT_FALSE(first->isHidden());
  EXPECT_TRUE(newcomer->isHidden());
  EXPECT_EQ(bar_.findChildren<TCustomStatusPane*>().size(), 2);
}

TEST(StatusBarGripTest, GripOnlyOnASizeableWindowThatIsNotMaximised) {
  struct Case {
    const char* name;
    bool fixed;
    bool maximised;
    bool grip;
  } cases[] = {
      {"fixed", true, false, false},
      {"sizeable", false, false, true},
      {"sizeable, maximised", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget form;
    form.resize(300, 100);
    if (c.fixed) form.setFixedSize(300, 100);
    auto* bar = new TStatusBar(&form);
    bar->SetAutoStyle(false);
    bar->SetBorderOuter(fsNone);
    if (c.maximised) form.showMaximized();
    EXPECT_EQ(bar->geometry(), QRect(0, form.height() - 19, form.width(), 19));
    EXPECT_EQ(bar->SizeGripActive(), c.grip);
    const QImage image = Render(*bar);
    const TRect square = TStatusBar::SizeGripSquares(bar->width(), bar->height()).front();
    EXPECT_EQ(PixelAt(image, square.right - 1, square.bottom - 1) == ColorToRGB(clBtnHighlight),
              c.grip);
    EXPECT_EQ(PixelAt(image, square.left - 1, square.top - 1) == ColorToRGB(clBtnShadow), c.grip);
  }
}

TEST(StatusBarStyleTest, ChangingABorderTurnsAutoStyleOffSoLoadingKeepsIt) {
  TStatusBar bar;
  bar.resize(200, 30);
  bar.SetBorderOuter(fsLowered);
  EXPECT_FALSE(bar.AutoStyle());
  bar.Loaded();
  EXPECT_EQ(bar.BorderOuter(), fsLowered);
  EXPECT_EQ(bar.height(), 30);

  TStatusBar standard;
  standard.resize(200, 30);
  standard.SetBorderWidth(3);
  standard.Loaded();
  EXPECT_EQ(standard.BorderWidth(), 0);
  EXPECT_EQ(standard.height(), 19);
}

class Blinker : public TBlinkingControl {
 public:
  bool blinking = false;
  std::vector<bool> states;
  bool IsBlinking() const override { return blinking; }
  void BlinkStateChanged(bool on) override { states.push_back(on); }
};

TEST(BlinkingTest, OneSharedClockWhileAnyControlIsRegistered) {
  ASSERT_EQ(TBlinkingControlsList::Instance(), nullptr);
  Blinker quiet;
  Blinker blinking;
  blinking.blinking = true;
  {
    TBlinkingRegistration first(&quiet);
    TBlinkingRegistration second(&blinking);
    TBlinkingControlsList& list = first.List();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.TimerActive());
    list.SetBlinkIntervalOn(300);
    list.Tick();
    list.Tick();
    EXPECT_EQ(blinking.states, (std::vector<bool>{true, false}));
    EXPECT_TRUE(quiet.states.empty());
  }
  EXPECT_EQ(TBlinkingControlsList::Instance(), nullptr);
}

TEST(BlinkingTest, BlinkingPaneSwapsItsTextColourAndRestoresIt) {
  TStatusPane pane;
  pane.SetFontColor(RGB(255, 0, 0));
  pane.SetBlinkColor(RGB(0, 0, 255));
  pane.SetBlinking(true);
  TBlinkingControlsList::Instance()->Tick();
  EXPECT_EQ(pane.CurrentTextColor(), RGB(0, 0, 255));
  pane.SetBlinking(false);
  EXPECT_EQ(pane.CurrentTextColor(), RGB(255, 0, 0));
}

}  // namespace
}  // namespace qelvu
