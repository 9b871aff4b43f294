// Shared by the browser tests: waiting on the engine, a form holding one pane, and a
// loopback page server.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "browser/browser_host.h"

namespace qelvu {

// Runs the event loop until `done` holds; false if it did not within the guard time.
inline bool WaitUntil(const std::function<bool()>& done) {
  QElapsedTimer guard;
  guard.start();
  while (!done()) {
    if (guard.elapsed() > 20000) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// Lets the engine work for a while when the test waits for something not to happen.
inline void Settle() {
  int rounds = 0;
  WaitUntil([&] { return ++rounds > 50; });
}

// The answer of `script` in the page's world. A renderer that went down never answers; the
// late callback then finds its own copy of the state, not this stack frame.
inline QVariant Eval(TBrowserControl& pane, const QString& script) {
  auto answer = std::make_shared<std::optional<QVariant>>();
  pane.Page()->runJavaScript(script, [answer](const QVariant& v) { *answer = v; });
  EXPECT_TRUE(WaitUntil([&] { return answer->has_value(); })) << script.toStdString();
  return answer->value_or(QVariant());
}

inline std::vector<TBrowserControl*> OpenPopups() {
  std::vector<TBrowserControl*> popups;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* pane = qobject_cast<TBrowserControl*>(w); pane && pane->isVisible()) {
      popups.push_back(pane);
    }
  }
  return popups;
}

// A form holding one pane, shown, as the main window holds wb1 and wb2.
class BrowserHostTest : public ::testing::Test {
 protected:
  BrowserHostTest() : form_(std::make_unique<QWidget>()), host_(new TBrowserHost(form_.get())) {
    auto* layout = new QVBoxLayout(form_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(host_);
    form_->resize(400, 300);
    form_->show();
  }
  ~BrowserHostTest() override {
    for (TBrowserControl* popup : OpenPopups()) delete popup;
  }

  // Loads `html` and waits until the page and its first scripts are done.
  void Load(const QString& html) {
    bool finished = false;
    auto connection = QObject::connect(host_->Page(), &QWebEnginePage::loadFinished,
                                       [&](bool) { finished = true; });
    host_->Page()->setHtml(html, QUrl(QStringLiteral("http://127.0.0.1/")));
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    QObject::disconnect(connection);
  }

  // Navigates to `url` and waits until the page has loaded.
  void NavigateAndWait(const QString& url) {
    bool finished = false;
    auto connection = QObject::connect(host_->Page(), &QWebEnginePage::loadFinished,
                                       [&](bool) { finished = true; });
    host_->Navigate(url);
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    QObject::disconnect(connection);
  }

  // Waits until the page takes keyboard and mouse input: the engine drops input until a
  // new page is ready for it, so a harmless probe key is sent until one lands.
  void WaitForInput() {
    form_->activateWindow();
    host_->FocusDocument();
    Eval(*host_,
         "window.probes = 0;"
         "document.addEventListener('keydown', function() { ++window.probes; }); 1");
    ASSERT_TRUE(WaitUntil([&] {
      SendKey(Proxy(), Qt::Key_Shift, Qt::NoModifier, QString());
      return Eval(*host_, "window.probes").toInt() > 0;
    }));
  }

  QWidget* Proxy() const { return host_->View()->focusProxy(); }

  // A left click on the page at `pos` (pixels from the view's top left), as the user makes it.
  void Click(QPoint pos) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, QPointF(pos), Proxy()->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                        Qt::NoModifier);
      QCoreApplication::sendEvent(Proxy(), &click);
    }
  }

  static void SendKey(QWidget* receiver, int key, Qt::KeyboardModifiers modifiers,
                      const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(receiver, &press);
    QCoreApplication::sendEvent(receiver, &release);
  }

  void MakeNoticePane() {
    host_->SetUserInterfaceOptions(
        {DontUseScrollBars, EnablesFormsAutoComplete, DontUse3DBorders, EnableThemes});
    host_->OnNewWindow2 = [this](TBrowserControl*, TBrowserControl*&, bool& cancel) {
      ++new_window_requests_;
      cancel = true;
    };
  }

  std::unique_ptr<QWidget> form_;
  TBrowserHost* host_;
  int new_window_requests_ = 0;
};

// Answers every request on 127.0.0.1 with what `answer` makes of it (head and body), then
// closes the connection.
class ScriptedServer {
 public:
  using TAnswer = std::function<QByteArray(const QByteArray& request)>;

  explicit ScriptedServer(TAnswer answer) {
    server_.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this, answer] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answer] {
          QByteArray& request = pending_[socket];
          request += socket->readAll();
          if (!request.contains("\r\n\r\n")) return;
          last_request_ = request;
          ++requests_;
          socket->write(answer(request));
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
          pending_.remove(socket);
          socket->deleteLater();
        });
      }
    });
  }
  QString Url(const char* path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
  }
  // The head (and body) of the last request served.
  QByteArray LastRequest() const { return last_request_; }
  int Requests() const { return requests_; }

  static QByteArray Answer(const QByteArray& status, const QByteArray& headers,
                           const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers +
           "Connection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
  }

 private:
  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> pending_;
  QByteArray last_request_;
  int requests_ = 0;
};

// Serves one fixed page to every connection on 127.0.0.1.
class PageServer : public ScriptedServer {
 public:
  explicit PageServer(const QByteArray& html)
      : ScriptedServer([html](const QByteArray&) {
          return Answer("200 OK", "Content-Type: text/html\r\n", html);
        }) {}
};

}  // namespace qelvu
