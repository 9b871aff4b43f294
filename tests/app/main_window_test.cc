#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/qt_channel_tree.h"
#include "app/sources_dialog.h"
#include "channels/gbk.h"
#include "channels/source_list.h"
#include "fake_main_view.h"
#include "support/temp_folder.h"
#include "test_addresses.h"
#include "widgets/size_panel.h"
#include "widgets/status_bar.h"
#include "widgets/styled_label.h"
#include "widgets/styled_tree_view.h"

namespace qelvu {
namespace {

using test::kAddresses;

class MainWindowTest : public ::testing::Test {
 protected:
  test::RecordingServices services_;
  TMainWindow window_{services_, kAddresses};

  QWidget* Find(const char* name) {
    QWidget* widget = window_.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
};

TEST_F(MainWindowTest, ComponentsSitWhereTheLayoutPutsThem) {
  EXPECT_EQ(window_.size(), QSize(780, 455));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());  // edges cannot be dragged
  struct Case {
    const char* name;
    const char* parent;
    QRect geometry;
  } cases[] = {
      {"pnlNotes", "Main", {585, 0, 195, 421}},
      {"tv1", "pnlNotes", {8, 0, 187, 340}},
      {"spnl2", "pnlNotes", {8, 340, 187, 81}},
      {"lbl2", "spnl2", {3, 10, 60, 12}},
      {"edt1", "spnl2", {63, 5, 65, 20}},
      {"btn1", "spnl2", {132, 4, 21, 22}},
      {"spnl1", "spnl2", {0, 31, 187, 50}},
      {"wb2", "spnl1", {2, 2, 183, 46}},
      {"wb1", "Main", {0, 0, 585, 421}},
      {"pnlAd", "Main", {-3, 0, 585, 36}},
      {"statusBar1", "Main", {0, 421, 780, 34}},
      {"marquee1", "statusBar1", {0, 0, 262, 34}},
      {"marquee2", "statusBar1", {262, 0, 211, 34}},
      {"statusPane1", "statusBar1", {473, 0, 118, 34}},
      {"pnl1", "Main", {218, 247, 185, 41}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* widget = Find(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(c.parent));
    // pnlAd starts 591 wide and is set to the channel pane's width at creation.
    EXPECT_EQ(widget->geometry(), c.geometry);
  }
}

TEST_F(MainWindowTest, LaterComponentsLieAbove) {
  const QObjectList& children = window_.children();
  const auto z = [&](const char* name) { return children.indexOf(Find(name)); };
  EXPECT_LT(z("wb1"), z("pnlAd"));
  EXPECT_LT(z("wb1"), z("pnl1"));
  EXPECT_LT(z("pnlNotes"), z("wb1"));
}

TEST_F(MainWindowTest, CaptionsColoursAndFonts) {
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("Qelvu网络电视播放器 V3.2.0.0"));
  struct Case {
    const char* name;
    QString text;
    int pixel_size;
    QColor color;
  } cases[] = {
      {"lbl2", QStringLiteral("电视台搜索"), 12, QColor(0, 0, 255)},
      {"pnlAd", QStringLiteral("Marvoli电话软件    不换号码    打遍全国4分钱/分钟"), 19,
       QColor(0, 0, 255)},
      {"pnl1", QStringLiteral("正在从服务器下载数据..."), 12, QColor()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* label = qobject_cast<QLabel*>(Find(c.name));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), c.text);
    if (c.pixel_size > 0) {
      EXPECT_EQ(label->font().pixelSize(), c.pixel_size);
    }
    if (c.color.isValid()) {
      EXPECT_EQ(label->palette().color(QPalette::WindowText), c.color);
    }
  }
  struct PaneCase {
    const char* name;
    QString text;
    int pixel_size;
    TColor color;
  } panes[] = {
      {"marquee1", QStringLiteral("Marvoli官方网站：service.test "), 16, RGB(255, 0, 0)},
      {"marquee2", QStringLiteral("立即免费注册获赠话费"), 16, RGB(255, 0, 0)},
      {"statusPane1", QStringLiteral(" 版本3.2.0.0"), 12, clWindowText},
  };
  for (const PaneCase& c : panes) {
    SCOPED_TRACE(c.name);
    auto* pane = qobject_cast<TCustomStatusPane*>(Find(c.name));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->Caption(), c.text);
    EXPECT_EQ(pane->font().pixelSize(), c.pixel_size);
    EXPECT_EQ(pane->FontColor(), c.color);
  }
  auto* link = qobject_cast<TUrlLabel*>(Find("urlLabel1"));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Caption(), QStringLiteral("Pemblo  一分钟会打字"));
  EXPECT_EQ(link->font().pixelSize(), 13);
  EXPECT_TRUE(link->Visited());
  EXPECT_EQ(link->FontColor(), RGB(128, 0, 128));
  EXPECT_EQ(link->URL(), QStringLiteral("pen.test"));
  // Sized to its text, as with the program's original font, where that gave 125 x 13.
  EXPECT_EQ(link->parentWidget(), Find("statusBar1"));
  EXPECT_EQ(link->geometry(), QRect(QPoint(623, 10), link->AutoSizeExtent()));
  EXPECT_TRUE(Find("pnlAd")->font().bold());
  EXPECT_TRUE(Find("urlLabel1")->font().underline());
  EXPECT_FALSE(Find("pnl1")->isHidden());  // visible from the start
  EXPECT_FALSE(Find("urlLabel1")->isHidden());
}

TEST_F(MainWindowTest, RefreshMessageIsHandledBeforeTheSendReturns) {
  window_.SendGetTvList();
  EXPECT_EQ(services_.refreshes, 1);
}

TEST_F(MainWindowTest, TreeMenuAndHint) {
  auto* menu = window_.findChild<QMenu*>(QStringLiteral("tv1Menu"));
  ASSERT_NE(menu, nullptr);
  QStringList captions;
  for (const QAction* action : menu->actions()) captions << action->text();
  EXPECT_EQ(captions,
            (QStringList{"添加播放列表文件…", "添加播放列表网址…", "频道来源…", "立即刷新"}));

  auto* hint = window_.findChild<QLabel*>(QStringLiteral("tv1Hint"));
  ASSERT_NE(hint, nullptr);
  EXPECT_EQ(hint->parentWidget(), window_.findChild<QTreeView*>(QStringLiteral("tv1"))->viewport());
  window_.SetTreeHint("右键添加播放列表");
  EXPECT_FALSE(hint->isHidden());
  EXPECT_EQ(hint->text(), QStringLiteral("右键添加播放列表"));
  window_.SetTreeHint("");
  EXPECT_TRUE(hint->isHidden());
}

// The menu on a channel: its own items first, then the sources'; each acts on the channel
// right-clicked, not on the selection.
TEST(MainWindowChannelMenuTest, ChannelItemsThenTheSources) {
  test::TTempFolder data;
  ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  test::RecordingServices services;
  TMainWindow window(services, kAddresses);
  TChannelTree& tree = window.tv1();
  tree.AddChannel(tree.AddCategory(Utf8ToGbk("卫视")), Utf8ToGbk("湖南卫视"), "tv/hn.htm");
  auto* view = window.findChild<TStyledTreeView*>(QStringLiteral("tv1"));
  QMenu* const sources = window.findChild<QMenu*>(QStringLiteral("tv1Menu"));
  ASSERT_TRUE(view != nullptr && sources != nullptr);
  const QAbstractItemModel& model = *view->model();
  const auto menu_on = [&](const QModelIndex& node) {
    QPoint pos;
    QMenu* menu = sources;
    emit view->OnNodeContextMenu(node, pos, menu);
    return menu;
  };
  const auto captions = [](const QMenu* menu) {
    QStringList list;
    for (const QAction* action : menu->actions()) {
      list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return list;
  };
  const auto choose = [](QMenu* menu, const QString& caption) {
    for (QAction* action : menu->actions()) {
      if (action->text() == caption) action->trigger();
    }
  };

  EXPECT_EQ(menu_on(model.index(0, 0)), sources);  // a category
  EXPECT_EQ(menu_on(QModelIndex()), sources);      // no node
  QMenu* menu = menu_on(model.index(0, 0, model.index(0, 0)));
  EXPECT_EQ(captions(menu),
            (QStringList{"播放", "加入收藏", "复制地址", "在浏览器中打开", "-", "添加播放列表文件…",
                         "添加播放列表网址…", "频道来源…", "立即刷新"}));
  choose(menu, "加入收藏");
  EXPECT_EQ(model.index(0, 0).data(), QStringLiteral("我的收藏"));
  EXPECT_EQ(model.index(1, 0).data(), QStringLiteral("卫视"));

  menu = menu_on(model.index(0, 0, model.index(0, 0)));  // the favourite's own node
  EXPECT_EQ(captions(menu).at(1), QStringLiteral("取消收藏"));
  choose(menu, "复制地址");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://tv.test/tv/hn.htm"));
  choose(menu, "在浏览器中打开");
  EXPECT_EQ(services.opened, std::vector<std::string>{"http://tv.test/tv/hn.htm"});
  choose(menu, "取消收藏");
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_TRUE(window.controller().favourites().Empty());

  // A menu left open while its channel goes does nothing.
  menu = menu_on(model.index(0, 0, model.index(0, 0)));
  tree.Clear();
  choose(menu, "加入收藏");
  EXPECT_TRUE(window.controller().favourites().Empty());
}

TEST(QtChannelTreeTest, PinnedCategoriesSitAboveTheListApartFromIt) {
  QTreeView view;
  auto& tree = *new TQtChannelTree(&view);
  // Aborts the test program on the first signal out of step with the rows.
  QAbstractItemModelTester checker(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
  const TreeNode a = tree.AddCategory("A");
  tree.AddChannel(a, "x", "1");
  tree.AddChannel(a, "y", "2");
  const auto top = [&tree] {
    QStringList rows;
    for (int row = 0; row < tree.rowCount(); ++row) rows << tree.index(row, 0).data().toString();
    return rows;
  };

  tree.SetPinned({{"F", {{"f1", "f.htm", ""}}}});
  EXPECT_EQ(top(), (QStringList{"F", "A"}));
  EXPECT_EQ(tree.NodeCount(), 3);  // the list alone
  EXPECT_EQ(tree.NodeText(tree.NodeAt(0)), "A");
  tree.Expand(a);
  tree.Select(TreeNode::Channel(0, 1));

  tree.SetPinned(
      {{"F", {{"f1", "f.htm", ""}}}, {"R", {{"r1", "r1.htm", ""}, {"r2", "r2.htm", ""}}}});
  EXPECT_EQ(top(), (QStringList{"F", "R", "A"}));
  EXPECT_TRUE(view.isExpanded(tree.index(2, 0)));       // A, two rows down
  EXPECT_EQ(tree.Selected(), TreeNode::Channel(0, 1));  // the list's rows moved down under it
  const TreeNode r2 = TreeNode::PinnedChannel(1, 1);
  tree.Select(r2);
  EXPECT_EQ(tree.Selected(), r2);
  EXPECT_EQ(tree.NodeText(r2), "r2");
  EXPECT_EQ(*tree.NodeData(r2), "r2.htm");
  EXPECT_EQ(tree.NodeParent(r2), TreeNode::PinnedCategory(1));
  EXPECT_EQ(tree.NodeOf(tree.index(2, 0)), a);
  EXPECT_THROW(tree.AddChannel(TreeNode::PinnedCategory(0), "w", ""), std::invalid_argument);

  tree.Expand(TreeNode::PinnedCategory(1));
  tree.SetPinned({{"R", {{"r2", "r2.htm", ""}, {"r1", "r1.htm", ""}}}});
  EXPECT_EQ(top(), (QStringList{"R", "A"}));
  EXPECT_TRUE(view.isExpanded(tree.index(0, 0)));  // R stayed, so did its expansion
  EXPECT_EQ(tree.index(0, 0, tree.index(0, 0)).data(), "r2");
  EXPECT_EQ(tree.AddCategory("B"), TreeNode::Category(1));
  EXPECT_EQ(top(), (QStringList{"R", "A", "B"}));

  tree.Clear();
  EXPECT_EQ(top(), QStringList{"R"});
  EXPECT_EQ(tree.NodeCount(), 0);
  EXPECT_TRUE(view.isExpanded(tree.index(0, 0)));
  tree.SetPinned({});
  EXPECT_EQ(tree.rowCount(), 0);
}

// The keys the window hands to its logic: "/" from the tree and Escape from the search box, which
// typed text leaves alone.
TEST_F(MainWindowTest, SlashAndEscapeMoveBetweenTreeAndSearchBox) {
  window_.show();
  window_.activateWindow();
  QApplication::processEvents();
  auto* edit = static_cast<QLineEdit*>(Find("edt1"));
  QWidget* tree = Find("tv1");
  const auto press = [](QWidget* widget, Qt::Key key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &down);
  };
  tree->setFocus();
  press(tree, Qt::Key_Slash, QStringLiteral("/"));
  EXPECT_TRUE(edit->hasFocus());
  press(edit, Qt::Key_Slash, QStringLiteral("/"));
  EXPECT_EQ(edit->text(), QStringLiteral("/"));
  press(edit, Qt::Key_Escape, QString());
  EXPECT_EQ(edit->text(), QString());
  EXPECT_TRUE(tree->hasFocus());
}

TEST(SourcesDialogTest, RemovesAndMoves) {
  TSources sources;
  sources.Add(TChannelSource::Playlist("http://a.test/a.m3u"));
  sources.Add(TChannelSource::Playlist("/b.m3u"));
  TSourcesDialog dialog(sources, "http://tv.test/", nullptr);
  const auto texts = [&dialog] {
    QStringList list;
    for (int i = 0; i < dialog.list()->count(); ++i) list << dialog.list()->item(i)->text();
    return list;
  };
  EXPECT_EQ(texts(),
            (QStringList{"频道目录网站 http://tv.test/", "http://a.test/a.m3u", "/b.m3u"}));
  const auto click = [&dialog](const char* name) {
    dialog.findChild<QPushButton*>(QLatin1String(name))->click();
  };
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("up"))->isEnabled());
  click("down");  // the directory site, selected first, one down
  click("down");
  EXPECT_EQ(texts(),
            (QStringList{"http://a.test/a.m3u", "/b.m3u", "频道目录网站 http://tv.test/"}));
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("down"))->isEnabled());
  click("remove");
  click("up");  // the selection moved to the last one left
  EXPECT_EQ(texts(), (QStringList{"/b.m3u", "http://a.test/a.m3u"}));
  EXPECT_EQ(dialog.sources().Items(),
            (std::vector{TChannelSource::Playlist("/b.m3u"),
                         TChannelSource::Playlist("http://a.test/a.m3u")}));
  // The caller's list is a copy the dialog leaves alone.
  EXPECT_EQ(sources.Items().size(), 3u);
}

TEST(QtChannelTreeTest, PreOrderSurvivesAppendsToEarlierCategories) {
  QTreeView view;
  auto& tree = *new TQtChannelTree(&view);
  const TreeNode a = tree.AddCategory("A");
  tree.AddChannel(a, "x", "1");
  const TreeNode b = tree.AddCategory(Utf8ToGbk("卫视"));
  tree.AddChannel(b, "y", "");
  tree.AddChannel(a, "z", "3");  // not at the end: pre-order must be rebuilt
  ASSERT_EQ(tree.NodeCount(), 5);
  std::vector<std::string> texts;
  for (int i = 0; i < tree.NodeCount(); ++i) texts.push_back(tree.NodeText(tree.NodeAt(i)));
  EXPECT_EQ(texts, (std::vector<std::string>{"A", "x", "z", Utf8ToGbk("卫视"), "y"}));
  EXPECT_EQ(tree.index(1, 0).data(), QStringLiteral("卫视"));  // shown decoded
  EXPECT_EQ(tree.rowCount(tree.index(0, 0)), 2);
  EXPECT_EQ(tree.index(1, 0, tree.index(0, 0)).data(), "z");
  EXPECT_EQ(tree.parent(tree.index(1, 0, tree.index(0, 0))), tree.index(0, 0));
  EXPECT_EQ(tree.NodeData(tree.NodeAt(0)), nullptr);
  ASSERT_NE(tree.NodeData(tree.NodeAt(4)), nullptr);
  EXPECT_EQ(*tree.NodeData(tree.NodeAt(4)), "");  // an empty suffix is not "no data"
  EXPECT_EQ(tree.NodeParent(tree.NodeAt(2)), a);
  tree.Select(tree.NodeAt(2));
  EXPECT_EQ(tree.Selected(), tree.NodeAt(2));
  EXPECT_THROW(tree.AddChannel(tree.NodeAt(1), "w", ""), std::invalid_argument);
  tree.Clear();
  EXPECT_EQ(tree.NodeCount(), 0);
  EXPECT_EQ(tree.Selected(), nullptr);
  EXPECT_EQ(tree.rowCount(), 0);
}

// A filter shows a few rows of a large model: the view's rows map onto the nodes, hidden ones
// cannot be selected, and any change to the nodes shows them all again.
TEST(QtChannelTreeTest, FilterShowsOnlyTheMatchesExpanded) {
  QTreeView view;
  auto& tree = *new TQtChannelTree(&view);
  for (const char* category : {"A", "B", "C"}) {
    const TreeNode node = tree.AddCategory(category);
    for (const char* channel : {"x", "y", "z"}) {
      tree.AddChannel(node, std::string(category) + channel, channel);
    }
  }
  tree.ShowOnly({TreeNode::Channel(0, 2), TreeNode::Channel(2, 0), TreeNode::Channel(2, 1)});
  EXPECT_TRUE(tree.Filtered());
  ASSERT_EQ(tree.rowCount(), 2);
  EXPECT_EQ(tree.index(1, 0).data(), "C");
  EXPECT_EQ(tree.rowCount(tree.index(0, 0)), 1);
  EXPECT_EQ(tree.index(0, 0, tree.index(0, 0)).data(), "Az");
  EXPECT_EQ(tree.index(1, 0, tree.index(1, 0)).data(), "Cy");
  EXPECT_EQ(tree.parent(tree.index(1, 0, tree.index(1, 0))), tree.index(1, 0));
  EXPECT_TRUE(view.isExpanded(tree.index(0, 0)));
  EXPECT_TRUE(view.isExpanded(tree.index(1, 0)));
  EXPECT_EQ(tree.NodeCount(), 12);  // the nodes themselves are all there
  tree.Select(TreeNode::Channel(2, 1));
  EXPECT_EQ(tree.Selected(), TreeNode::Channel(2, 1));
  EXPECT_EQ(view.currentIndex(), tree.index(1, 0, tree.index(1, 0)));
  tree.Select(TreeNode::Channel(1, 0));  // hidden
  EXPECT_EQ(tree.Selected(), nullptr);

  tree.ShowAll();
  EXPECT_FALSE(tree.Filtered());
  EXPECT_EQ(tree.rowCount(), 3);
  EXPECT_FALSE(view.isExpanded(tree.index(0, 0)));
  tree.ShowOnly({TreeNode::Channel(1, 1)});
  tree.AddChannel(TreeNode::Category(1), "Bw", "w");
  EXPECT_FALSE(tree.Filtered());
  EXPECT_EQ(tree.rowCount(tree.index(1, 0)), 4);
}

// A filter looks through the list alone: the pinned categories leave while it shows, change
// unseen, and come back as they were when it ends; the list's own edits stay below them.
TEST(QtChannelTreeTest, FilterHidesThePinnedCategoriesUntilItEnds) {
  QTreeView view;
  auto& tree = *new TQtChannelTree(&view);
  QAbstractItemModelTester checker(&tree, QAbstractItemModelTester::FailureReportingMode::Fatal);
  tree.AddChannel(tree.AddCategory("A"), "Ax", "x");
  tree.SetPinned({{"F", {{"f1", "f.htm", ""}}}});
  tree.Expand(TreeNode::PinnedCategory(0));

  tree.ShowOnly({TreeNode::Channel(0, 0)});
  ASSERT_EQ(tree.rowCount(), 1);
  EXPECT_EQ(tree.index(0, 0).data(), "A");
  EXPECT_EQ(tree.NodeOf(tree.index(0, 0, tree.index(0, 0))), TreeNode::Channel(0, 0));
  tree.Select(TreeNode::PinnedChannel(0, 0));  // hidden
  EXPECT_EQ(tree.Selected(), nullptr);
  tree.SetPinned({{"F", {{"f1", "f.htm", ""}}}, {"R", {{"r1", "r.htm", ""}}}});
  EXPECT_EQ(tree.rowCount(), 1);

  tree.ShowAll();
  ASSERT_EQ(tree.rowCount(), 3);
  EXPECT_EQ(tree.index(1, 0).data(), "R");
  EXPECT_TRUE(tree.IsExpanded(TreeNode::PinnedCategory(0)));
  EXPECT_FALSE(tree.IsExpanded(TreeNode::PinnedCategory(1)));
  tree.InsertCategory(0, "N");
  tree.RemoveCategory(1);
  EXPECT_EQ(tree.index(2, 0).data(), "N");
  EXPECT_EQ(tree.CategoryCount(), 1);
  EXPECT_THROW(tree.RemoveChannels(TreeNode::PinnedCategory(0), 0, 1), std::invalid_argument);
}

// Nodes inserted and removed in the middle move the view's expanded nodes and selection along.
TEST(QtChannelTreeTest, InsertsAndRemovalsKeepTheViewsState) {
  QTreeView view;
  auto& tree = *new TQtChannelTree(&view);
  const TListChannel x{"x", "1", ""}, y{"y", "2", ""};
  const TreeNode a = tree.AddCategory("A");
  tree.InsertChannels(a, 0, &x, 1);
  const TreeNode b = tree.AddCategory("B");
  const TListChannel both[] = {x, y};
  tree.InsertChannels(b, 0, both, 2);
  tree.Expand(b);
  tree.Select(TreeNode::Channel(1, 1));

  tree.InsertCategory(0, "N");
  tree.InsertChannels(TreeNode::Category(2), 0, &y, 1);
  tree.RemoveCategory(1);  // A
  ASSERT_EQ(tree.CategoryCount(), 2);
  EXPECT_EQ(tree.NodeText(TreeNode::Category(1)), "B");
  EXPECT_EQ(tree.Selected(), TreeNode::Channel(1, 2));
  EXPECT_TRUE(tree.IsExpanded(TreeNode::Category(1)));
  EXPECT_FALSE(tree.IsExpanded(TreeNode::Category(0)));
  tree.RemoveChannels(TreeNode::Category(1), 0, 2);
  EXPECT_EQ(tree.Selected(), TreeNode::Channel(1, 0));
  std::vector<std::string> texts;
  for (int i = 0; i < tree.NodeCount(); ++i) texts.push_back(tree.NodeText(tree.NodeAt(i)));
  EXPECT_EQ(texts, (std::vector<std::string>{"N", "B", "y"}));
  EXPECT_THROW(tree.RemoveChannels(TreeNode::Category(1), 0, 2), std::out_of_range);
}

// The channel column is as wide and as collapsed at the next start as the user left it.
TEST(MainWindowSettingsTest, TheChannelColumnIsKeptAcrossRuns) {
  const std::string home = "/tmp/qelvu-window-settings-" + std::to_string(::getpid());
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  test::RecordingServices services;
  const auto column = [](TMainWindow& window) {
    return window.findChild<TSizePanel*>(QStringLiteral("pnlNotes"));
  };
  {
    TMainWindow window(services, kAddresses);
    TSizePanel* panel = column(window);
    panel->setGeometry(780 - 240, 0, 240, panel->height());
    panel->LoadHotSpotState(true, 300);
  }
  {
    TMainWindow window(services, kAddresses);
    TSizePanel* panel = column(window);
    EXPECT_EQ(panel->width(), 240);
    EXPECT_EQ(panel->x() + panel->width(), 780);
    EXPECT_TRUE(panel->HotSpotClosed());
    EXPECT_EQ(panel->HotSpotPosition(), 300);
  }
  std::filesystem::remove_all(home);
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace qelvu
