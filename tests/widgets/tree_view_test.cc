#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "support/expect_throw.h"
#include "widget_test_support.h"
#include "widgets/styled_tree_view.h"

namespace qelvu {
namespace {

constexpr TColor kCream = RGB(250, 245, 200);

// The channel tree as the main window sets it up, beside an edit box to take the focus.
class StyledTreeViewTest : public testing::Test {
 protected:
  void SetUp() override {
    window_.resize(187, 400);
    tree_ = new TStyledTreeView(&window_);
    tree_->setGeometry(0, 0, 187, 340);
    tree_->SetFrameVisible(true);
    tree_->SetColor(kCream);
    tree_->SetCtl3D(false);
    tree_->SetHideSelection(false);
    tree_->SetRowSelect(true);
    edit_ = new QLineEdit(&window_);
    edit_->setGeometry(0, 350, 100, 20);
    ShowActive(&window_);
  }

  QModelIndex AddCategory(const QString& name, int channels) {
    auto* category = new QStandardItem(name);
    for (int i = 0; i < channels; ++i)
      category->appendRow(new QStandardItem(name + QString::number(i)));
    tree_->Items()->appendRow(category);
    return category->index();
  }

  QWidget window_;
  TStyledTreeView* tree_ = nullptr;
  QLineEdit* edit_ = nullptr;
};

TEST_F(StyledTreeViewTest, FlatFrameOverTheBorder) {
  const QImage image = tree_->grab().toImage();
  for (QPoint p : {QPoint(0, 0), QPoint(186, 0), QPoint(0, 339), QPoint(186, 339)}) {
    EXPECT_EQ(PixelAt(image, p.x(), p.y()), ColorToRGB(clBtnShadow));
  }
  for (QPoint p : {QPoint(1, 1), QPoint(185, 338), QPoint(100, 300)}) {
    EXPECT_EQ(PixelAt(image, p.x(), p.y()), kCream);
  }
}

TEST_F(StyledTreeViewTest, BackgroundFollowsFocusAndEnabledState) {
  EXPECT_EQ(tree_->FocusColor(), kCream);  // moved along with the colour
  tree_->setFocus();
  EXPECT_EQ(tree_->Color(), kCream);

  const TColor focus = RGB(255, 255, 255);
  tree_->SetFocusColor(focus);
  EXPECT_EQ(tree_->Color(), focus);
  edit_->setFocus();
  EXPECT_EQ(tree_->Color(), kCream);
  tree_->setEnabled(false);
  EXPECT_EQ(tree_->Color(), clBtnFace);
  tree_->setEnabled(true);
  EXPECT_EQ(tree_->Color(), kCream);
  // A new colour leaves a distinct focus colour alone.
  tree_->SetColor(RGB(1, 2, 3));
  EXPECT_EQ(tree_->FocusColor(), focus);
}

TEST_F(StyledTreeViewTest, OutlinesTheSelectionOnlyWhileUnfocused) {
  const QModelIndex category = AddCategory(QStringLiteral("cat"), 3);
  tree_->expand(category);
  const QModelIndex channel = tree_->model()->index(1, 0, category);
  // The outline's top line, a little right of the text's left edge.
  auto outlined = [&] {
    const QRect text = tree_->visualRect(channel);
    const QPoint probe = tree_->viewport()->mapTo(tree_, text.topLeft() + QPoint(2, 0));
    return PixelAt(tree_->grab().toImage(), probe.x(), probe.y()) == ColorToRGB(clBtnShadow);
  };
  edit_->setFocus();
  EXPECT_FALSE(outlined());  // nothing selected
  tree_->setCurrentIndex(channel);
  EXPECT_TRUE(outlined());
  tree_->setFocus();
  EXPECT_FALSE(outlined());
  edit_->setFocus();
  tree_->SetHideSelection(true);
  EXPECT_FALSE(outlined());
}

TEST_F(StyledTreeViewTest, WheelScrollsWithoutMovingTheSelection) {
  for (int i = 0; i < 5; ++i) tree_->expand(AddCategory(QString::number(i), 10));
  const QModelIndex first = tree_->model()->index(0, 0);
  tree_->setCurrentIndex(first);
  QWheelEvent down(QPointF(50, 50), QPointF(tree_->mapToGlobal(QPoint(50, 50))), QPoint(),
                   QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(tree_->viewport(), &down);
  EXPECT_EQ(tree_->verticalScrollBar()->value(), QApplication::wheelScrollLines());
  EXPECT_EQ(tree_->currentIndex(), first);
  QWheelEvent up(QPointF(50, 50), QPointF(tree_->mapToGlobal(QPoint(50, 50))), QPoint(),
                 QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(tree_->viewport(), &up);
  EXPECT_EQ(tree_->verticalScrollBar()->value(), 0);
}

// A touchpad or a high-resolution wheel sends parts of a notch (15 is an eighth).
TEST_F(StyledTreeViewTest, PartialNotchesAddUp) {
  for (int i = 0; i < 5; ++i) tree_->expand(AddCategory(QString::number(i), 10));
  QApplication::setWheelScrollLines(3);
  QApplication::processEvents();  // the rows laid out, the scroll range known
  const auto turn = [this](int delta, int times) {
    for (int i = 0; i < times; ++i) {
      QWheelEvent wheel(QPointF(50, 50), QPointF(tree_->mapToGlobal(QPoint(50, 50))), QPoint(),
                        QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(tree_->viewport(), &wheel);
    }
    return tree_->verticalScrollBar()->value();
  };
  EXPECT_EQ(turn(-15, 1), 0);  // three eighths of a line
  EXPECT_EQ(turn(-15, 3), 1);  // one and a half
  EXPECT_EQ(turn(-15, 4), 3);  // a whole notch: three lines
  EXPECT_EQ(turn(10, 1), 3);   // turning back drops what was left over
  EXPECT_EQ(turn(30, 1), 2);
}

TEST_F(StyledTreeViewTest, ContextMenuKeysReportTheSelectedNode) {
  const QModelIndex category = AddCategory(QStringLiteral("cat"), 2);
  tree_->setCurrentIndex(category);
  QMenu menu;
  tree_->SetPopupMenu(&menu);
  QModelIndex reported;
  QPoint reported_pos;
  QObject::connect(tree_, &TStyledTreeView::OnNodeContextMenu,
                   [&](const QModelIndex& node, QPoint& pos, QMenu*& shown) {
                     reported = node;
                     reported_pos = pos;
                     EXPECT_EQ(shown, &menu);
                     shown = nullptr;  // suppressed
                   });
  QKeyEvent shift_f10(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
  QApplication::sendEvent(tree_, &shift_f10);
  EXPECT_EQ(reported, category);
  EXPECT_EQ(reported_pos, tree_->visualRect(category).center());
  EXPECT_FALSE(menu.isVisible());
}

TEST_F(StyledTreeViewTest, SavesAndLoadsIndentedText) {
  const QStringList text = {"a", "\tb", "\t\tc", "\td", "e"};
  tree_->LoadFromText(text);
  EXPECT_EQ(tree_->model()->rowCount(), 2);
  EXPECT_EQ(tree_->Items()->item(0)->child(0)->child(0)->text(), "c");
  EXPECT_EQ(tree_->SaveToText(), text);

  const auto error = test::ExpectThrow<EWidgetError>([&] {
    tree_->LoadFromText({"a", "\t\tjump"});
  });
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), "Invalid level (2) for item \"jump\"");
}

}  // namespace
}  // namespace qelvu
