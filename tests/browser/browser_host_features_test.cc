#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QRegularExpression>
#include <QWebEngineView>
#include <QWheelEvent>

#include "browser_test_support.h"
#include "support/temp_folder.h"

namespace qelvu {
namespace {

TEST_F(BrowserHostTest, MessageBoxesCarryTheProgramIconAndNoEngineCaption) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::red);
  QApplication::setWindowIcon(QIcon(pixmap));
  struct Case {
    const char* name;
    bool replace_caption;
    QString new_caption;
    bool disable_all;
    bool shown;
    QString expected_caption;
  };
  const Case cases[] = {
      {"program default", true, QString(), false, true, QString()},
      {"own caption", true, QStringLiteral("Qelvu"), false, true, QStringLiteral("Qelvu")},
      {"engine caption", false, QString(), false, true,
       QStringLiteral("JavaScript Alert - http://127.0.0.1/")},
      {"all disabled", true, QString(), true, false, QString()},
  };
  Load(QStringLiteral("<p>notice</p>"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_->DialogBoxes.ReplaceCaption = c.replace_caption;
    host_->DialogBoxes.NewCaption = c.new_caption;
    host_->DialogBoxes.DisableAll = c.disable_all;
    bool shown = false;
    QString caption;
    bool program_icon = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (QWidget* box = QApplication::activeModalWidget()) {
        shown = true;
        caption = box->windowTitle();
        program_icon = box->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey();
        box->close();
      }
    });
    watch.start(10);

    EXPECT_EQ(Eval(*host_, "alert('hello'); 'after'").toString(), QStringLiteral("after"));
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(caption.toStdString(), c.expected_caption.toStdString());
    EXPECT_EQ(program_icon, c.shown);
  }
}

TEST_F(BrowserHostTest, WheelOverAPaneGivesItTheFocus) {
  auto* edit = new QWidget(form_.get());
  edit->setFocusPolicy(Qt::StrongFocus);
  form_->layout()->addWidget(edit);
  Load(QStringLiteral("<div style='height:3000px'>tall</div>"));
  form_->activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return form_->isActiveWindow(); }));
  edit->setFocus();
  ASSERT_TRUE(edit->hasFocus());

  QWidget* proxy = host_->View()->focusProxy();
  QWheelEvent wheel(QPointF(50, 50), proxy->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(proxy, &wheel);

  EXPECT_TRUE(WaitUntil([&] { return proxy->hasFocus(); }));
}

TEST_F(BrowserHostTest, HtmlCodeShowsTextOrGoesToTheAddress) {
  PageServer server("<html><body>served</body></html>");
  struct Case {
    const char* name;
    QStringList lines;
    QString expected_text;
  };
  const Case cases[] = {
      {"document",
       {QStringLiteral("<p>first</p>"), QStringLiteral("<p>second</p>")},
       QStringLiteral("first\n\nsecond")},
      {"one line of text", {QStringLiteral("<b>bold</b>")}, QStringLiteral("bold")},
      {"address", {server.Url("/page.htm")}, QStringLiteral("served")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool finished = false;
    auto connection = QObject::connect(host_->Page(), &QWebEnginePage::loadFinished,
                                       [&](bool) { finished = true; });
    host_->SetHTMLCode(c.lines);
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    QObject::disconnect(connection);
    EXPECT_EQ(Eval(*host_, "document.body.innerText").toString(), c.expected_text);
  }
}

TEST_F(BrowserHostTest, InternalUserAgentGoesOutWithThePanesRequests) {
  PageServer server("<html><body>agent</body></html>");
  struct Case {
    TUserAgentMode mode;
    bool expect_own_agent;
  };
  const Case cases[] = {{uaDefault, false}, {uaInternal, true}, {uaDefault, false}};
  host_->SetUserAgent(QStringLiteral("QelvuTest/3.2"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    host_->SetUserAgentMode(c.mode);
    bool finished = false;
    auto connection = QObject::connect(host_->Page(), &QWebEnginePage::loadFinished,
                                       [&](bool) { finished = true; });
    host_->Navigate(server.Url("/agent.htm"));
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    QObject::disconnect(connection);
    EXPECT_EQ(server.LastRequest().contains("\r\nUser-Agent: QelvuTest/3.2\r\n"),
              c.expect_own_agent)
        << server.LastRequest().toStdString();
  }
}

TEST_F(BrowserHostTest, FormValuesAreOfferedAgainOnTheSameSite) {
  PageServer server(
      "<form action='/sent.htm'><input name='city'>"
      "<input name='secret' autocomplete='off'></form>");
  NavigateAndWait(server.Url("/form.htm"));
  Eval(*host_,
       "document.forms[0].city.value = 'Shanghai'; document.forms[0].secret.value = 'hidden';"
       "document.forms[0].requestSubmit(); 1");
  const QUrl site(server.Url("/any/page.htm"));
  ASSERT_TRUE(
      WaitUntil([&] { return !TCustomBrowserHost::RememberedValues(site, "city").isEmpty(); }));
  EXPECT_EQ(TCustomBrowserHost::RememberedValues(site, "city"), QStringList{"Shanghai"});
  EXPECT_TRUE(TCustomBrowserHost::RememberedValues(site, "secret").isEmpty());
  EXPECT_TRUE(
      TCustomBrowserHost::RememberedValues(QUrl(QStringLiteral("http://other.example/")), "city")
          .isEmpty());

  NavigateAndWait(server.Url("/form.htm"));
  // As when the user clicks into the field: the page holds the focus.
  form_->activateWindow();
  host_->FocusDocument();
  ASSERT_TRUE(WaitUntil([&] { return Eval(*host_, "document.hasFocus()").toBool(); }));
  Eval(*host_, "document.forms[0].city.focus(); 1");
  const QString offered = QStringLiteral(
      "(function(){var i=document.forms[0].city;"
      "return i.list ? Array.from(i.list.options).map(o => o.value).join() : '';})()");
  EXPECT_TRUE(WaitUntil([&] { return Eval(*host_, offered).toString() == u"Shanghai"; }));
}

TEST_F(BrowserHostTest, PrintsToPdfWithThePrintOptions) {
  test::TTempFolder folder;
  const QString path = QString::fromStdString((folder / "page.pdf").string());
  host_->PrintOptions.Orientation = poLandScape;
  host_->PrintOptions.Margins = {19.05, 19.05, 19.05, 19.05};
  host_->PrintOptions.Header = QStringLiteral("&wHEADMARK");
  Load(QStringLiteral("<title>Notice</title><p>body</p>"));
  int results = 0;
  bool written = false;
  host_->PrintToPdf(path, [&](bool ok) {
    ++results;
    written = ok;
  });
  ASSERT_TRUE(WaitUntil([&] { return results == 1; }));
  ASSERT_TRUE(written);

  QFile pdf(path);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray content = pdf.readAll();
  const QRegularExpressionMatch box =
      QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
          .match(QString::fromLatin1(content));
  ASSERT_TRUE(box.hasMatch());
  EXPECT_GT(box.captured(1).toDouble(), box.captured(2).toDouble()) << "landscape";
  // The print-only header band is gone from the page again.
  EXPECT_FALSE(Eval(*host_, "!!document.getElementById('qelvu-print-bands')").toBool());
}

TEST_F(BrowserHostTest, ZoomCommandsFollowTheTextSize) {
  Load(QStringLiteral("<p>zoom</p>"));
  host_->SetVisualEffects({4, false});
  QVariant level;
  host_->ExecWB(OLECMDID_ZOOM, 0, level);
  EXPECT_EQ(level.toInt(), 4);
  QVariant range;
  host_->ExecWB(OLECMDID_GETZOOMRANGE, 0, range);
  EXPECT_EQ(range.toPoint(), QPoint(0, 4));
  QVariant none;
  EXPECT_THROW(host_->ExecWB(9999, 0, none), EOleError);
}

TEST_F(BrowserHostTest, DisabledMenusShowTheAttachedMenuInstead) {
  QMenu own_menu;
  host_->PopupMenu = &own_menu;
  Load(QStringLiteral("<p>menu</p>"));
  WaitForInput();
  struct Case {
    const char* name;
    bool handled_by_event;
    TIEPopupMenus disabled;
    bool own_menu_shown;
  };
  const Case cases[] = {
      {"event handles it", true, {rcmAll}, false},
      {"all menus disabled", false, {rcmAll}, true},
      {"default menu disabled", false, {rcmDefault}, true},
      {"another kind disabled", false, {rcmImage}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int raised = 0;
    host_->OnShowContextMenu = [&](TCustomBrowserHost*, int menu_id, const QPoint&, bool& handled) {
      ++raised;
      EXPECT_EQ(menu_id, rcmDefault);
      handled = c.handled_by_event;
    };
    host_->DisabledPopupMenus = c.disabled;
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(
          type, QPointF(10, 10), Proxy()->mapToGlobal(QPointF(10, 10)), Qt::RightButton,
          type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(Proxy(), &click);
    }
    ASSERT_TRUE(WaitUntil([&] { return raised == 1; }));
    const bool own_menu_shown = own_menu.isVisible();
    // Whatever menu opened goes away before the next case.
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_EQ(own_menu_shown, c.own_menu_shown);
  }
}

}  // namespace
}  // namespace qelvu
