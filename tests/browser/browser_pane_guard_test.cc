// What a hostile page must not get from a pane: rich text in native dialogs, the host's
// bridge, an unbounded auto-completion store, or another program started on its own.
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QWebEngineView>

#include "browser/form_value_store.h"
#include "browser_test_support.h"

namespace qelvu {
namespace {

TEST_F(BrowserHostTest, ScriptDialogsShowThePagesTextAsPlainText) {
  const QString markup = QStringLiteral("<a href='smb://127.0.0.1/share'>open</a>");
  struct Case {
    const char* name;
    QString script;
  };
  const Case cases[] = {
      {"alert", QStringLiteral("alert(window.markup); 1")},
      {"confirm", QStringLiteral("confirm(window.markup); 1")},
      {"prompt", QStringLiteral("prompt(window.markup, ''); 1")},
  };
  Load(QStringLiteral("<p>dialogs</p>"));
  Eval(*host_, QStringLiteral("window.markup = \"%1\"; 1").arg(markup));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr) return;
      for (QLabel* label : box->findChildren<QLabel*>()) {
        if (!label->text().contains(u"smb:")) continue;
        shown << label->text();
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_FALSE(label->openExternalLinks());
      }
      box->close();
    });
    watch.start(10);
    Eval(*host_, c.script);
    EXPECT_EQ(shown, QStringList{markup});
  }
}

TEST_F(BrowserHostTest, PageScriptsCannotReachTheBridge) {
  std::vector<QSize> resizes;
  host_->OnResize = [&](TCustomBrowserHost*, int cx, int cy) { resizes.emplace_back(cx, cy); };
  PageServer server(
      "<form><input name='city'></form><script>"
      "window.seen = [typeof qt, typeof QWebChannel, typeof qelvuHost].join();"
      "try {"
      "  new QWebChannel(qt.webChannelTransport, function(c) {"
      "    c.objects.qelvuHost.rememberValue('city', 'planted');"
      "    window.reached = true;"
      "  });"
      "} catch (e) { window.failure = e.name; }"
      "resizeTo(120, 90);"
      "</script>");
  NavigateAndWait(server.Url("/bridge.htm"));

  EXPECT_EQ(Eval(*host_, "window.seen").toString(),
            QStringLiteral("undefined,undefined,undefined"));
  EXPECT_EQ(Eval(*host_, "window.failure").toString(), QStringLiteral("ReferenceError"));
  // The page's own reports still arrive through the bridge.
  ASSERT_TRUE(WaitUntil([&] { return !resizes.empty(); }));
  EXPECT_EQ(resizes.front(), QSize(120, 90));
  Settle();
  EXPECT_FALSE(Eval(*host_, "window.reached === true").toBool());
  EXPECT_TRUE(TCustomBrowserHost::RememberedValues(QUrl(server.Url("/")), "city").isEmpty());
}

TEST(FormValueStoreTest, KeepsRecentValuesWithinItsBounds) {
  TFormValueStore store;
  const QString too_long(TFormValueStore::kMaxValueLength + 1, u'x');
  store.Remember("city", too_long);
  EXPECT_TRUE(store.Values("city").isEmpty()) << "an overlong value is not kept";

  for (int i = 0; i < TFormValueStore::kMaxValuesPerField + 5; ++i) {
    store.Remember("city", QString::number(i));
  }
  store.Remember("city", "3");
  const QStringList values = store.Values("city");
  ASSERT_EQ(values.size(), TFormValueStore::kMaxValuesPerField);
  EXPECT_EQ(values.front(), "3") << "a value typed again moves to the front, once";
  EXPECT_EQ(values.count("3"), 1);

  // Many fields with long values: the oldest fields go, the one just used stays.
  const QString long_value(TFormValueStore::kMaxValueLength, u'v');
  for (size_t i = 0; i < 2 * TFormValueStore::kMaxFields; ++i) {
    store.Remember(QStringLiteral("field%1").arg(i), long_value);
    ASSERT_LE(store.Fields(), TFormValueStore::kMaxFields);
    ASSERT_LE(store.Bytes(), TFormValueStore::kMaxBytes);
  }
  EXPECT_TRUE(store.Values("city").isEmpty());
  EXPECT_EQ(store.Values(QStringLiteral("field%1").arg(2 * TFormValueStore::kMaxFields - 1)),
            QStringList{long_value});
}

TEST_F(BrowserHostTest, FormValueStoreStaysBoundedWhenAPageFloods) {
  PageServer server(
      "<form action='/sent.htm'></form><script>"
      "var form = document.forms[0], value = 'v'.repeat(1000);"
      "for (var i = 0; i < 2000; ++i) {"
      "  var input = document.createElement('input');"
      "  input.name = 'f' + i; input.value = value + i; form.appendChild(input);"
      "}"
      "form.addEventListener('submit', function(e) { e.preventDefault(); });"
      "for (var round = 0; round < 3; ++round) form.requestSubmit();"
      "</script>");
  NavigateAndWait(server.Url("/flood.htm"));
  const QUrl site(server.Url("/"));
  ASSERT_TRUE(WaitUntil([&] {
    return !TCustomBrowserHost::RememberedValues(site, QStringLiteral("f1999")).isEmpty();
  }));

  const TFormValueStore& store = TCustomBrowserHost::RememberedFormValues();
  EXPECT_LE(store.Fields(), TFormValueStore::kMaxFields);
  EXPECT_LE(store.Bytes(), TFormValueStore::kMaxBytes);
  EXPECT_TRUE(TCustomBrowserHost::RememberedValues(site, QStringLiteral("f0")).isEmpty());
}

// Stands in for the desktop's handlers of other programs' links.
class LaunchRecorder : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kSchemes[] = {"mailto", "smb", "magnet"};
  LaunchRecorder() {
    for (const char* scheme : kSchemes) {
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Launch");
    }
  }
  ~LaunchRecorder() override {
    for (const char* scheme : kSchemes) {
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
  }
  QStringList launched;

 public slots:
  void Launch(const QUrl& url) { launched << url.toString(); }
};

TEST_F(BrowserHostTest, NothingLaunchesWithoutTheUsersAction) {
  LaunchRecorder recorder;
  QStringList downloads_offered;
  host_->Prompts.SaveFileName = [&](QWidget*, const QString& path) {
    downloads_offered << path;
    return QString();
  };
  PageServer server(
      "<a id='mail' href='mailto:someone@tv.example' style='display:block;height:60px'>mail</a>"
      "<a id='share' href='smb://127.0.0.1/share'>share</a>"
      "<a id='file' href='data:application/octet-stream,abc' download='x.bin'>file</a>");
  NavigateAndWait(server.Url("/tries.htm"));
  struct Case {
    const char* name;
    const char* script;
  };
  const Case cases[] = {
      {"script navigates", "location.href = 'mailto:someone@tv.example'; 1"},
      {"script clicks a link", "document.getElementById('share').click(); 1"},
      {"frame",
       "var f = document.createElement('iframe'); f.src = 'smb://127.0.0.1/s';"
       "document.body.appendChild(f); 1"},
      {"window.open of a link", "window.open('magnet:?xt=urn:btih:0'); 1"},
      {"window.open of a page", "window.open('about:blank'); 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Eval(*host_, QString::fromLatin1(c.script));
    Settle();
    EXPECT_TRUE(recorder.launched.isEmpty()) << recorder.launched.join(u' ').toStdString();
    EXPECT_TRUE(OpenPopups().empty());
  }
  // A download a script starts is put to the user, and declining it saves nothing.
  Eval(*host_, "document.getElementById('file').click(); 1");
  ASSERT_TRUE(WaitUntil([&] { return !downloads_offered.isEmpty(); }));
  EXPECT_TRUE(downloads_offered.front().endsWith(u"x.bin"));
  EXPECT_FALSE(QFileInfo::exists(downloads_offered.front()));

  // The user's own click is what opens another program.
  WaitForInput();
  Click({20, 20});
  ASSERT_TRUE(WaitUntil([&] { return !recorder.launched.isEmpty(); }));
  EXPECT_EQ(recorder.launched, QStringList{"mailto:someone@tv.example"});
}

}  // namespace
}  // namespace qelvu

#include "browser_pane_guard_test.moc"
