// The window around its browser panes: the full-screen key, the status panel's background and
// the compiled-in captions fitting their panes.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QWebEngineView>

#include "app/main_window.h"
#include "browser/browser_host.h"
#include "browser/browser_test_support.h"
#include "fake_main_view.h"
#include "widgets/colors.h"
#include "widgets/painter_canvas.h"
#include "widgets/status_bar.h"

namespace qelvu {
namespace {

class MainWindowPanesTest : public ::testing::Test {
 protected:
  MainWindowPanesTest() {
    qunsetenv("QELVU_SERVICE_URL");
    window_ = std::make_unique<TMainWindow>(services_, TSiteAddresses::FromEnvironment());
  }

  template <typename W>
  W* Find(const char* name) {
    W* widget = window_->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  test::RecordingServices services_;
  std::unique_ptr<TMainWindow> window_;
};

TEST_F(MainWindowPanesTest, F11TogglesTheChannelPaneFullScreenAndEscapeLeaves) {
  window_->show();
  window_->activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return window_->isActiveWindow(); }));
  auto* wb1 = Find<TBrowserHost>("wb1");
  bool loaded = false;
  QObject::connect(wb1->Page(), &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
  wb1->Page()->setHtml(QStringLiteral("<p>channel</p>"));
  ASSERT_TRUE(WaitUntil([&] { return loaded; }));
  const QRect geometry = window_->geometry();
  struct Step {
    const char* name;
    QWidget* (*receiver)(TMainWindow&, TBrowserHost&);
    Qt::Key key;
    bool full_screen_after;
  };
  const auto search_box = [](TMainWindow& w, TBrowserHost&) -> QWidget* {
    return w.findChild<QWidget*>(QStringLiteral("edt1"));
  };
  const auto page = [](TMainWindow&, TBrowserHost& pane) -> QWidget* {
    return pane.View()->focusProxy();
  };
  const Step steps[] = {
      {"F11 in the search box", search_box, Qt::Key_F11, true},
      {"F11 in the full-screen page", page, Qt::Key_F11, false},
      {"F11 in the page", page, Qt::Key_F11, true},
      {"Escape in the full-screen page", page, Qt::Key_Escape, false},
      {"Escape in the window does nothing", search_box, Qt::Key_Escape, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    QWidget* receiver = s.receiver(*window_, *wb1);
    ASSERT_NE(receiver, nullptr);
    // The key goes to the window the user sees, which is the active one by then.
    ASSERT_TRUE(WaitUntil([&] { return receiver->window()->isActiveWindow(); }));
    QTest::keyClick(receiver, s.key);
    EXPECT_EQ(wb1->IsFullScreen(), s.full_screen_after);
    EXPECT_EQ(wb1->View()->window() != window_.get(), s.full_screen_after);
  }
  EXPECT_EQ(window_->geometry(), geometry);
}

TEST_F(MainWindowPanesTest, StatusPanelHasItsParentsBackground) {
  auto* pnl1 = Find<QLabel>("pnl1");
  EXPECT_TRUE(pnl1->autoFillBackground());
  EXPECT_EQ(pnl1->palette().color(QPalette::Window), window_->palette().color(QPalette::Window));
  EXPECT_EQ(pnl1->palette().color(QPalette::Window), ToQColor(clBtnFace));
}

TEST_F(MainWindowPanesTest, CompiledInCaptionsFitTheirPanes) {
  for (const char* name : {"marquee1", "marquee2"}) {
    SCOPED_TRACE(name);
    auto* pane = Find<TCustomStatusPane>(name);
    EXPECT_LE(pane->TextWidth(pane->Caption()), pane->TextRect().Width())
        << pane->Caption().toStdString();
  }
  EXPECT_TRUE(
      Find<TCustomStatusPane>("marquee1")
          ->Caption()
          .contains(QString::fromStdString(TSiteAddresses::FromEnvironment().ServiceSiteHost())));
}

}  // namespace
}  // namespace qelvu
