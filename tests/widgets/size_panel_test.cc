#include "widgets/size_panel.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "support/expect_throw.h"
#include "widget_test_support.h"
#include "widgets/dock_layout.h"

namespace qelvu {
namespace {

// The main window's arrangement: the channel column docked right, the browser pane
// filling the rest, a status bar at the bottom and two floating panels above them.
class SizePanelTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.resize(780, 455);
    auto* layout = new TDockLayout(&window_);
    notes_ = new TSizePanel;
    notes_->resize(195, 421);
    notes_->SetBorderOuter(fsNone);
    notes_->SetHotSpotVisible(true);
    notes_->SetHotSpotColor(cl3DLight);
    notes_->SetHotSpotDotColor(RGB(60, 60, 120));
    notes_->SetHotSpotHighlight(RGB(240, 230, 180));
    layout->AddWidget(notes_, alRight);
    browser_ = new QWidget;
    layout->AddWidget(browser_, alClient);
    auto* status = new QWidget;
    status->resize(780, 34);
    layout->AddWidget(status, alBottom);
    (new QWidget(&window_))->setGeometry(-3, 0, 591, 36);     // banner
    (new QWidget(&window_))->setGeometry(218, 247, 185, 41);  // download notice
    ShowActive(&window_);
  }

  void Press(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(notes_, QEvent::MouseButtonPress, p, button);
  }
  void Move(QPoint p) {
    QMouseEvent event(QEvent::MouseMove, QPointF(p), QPointF(notes_->mapToGlobal(p)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(notes_, &event);
  }
  void Release(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(notes_, QEvent::MouseButtonRelease, p, button);
  }

  QWidget window_;
  TSizePanel* notes_ = nullptr;
  QWidget* browser_ = nullptr;
  const QPoint hot_spot_{3, 200};
  const QPoint bar_{3, 20};
};

TEST_F(SizePanelTest, DocksRightWithItsBarOnTheLeft) {
  EXPECT_EQ(notes_->geometry(), QRect(585, 0, 195, 421));
  EXPECT_EQ(browser_->geometry(), QRect(0, 0, 585, 421));
  EXPECT_EQ(notes_->SizeBarWidth(), 7);
  EXPECT_EQ(notes_->HotSpotBounds(), (TRect{0, 126, 7, 294}));
  EXPECT_EQ(notes_->DockLayout()->contentsRect().left(), 8);
  const QImage image = notes_->grab().toImage();
  EXPECT_EQ(PixelAt(image, 1, 127), ColorToRGB(cl3DLight));
  EXPECT_EQ(PixelAt(image, 3, 141), RGB(60, 60, 120));
  EXPECT_EQ(PixelAt(image, 3, 20), ColorToRGB(clBtnFace));
}

TEST_F(SizePanelTest, HotSpotClickCollapsesAndRestores) {
  QSignalSpy clicks(notes_, &TSizePanel::HotSpotClick);
  Press(hot_spot_);
  Release(hot_spot_);
  EXPECT_EQ(notes_->geometry(), QRect(772, 0, 8, 421));
  EXPECT_EQ(browser_->width(), 772);
  EXPECT_TRUE(notes_->HotSpotClosed());
  EXPECT_EQ(notes_->HotSpotPosition(), 195);
  EXPECT_EQ(notes_->DockLayout()->contentsRect().width(), 0);

  Press(hot_spot_);
  Release(hot_spot_);
  EXPECT_EQ(notes_->geometry(), QRect(585, 0, 195, 421));
  EXPECT_FALSE(notes_->HotSpotClosed());
  EXPECT_EQ(clicks.count(), 2);
}

// Floating siblings take no room: the column goes where the pointer lets go.
TEST_F(SizePanelTest, DragSetsTheWidthWithinTheWindow) {
  struct {
    QPoint press;
    int move_x;
    int want_width;
  } cases[] = {
      {bar_, -100, 295},  {bar_, 50, 145},     {bar_, 1000, 8},
      {bar_, -1000, 780}, {hot_spot_, 2, 193}, {hot_spot_, -40, 235},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.press.y() << " moved " << c.move_x);
    notes_->resize(195, 421);
    Press(c.press);
    Move(c.press + QPoint(c.move_x, 0));
    Release(c.press + QPoint(c.move_x, 0));
    EXPECT_EQ(notes_->width(), c.want_width);
    EXPECT_EQ(notes_->geometry().right(), 779);
    EXPECT_FALSE(notes_->HotSpotClosed());
    EXPECT_FALSE(notes_->BarDragActive());
  }
}

TEST_F(SizePanelTest, PressesThatDoNotResize) {
  QSignalSpy clicks(notes_, &TSizePanel::HotSpotClick);
  // Pressed on the hot spot, released elsewhere without a move.
  Press(hot_spot_);
  Release(QPoint(3, 10));
  // Right button on the bar and the hot spot.
  Press(hot_spot_, Qt::RightButton);
  EXPECT_FALSE(notes_->BarDragActive());
  Release(hot_spot_, Qt::RightButton);
  // Esc ends a drag without resizing.
  Press(bar_);
  Move(bar_ + QPoint(-60, 0));
  SendKey(notes_, QEvent::KeyPress, Qt::Key_Escape);
  EXPECT_FALSE(notes_->BarDragActive());
  Release(bar_ + QPoint(-60, 0));
  // A press on the body, beside the bar.
  Press(QPoint(50, 20));
  Move(QPoint(10, 20));
  Release(QPoint(10, 20));
  EXPECT_EQ(notes_->width(), 195);
  EXPECT_EQ(clicks.count(), 0);
}

TEST_F(SizePanelTest, LockBarKeepsOnlyTheHotSpot) {
  notes_->SetLockBar(true);
  Press(bar_);
  EXPECT_FALSE(notes_->BarDragActive());
  Move(bar_ + QPoint(-50, 0));
  Release(bar_ + QPoint(-50, 0));
  EXPECT_EQ(notes_->width(), 195);
  Press(hot_spot_);
  Move(hot_spot_ + QPoint(-50, 0));  // ignored while the bar is locked
  Release(hot_spot_);
  EXPECT_EQ(notes_->width(), 8);
}

TEST_F(SizePanelTest, RealTimeDragResizesOnEveryMove) {
  notes_->SetRealTimeDrag(true);
  Press(bar_);
  Move(bar_ + QPoint(-30, 0));
  EXPECT_EQ(notes_->geometry(), QRect(555, 0, 225, 421));
  EXPECT_EQ(browser_->width(), 555);
  Move(bar_ + QPoint(-1000, 0));
  EXPECT_EQ(notes_->width(), 780);
  Release(bar_ + QPoint(-1000, 0));
  EXPECT_EQ(notes_->width(), 780);
}

TEST_F(SizePanelTest, DraggingOpenClearsTheCollapsedState) {
  Press(hot_spot_);
  Release(hot_spot_);
  ASSERT_TRUE(notes_->HotSpotClosed());
  Press(hot_spot_);
  Move(hot_spot_ + QPoint(-100, 0));
  Release(hot_spot_ + QPoint(-100, 0));
  EXPECT_FALSE(notes_->HotSpotClosed());
  EXPECT_EQ(notes_->width(), 108);
}

TEST_F(SizePanelTest, BandInvertsTheCheckerboardWhileDragging) {
  window_.setAutoFillBackground(true);
  QPalette palette = window_.palette();
  palette.setColor(QPalette::Window, QColor(212, 208, 200));
  window_.setPalette(palette);
  browser_->hide();
  Press(bar_);
  Move(bar_ + QPoint(-100, 0));
  // The band's left edge is at 585 + (-100) + 1 in the window.
  const QImage image = window_.grab().toImage();
  const TColor inverted = RGB(255 - 212, 255 - 208, 255 - 200);
  const TColor plain = RGB(212, 208, 200);
  EXPECT_EQ(PixelAt(image, 486, 100), inverted);  // (486 + 100) even: white pattern pixel
  EXPECT_EQ(PixelAt(image, 487, 100), plain);
  EXPECT_EQ(PixelAt(image, 485, 101), plain);
  EXPECT_EQ(PixelAt(image, 492, 100), inverted);
  EXPECT_EQ(PixelAt(image, 494, 100), plain);  // past the 7-pixel band
  Release(bar_ + QPoint(-100, 0));
  EXPECT_EQ(PixelAt(window_.grab().toImage(), 486, 100), plain);
}

TEST_F(SizePanelTest, HoverHighlightsTheHotSpotOnlyOnChange) {
  Move(hot_spot_);
  EXPECT_TRUE(notes_->HotSpotHighlighted());
  EXPECT_EQ(notes_->cursor().hotSpot(), QPoint(0, 0));  // the arrow with a split glyph
  Move(bar_);
  EXPECT_FALSE(notes_->HotSpotHighlighted());
  EXPECT_EQ(notes_->cursor().hotSpot(), QPoint(8, 8));
  EXPECT_EQ(notes_->cursor().pixmap().size(), QSize(32, 32));
}

TEST_F(SizePanelTest, StoredCollapsedStateRestoresTheStoredSize) {
  notes_->resize(8, 421);
  notes_->LoadHotSpotState(true, 250);
  EXPECT_TRUE(notes_->HotSpotClosed());
  Press(hot_spot_);
  Release(hot_spot_);
  EXPECT_EQ(notes_->geometry(), QRect(530, 0, 250, 421));
  EXPECT_FALSE(notes_->HotSpotClosed());
}

TEST_F(SizePanelTest, MarginsAndVisibility) {
  notes_->SetMarginMin(-5);
  EXPECT_EQ(notes_->MarginMin(), 0);
  notes_->SetMarginMin(700);
  notes_->SetMarginMax(200);
  EXPECT_EQ(notes_->MarginMax(), 80);  // available 780 less the other margin
  Press(hot_spot_);
  Release(hot_spot_);
  notes_->SetHotSpotVisible(false);
  EXPECT_FALSE(notes_->HotSpotClosed());
  EXPECT_EQ(notes_->width(), 708);

  TSizePanel orphan;
  const auto error = test::ExpectThrow<EWidgetError>([&] { orphan.AvailableLength(); });
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), "No parent specified");
  TSizePanel plain;
  plain.SetHotSpotVisible(true);
  EXPECT_EQ(plain.SizeBarWidth(), 7);
}

}  // namespace
}  // namespace qelvu
