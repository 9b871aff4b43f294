#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>

#include "widget_test_support.h"
#include "widgets/frames.h"
#include "widgets/styled_button.h"
#include "widgets/styled_panel.h"

namespace qelvu {
namespace {

// The notice pane holder of the main window: a 187 x 50 rounded panel inside a plain one.
TEST(StyledPanelTest, RoundedPanelInsetsItsClientChildAndCutsItsCorners) {
  TStyledPanel holder;
  holder.resize(187, 81);
  holder.SetBorderOuter(fsNone);
  holder.SetColor(RGB(10, 20, 30));
  auto* panel = new TStyledPanel(&holder);
  panel->SetBorderOuter(fsFlatRounded);
  panel->resize(187, 50);
  holder.DockLayout()->AddWidget(panel, alBottom);
  auto* inside = new QWidget;
  panel->DockLayout()->AddWidget(inside, alClient);
  inside->hide();  // leaves the panel's own fill visible
  holder.show();
  QApplication::processEvents();

  EXPECT_EQ(panel->geometry(), QRect(0, 31, 187, 50));
  const QImage image = panel->grab().toImage();
  EXPECT_EQ(PixelAt(image, 0, 0), RGB(10, 20, 30));
  EXPECT_EQ(PixelAt(image, 1, 1), Lighter(clBtnShadow, 30));
  EXPECT_EQ(PixelAt(image, 2, 0), Lighter(clBtnShadow, 30));
  EXPECT_EQ(PixelAt(image, 2, 2), ColorToRGB(clBtnFace));
  EXPECT_EQ(PixelAt(image, 184, 47), ColorToRGB(clBtnFace));
  inside->show();
  EXPECT_EQ(inside->geometry(), QRect(2, 2, 183, 46));
}

TEST(StyledPanelTest, PlainPanelIsOnlyAFill) {
  TStyledPanel panel;
  panel.SetBorderOuter(fsNone);
  panel.resize(20, 10);
  const QImage image = panel.grab().toImage();
  for (QPoint p : {QPoint(0, 0), QPoint(19, 9), QPoint(10, 5)}) {
    EXPECT_EQ(PixelAt(image, p.x(), p.y()), ColorToRGB(clBtnFace));
  }
}

class StyledButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.resize(100, 50);
    button_ = new TStyledButton(&window_);
    button_->setGeometry(132 - 100, 4, 21, 22);
    button_->setText(QStringLiteral("搜"));
    ShowActive(&window_);
  }

  QWidget window_;
  TStyledButton* button_ = nullptr;
};

TEST_F(StyledButtonTest, ClicksOnlyWhenReleasedInside) {
  QSignalSpy clicks(button_, &QAbstractButton::clicked);
  const QPoint inside(10, 10), outside(40, 10);
  SendMouse(button_, QEvent::MouseButtonPress, inside);
  EXPECT_TRUE(button_->isDown());
  SendMouse(button_, QEvent::MouseMove, outside);
  EXPECT_FALSE(button_->isDown());
  SendMouse(button_, QEvent::MouseButtonRelease, outside);
  EXPECT_EQ(clicks.count(), 0);

  SendMouse(button_, QEvent::MouseButtonPress, inside);
  SendMouse(button_, QEvent::MouseMove, outside);
  SendMouse(button_, QEvent::MouseMove, inside);
  EXPECT_TRUE(button_->isDown());
  SendMouse(button_, QEvent::MouseButtonRelease, inside);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(button_->hasFocus());

  SendKey(button_, QEvent::KeyPress, Qt::Key_Space);
  EXPECT_TRUE(button_->isDown());
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 2);
}

TEST_F(StyledButtonTest, DrawsTheClassicLookAndTheFocusBorder) {
  button_->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(button_->hasFocus());
  QImage image = button_->grab().toImage();
  // Focused, not down: the window-frame ring, then the raised button frame.
  EXPECT_EQ(PixelAt(image, 0, 0), ColorToRGB(clWindowFrame));
  EXPECT_EQ(PixelAt(image, 1, 1), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelAt(image, 19, 20), ColorToRGB(cl3DDkShadow));
  // The dotted focus border on (4, 4, 17, 18).
  EXPECT_EQ(PixelAt(image, 5, 4), clBlack);
  EXPECT_EQ(PixelAt(image, 4, 5), clBlack);
  EXPECT_EQ(PixelAt(image, 15, 17), clBlack);
  EXPECT_EQ(PixelAt(image, 16, 15), clBlack);
  EXPECT_EQ(PixelAt(image, 6, 4), ColorToRGB(clBtnFace));

  button_->setDown(true);
  image = button_->grab().toImage();
  EXPECT_EQ(PixelAt(image, 0, 0), ColorToRGB(clBtnText));
  EXPECT_EQ(PixelAt(image, 1, 1), ColorToRGB(clBtnShadow));
}

}  // namespace
}  // namespace qelvu
