#include "widgets/dock.h"

#include <gtest/gtest.h>

#include <QWidget>

#include "widget_test_support.h"
#include "widgets/dock_layout.h"

namespace qelvu {
namespace {

TEST(DockTest, ArrangesTopBottomLeftRightThenClientInOrder) {
  std::vector<TDockItem> items = {
      {alClient, {0, 0, 5, 5}},  {alRight, {0, 0, 20, 5}},       {alLeft, {0, 0, 10, 5}},
      {alBottom, {0, 0, 5, 30}}, {alTop, {0, 0, 5, 15}},         {alTop, {0, 0, 5, 5}},
      {alNone, {7, 8, 9, 10}},   {alLeft, {0, 0, 50, 5}, false},
  };
  ArrangeDocked({0, 0, 100, 100}, items);
  const TRect want[] = {
      {10, 20, 80, 70}, {80, 20, 100, 70}, {0, 20, 10, 70}, {0, 70, 100, 100},
      {0, 0, 100, 15},  {0, 15, 100, 20},  {7, 8, 9, 10},   {0, 0, 50, 5},
  };
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].bounds, want[i]);
  }
}

TEST(DockTest, FreeRectCountsHiddenDockedChildrenButNotFloatingOnes) {
  const std::vector<TDockItem> items = {
      {alRight, {585, 0, 780, 421}},         {alClient, {0, 0, 585, 421}},
      {alBottom, {0, 421, 780, 455}, false}, {alNone, {-3, 0, 588, 36}},
      {alCustom, {218, 247, 403, 288}},
  };
  EXPECT_EQ(DockFreeRect({0, 0, 780, 455}, items), (TRect{0, 0, 585, 421}));
}

TEST(DockLayoutTest, KeepsTheBottomEdgeWhenADockedChildChangesHeight) {
  QWidget container;
  container.resize(187, 81);
  auto* layout = new TDockLayout(&container);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* top = new QWidget;
  auto* bottom = new QWidget;
  auto* floating = new QWidget(&container);
  floating->setGeometry(10, 10, 5, 5);
  bottom->resize(10, 50);
  top->resize(10, 20);
  layout->AddWidget(bottom, alBottom);
  layout->AddWidget(top, alTop);
  container.show();
  QApplication::processEvents();
  EXPECT_EQ(bottom->geometry(), QRect(2, 29, 183, 50));
  EXPECT_EQ(top->geometry(), QRect(2, 2, 183, 20));
  bottom->resize(bottom->width(), 30);
  EXPECT_EQ(bottom->geometry(), QRect(2, 49, 183, 30));
  EXPECT_EQ(floating->geometry(), QRect(10, 10, 5, 5));
  EXPECT_EQ(layout->AlignOf(floating), alNone);
  EXPECT_EQ(layout->FreeRect(), (TRect{0, 20, 187, 51}));
}

}  // namespace
}  // namespace qelvu
