#include <QDialog>
#include <QKeyEvent>
#include <QWebEngineView>

#include "browser_test_support.h"

namespace qelvu {
namespace {

TEST_F(BrowserHostTest, NoticePaneOpensNoNewWindow) {
  MakeNoticePane();
  Load(QStringLiteral("<a id='blank' href='http://127.0.0.1/x' target='_blank'>x</a>"));
  const QUrl page_url = host_->Page()->url();

  Eval(*host_, QStringLiteral("window.open('http://127.0.0.1/popup'); 1"));
  Eval(*host_, QStringLiteral("document.getElementById('blank').click(); 1"));
  ASSERT_TRUE(WaitUntil([&] { return new_window_requests_ == 2; }));
  Settle();

  EXPECT_TRUE(OpenPopups().empty());
  EXPECT_EQ(host_->Page()->url(), page_url);
}

TEST_F(BrowserHostTest, UnassignedNewWindowOpensTopLevelPane) {
  Load(
      QStringLiteral("<a href='about:blank' target='_blank' style='display:block;height:80px'>"
                     "new</a>"));
  WaitForInput();
  Click({20, 20});
  ASSERT_TRUE(WaitUntil([&] { return OpenPopups().size() == 1; }));
  EXPECT_NE(qobject_cast<TBrowserHost*>(OpenPopups().front()), nullptr);
}

TEST_F(BrowserHostTest, ScriptResizeIsReportedAndResizesNothing) {
  struct Request {
    QString op;
    int x, y;
  };
  std::vector<Request> requests;
  auto record = [&](const char* op) {
    return [&requests, op](TCustomBrowserHost*, int x, int y) {
      requests.push_back({QString::fromLatin1(op), x, y});
    };
  };
  host_->OnResize = record("resizeTo");
  host_->OnResizeBy = record("resizeBy");
  host_->OnMove = record("moveTo");
  host_->OnMoveBy = record("moveBy");
  const QSize pane_size = host_->size();
  const QRect form_geometry = form_->geometry();

  Load(
      QStringLiteral("<script>resizeTo(100, 100); resizeBy(5, 6); moveTo(7, 8);"
                     "moveBy(-1, -2);</script>"));
  ASSERT_TRUE(WaitUntil([&] { return requests.size() == 4; }));

  const Request expected[] = {
      {"resizeTo", 100, 100}, {"resizeBy", 5, 6}, {"moveTo", 7, 8}, {"moveBy", -1, -2}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(expected[i].op.toStdString());
    EXPECT_EQ(requests[i].op, expected[i].op);
    EXPECT_EQ(requests[i].x, expected[i].x);
    EXPECT_EQ(requests[i].y, expected[i].y);
  }
  EXPECT_EQ(host_->size(), pane_size);
  EXPECT_EQ(form_->geometry(), form_geometry);
}

TEST_F(BrowserHostTest, CtrlNIsSwallowedAndAltNReachesThePage) {
  QString masked;
  host_->OnMaskedCtrlChar = [&](TCustomBrowserHost*, QChar c) { masked += c; };
  Load(
      QStringLiteral("<script>window.keys = [];"
                     "document.addEventListener('keydown', function(e) {"
                     "  window.keys.push((e.ctrlKey ? 'C' : '') + (e.altKey ? 'A' : '') + e.key);"
                     "});</script>"));
  WaitForInput();
  Eval(*host_, "window.keys = []; 1");

  struct Key {
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text;
  };
  const Key keys[] = {{Qt::Key_N, Qt::ControlModifier, "n"},
                      {Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier, "N"},
                      {Qt::Key_N, Qt::AltModifier, "n"},
                      {Qt::Key_N, Qt::ControlModifier | Qt::AltModifier, "n"},
                      {Qt::Key_B, Qt::ControlModifier, "b"}};
  for (const Key& k : keys) SendKey(Proxy(), k.key, k.modifiers, QString::fromLatin1(k.text));
  ASSERT_TRUE(WaitUntil([&] { return Eval(*host_, "window.keys.indexOf('Cb')").toInt() >= 0; }))
      << Eval(*host_, "window.keys.join(',')").toString().toStdString();

  EXPECT_EQ(masked, QStringLiteral("NN"));
  EXPECT_EQ(Eval(*host_, "window.keys.join(',')").toString(), QStringLiteral("An,CAn,Cb"));
}

TEST_F(BrowserHostTest, ScriptErrorShowsNoDialogAndLaterScriptsRun) {
  QStringList error;
  host_->OnScriptError = [&](TCustomBrowserHost*, const QString& line, const QString& character,
                             const QString& code, const QString& message, const QString& url) {
    error = {line, character, code, message, url};
  };
  host_->Loaded();
  Load(QStringLiteral("<script>\nnoSuchFunction();\n</script><script>window.after = 1;</script>"));
  ASSERT_TRUE(WaitUntil([&] { return !error.isEmpty(); }));

  EXPECT_EQ(error[0], QStringLiteral("2"));
  EXPECT_EQ(error[2], QStringLiteral("ReferenceError"));
  EXPECT_TRUE(error[3].contains(QStringLiteral("noSuchFunction")));
  EXPECT_EQ(Eval(*host_, "window.after").toInt(), 1);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(qobject_cast<QDialog*>(w) && w->isVisible());
  }
}

TEST_F(BrowserHostTest, NoticePaneShowsNoScrollBarsOnATallPage) {
  const QString tall = QStringLiteral("<div style='height:5000px;width:5000px'>tall</div>");
  const QString gutter = QStringLiteral("window.innerWidth - document.documentElement.clientWidth");
  Load(tall);
  EXPECT_GT(Eval(*host_, gutter).toInt(), 0) << "the channel pane keeps its scroll bars";

  MakeNoticePane();
  Load(tall);
  EXPECT_EQ(Eval(*host_, gutter).toInt(), 0);
  EXPECT_EQ(host_->frameWidth(), 0);
}

TEST_F(BrowserHostTest, NavigateRaisesEventsInOrder) {
  PageServer server("<html><head><title>Channel</title></head><body>tv</body></html>");
  QStringList events;
  host_->OnBeforeNavigate2 = [&](TBrowserControl*, QUrl& url, int, bool main_frame, bool&) {
    if (main_frame) events << "before " + url.path();
  };
  host_->OnTitleChange = [&](TBrowserControl*, const QString& title) {
    if (title == u"Channel") events << "title";
  };
  host_->OnNavigateComplete2 = [&](TBrowserControl*, const QUrl& url) {
    events << "navigated " + url.path();
  };
  host_->OnDocumentComplete = [&](TBrowserControl*, const QUrl& url) {
    events << "complete " + url.path();
  };

  host_->Navigate(server.Url("/cctv.htm"));
  ASSERT_TRUE(WaitUntil([&] { return events.contains("complete /cctv.htm"); }));

  EXPECT_EQ(events, QStringList({"before /cctv.htm", "title", "navigated /cctv.htm",
                                 "complete /cctv.htm"}));
}

TEST_F(BrowserHostTest, ReparentedPaneKeepsItsPageWithoutReload) {
  Load(QStringLiteral("<script>window.state = 'kept';</script>"));
  int loads = 0;
  host_->OnDownloadBegin = [&](TBrowserControl*) { ++loads; };
  QWidget other;
  other.resize(300, 200);
  other.show();

  host_->setParent(&other);
  host_->show();
  Settle();
  host_->setParent(form_.get());
  form_->layout()->addWidget(host_);
  host_->show();
  Settle();

  EXPECT_EQ(loads, 0);
  EXPECT_EQ(Eval(*host_, "window.state").toString(), QStringLiteral("kept"));
}

}  // namespace
}  // namespace qelvu
