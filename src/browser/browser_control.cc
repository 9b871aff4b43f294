#include "browser/browser_control.h"

#include <QApplication>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPoint>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace qelvu {
namespace {

constexpr std::array<double, 5> kZoomFactors = {0.5, 0.75, 1.0, 1.25, 1.5};
constexpr int kNormalZoomLevel = 2;
constexpr uint32_t kCommandNotSupported = 0x80040100;
constexpr uint32_t kNewWindowUserInitiated = 0x1;
// A renderer that crashes again this soon after it was brought back is left down.
constexpr std::chrono::minutes kCrashLoopWindow{1};

QString NoticePage(const QString& title, const QString& body) {
  return QStringLiteral(
             "<!DOCTYPE html><html><head><meta charset='utf-8'><title>%1</title><style>"
             "body{font:14px sans-serif;color:#333;background:#f4f4f4;margin:0;padding:40px}"
             "h1{font-size:18px;color:#a00}p{line-height:1.5}button{font-size:14px}"
             "</style></head><body><h1>%1</h1>%2</body></html>")
      .arg(title.toHtmlEscaped(), body);
}

QString CertificateErrorPage(const QUrl& url, const QString& reason) {
  return NoticePage(
      QStringLiteral("无法安全地连接到此网站"),
      QStringLiteral("<p>%1 的证书未被接受，为了保护您的信息，页面没有打开。</p><p>原因：%2</p>"
                     "<p>可能是网站配置有误，或有人试图冒充该网站。</p>")
          .arg(url.host().toHtmlEscaped(), reason.toHtmlEscaped()));
}

QString CrashedPage(const QUrl& url) {
  return NoticePage(
      QStringLiteral("页面已崩溃"),
      QStringLiteral("<p>显示此页面的进程意外退出。</p><p><button id='reload' data-url='%1' "
                     "onclick='location.replace(this.dataset.url)'>重新载入</button></p>")
          .arg(url.toString().toHtmlEscaped()));
}

}  // namespace

// The page forwards the engine's questions to the control that owns it, so the
// answers live in the host classes and not in an engine subclass.
class TBrowserControl::TPage : public QWebEnginePage {
 public:
  explicit TPage(TBrowserControl* control) : control_(control) {}

  void BaseAlert(const QUrl& origin, const QString& message) {
    QWebEnginePage::javaScriptAlert(origin, message);
  }
  bool BaseConfirm(const QUrl& origin, const QString& message) {
    return QWebEnginePage::javaScriptConfirm(origin, message);
  }
  bool BasePrompt(const QUrl& origin, const QString& message, const QString& default_value,
                  QString* result) {
    return QWebEnginePage::javaScriptPrompt(origin, message, default_value, result);
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) override {
    return control_->AcceptNavigation(url, type, is_main_frame);
  }
  // Every new window goes through newWindowRequested; a request left open there
  // must not fall back to the view's own window creation.
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
  void javaScriptAlert(const QUrl& origin, const QString& message) override {
    control_->JavaScriptAlert(origin, message);
  }
  bool javaScriptConfirm(const QUrl& origin, const QString& message) override {
    return control_->JavaScriptConfirm(origin, message);
  }
  bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& default_value,
                        QString* result) override {
    return control_->JavaScriptPrompt(origin, message, default_value, result);
  }

 private:
  TBrowserControl* control_;
};

class TBrowserControl::TView : public QWebEngineView {
 public:
  explicit TView(TBrowserControl* control) : QWebEngineView(control), control_(control) {}
  void BaseContextMenu(QContextMenuEvent* event) { QWebEngineView::contextMenuEvent(event); }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override { control_->ShowContextMenu(event); }

 private:
  TBrowserControl* control_;
};

TBrowserControl::TBrowserControl(QWidget* parent)
    : QFrame(parent), view_(new TView(this)), page_(std::make_unique<TPage>(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_);
  QWebEnginePage* page = page_.get();
  view_->setPage(page);
  setFocusProxy(view_);
  // A link to another program opens it only when the user clicked it; a page cannot start
  // one by itself (a script, a frame, a redirect).
  page->settings()->setUnknownUrlSchemePolicy(
      QWebEngineSettings::AllowUnknownUrlSchemesFromUserInteraction);
  // The engine asks the pane (fullScreenRequested) only when this is on.
  page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);

  // Keys reach the engine through the view's focus proxy, which the view creates (and
  // may replace) on its own; watch every child it gets.
  view_->installEventFilter(this);
  for (QObject* child : view_->children()) WatchChild(child);

  connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
    if (OnStatusTextChange) OnStatusTextChange(this, url);
  });
  connect(page, &QWebEnginePage::loadProgress, this, [this](int progress) {
    if (OnProgressChange) OnProgressChange(this, progress, 100);
  });
  connect(page, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
    if (OnTitleChange) OnTitleChange(this, title);
  });
  connect(page, &QWebEnginePage::loadingChanged, this, &TBrowserControl::LoadingChanged);
  connect(page, &QWebEnginePage::newWindowRequested, this, &TBrowserControl::NewWindowRequested);
  connect(page, &QWebEnginePage::windowCloseRequested, this,
          &TBrowserControl::WindowCloseRequested);
  connect(page, &QWebEnginePage::fullScreenRequested, this,
          [this](QWebEngineFullScreenRequest request) {
            bool accept = true;
            FullScreenRequested(request.toggleOn(), accept);
            accept ? request.accept() : request.reject();
          });
  connect(page, &QWebEnginePage::certificateError, this,
          [this](const QWebEngineCertificateError& error) {
            certificate_error_ = error.description();
          });
  connect(page, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            RendererTerminated(status);
          });
  connect(page, &QWebEnginePage::urlChanged, this, [this] {
    const bool back = page_->history()->canGoBack();
    const bool forward = page_->history()->canGoForward();
    if (OnCommandStateChange && back != can_go_back_) {
      OnCommandStateChange(this, CSC_NAVIGATEBACK, back);
    }
    if (OnCommandStateChange && forward != can_go_forward_) {
      OnCommandStateChange(this, CSC_NAVIGATEFORWARD, forward);
    }
    can_go_back_ = back;
    can_go_forward_ = forward;
  });
}

TBrowserControl::~TBrowserControl() { view_->removeEventFilter(this); }

QWebEnginePage* TBrowserControl::Page() const { return page_.get(); }

QWebEngineView* TBrowserControl::View() const { return view_; }

void TBrowserControl::Navigate(const QString& url) { page_->load(QUrl(url)); }

void TBrowserControl::Navigate2(const QUrl& url, int /*flags*/, const QString& /*target_frame*/,
                                const QByteArray& post_data, const QString& headers) {
  QWebEngineHttpRequest request(
      url, post_data.isEmpty() ? QWebEngineHttpRequest::Get : QWebEngineHttpRequest::Post);
  if (!post_data.isEmpty()) request.setPostData(post_data);
  for (const QString& line : headers.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
    const qsizetype colon = line.indexOf(u':');
    if (colon <= 0) continue;
    request.setHeader(line.left(colon).trimmed().toLatin1(),
                      line.mid(colon + 1).trimmed().toUtf8());
  }
  page_->load(request);
}

void TBrowserControl::SetZoomLevel(int level) {
  page_->setZoomFactor(kZoomFactors[std::clamp(level, 0, int(kZoomFactors.size()) - 1)]);
}

int TBrowserControl::ZoomLevel() const {
  const qreal factor = page_->zoomFactor();
  int best = kNormalZoomLevel;
  for (int i = 0; i < int(kZoomFactors.size()); ++i) {
    if (std::abs(kZoomFactors[i] - factor) < std::abs(kZoomFactors[best] - factor)) best = i;
  }
  return best;
}

void TBrowserControl::ExecWB(int cmd_id, int /*cmdexecopt*/, QVariant& in_out) {
  static constexpr std::pair<int, QWebEnginePage::WebAction> kActions[] = {
      {OLECMDID_CUT, QWebEnginePage::Cut},
      {OLECMDID_COPY, QWebEnginePage::Copy},
      {OLECMDID_PASTE, QWebEnginePage::Paste},
      {OLECMDID_UNDO, QWebEnginePage::Undo},
      {OLECMDID_REDO, QWebEnginePage::Redo},
      {OLECMDID_SELECTALL, QWebEnginePage::SelectAll},
      {OLECMDID_CLEARSELECTION, QWebEnginePage::Unselect},
      {OLECMDID_REFRESH, QWebEnginePage::Reload},
      {OLECMDID_STOP, QWebEnginePage::Stop},
  };
  if (cmd_id == OLECMDID_ZOOM) {
    if (in_out.isValid()) SetZoomLevel(in_out.toInt());
    in_out = ZoomLevel();
    return;
  }
  if (cmd_id == OLECMDID_GETZOOMRANGE) {
    in_out = QPoint(0, int(kZoomFactors.size()) - 1);
    return;
  }
  for (const auto& [id, action] : kActions) {
    if (id == cmd_id) {
      page_->triggerAction(action);
      return;
    }
  }
  throw EOleError("The browser does not support this command", kCommandNotSupported);
}

bool TBrowserControl::TranslateKey(QKeyEvent*) { return false; }

void TBrowserControl::ShowContextMenu(QContextMenuEvent* event) { DefaultContextMenu(event); }

void TBrowserControl::DefaultContextMenu(QContextMenuEvent* event) {
  view_->BaseContextMenu(event);
}

bool TBrowserControl::EvaluateNewWindow(const QWebEngineNewWindowRequest&) { return true; }

std::unique_ptr<TBrowserControl> TBrowserControl::CreatePopup() {
  return std::make_unique<TBrowserControl>();
}

void TBrowserControl::JavaScriptAlert(const QUrl& origin, const QString& message) {
  page_->BaseAlert(origin, message);
}

bool TBrowserControl::JavaScriptConfirm(const QUrl& origin, const QString& message) {
  return page_->BaseConfirm(origin, message);
}

bool TBrowserControl::JavaScriptPrompt(const QUrl& origin, const QString& message,
                                       const QString& default_value, QString* result) {
  return page_->BasePrompt(origin, message, default_value, result);
}

void TBrowserControl::WatchChild(QObject* child) {
  if (child->isWidgetType()) child->installEventFilter(this);
}

bool TBrowserControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_) {
    if (event->type() == QEvent::ChildAdded) {
      WatchChild(static_cast<QChildEvent*>(event)->child());
    }
    return false;
  }
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    auto* key_event = static_cast<QKeyEvent*>(event);
    if (key_event->key() == Qt::Key_Escape && IsFullScreen()) {
      if (event->type() == QEvent::KeyPress) SetFullScreen(false);
      key_event->accept();
      return true;
    }
    if (TranslateKey(key_event)) {
      key_event->accept();
      return true;
    }
  }
  return false;
}

bool TBrowserControl::AcceptNavigation(QUrl url, QWebEnginePage::NavigationType type,
                                       bool is_main_frame) {
  if (!OnBeforeNavigate2) return true;
  const QUrl requested = url;
  bool cancel = false;
  OnBeforeNavigate2(this, url, type, is_main_frame, cancel);
  if (cancel) return false;
  if (is_main_frame && url != requested) {
    // The engine cannot retarget a navigation in flight: drop it and start the new one
    // once the engine has left this callback.
    QWebEnginePage* page = page_.get();
    QTimer::singleShot(0, page, [page, url] { page->load(url); });
    return false;
  }
  return true;
}

void TBrowserControl::NewWindowRequested(QWebEngineNewWindowRequest& request) {
  if (!EvaluateNewWindow(request)) return;
  TBrowserControl* target = nullptr;
  bool cancel = false;
  if (OnNewWindow2) OnNewWindow2(this, target, cancel);
  if (!cancel && target == nullptr && OnNewWindow3) {
    OnNewWindow3(this, target, cancel, request.isUserInitiated() ? kNewWindowUserInitiated : 0,
                 page_->url(), request.requestedUrl());
  }
  if (cancel) return;
  if (target == nullptr && !request.isUserInitiated()) return;
  if (target == nullptr) {
    std::unique_ptr<TBrowserControl> popup = CreatePopup();
    popup->setAttribute(Qt::WA_DeleteOnClose);
    target = popup.release();
    // A window still open when the program ends goes with the event loop, while the
    // engine is still there to take its page down.
    connect(qApp, &QCoreApplication::aboutToQuit, target, &QObject::deleteLater);
    connect(target->Page(), &QWebEnginePage::titleChanged, target, &QWidget::setWindowTitle);
    const QRect geometry = request.requestedGeometry();
    if (geometry.width() > 0 && geometry.height() > 0) {
      target->resize(geometry.size());
    } else {
      target->resize(800, 600);
    }
    target->show();
  }
  request.openIn(target->Page());
}

void TBrowserControl::LoadingChanged(const QWebEngineLoadingInfo& info) {
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      certificate_error_.clear();
      LoadStarting();
      if (OnDownloadBegin) OnDownloadBegin(this);
      break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
      if (OnDownloadComplete) OnDownloadComplete(this);
      if (OnNavigateComplete2) OnNavigateComplete2(this, info.url());
      if (OnDocumentComplete) OnDocumentComplete(this, info.url());
      break;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
      if (OnDownloadComplete) OnDownloadComplete(this);
      bool cancel = false;
      if (OnNavigateError) OnNavigateError(this, info.url(), QString(), info.errorCode(), cancel);
      if (cancel) {
        page_->setHtml(QString());
      } else if (info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain) {
        ShowNotice(CertificateErrorPage(
            info.url(), certificate_error_.isEmpty() ? info.errorString() : certificate_error_));
      }
      break;
    }
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      if (OnDownloadComplete) OnDownloadComplete(this);
      break;
  }
}

void TBrowserControl::ShowNotice(const QString& html) {
  // Not from inside the engine's own report of the failed load.
  QWebEnginePage* page = page_.get();
  QTimer::singleShot(0, page,
                     [page, html] { page->setHtml(html, QUrl(QStringLiteral("about:blank"))); });
}

bool TBrowserControl::IsFullScreen() const {
  return full_screen_window_ != nullptr && view_->parentWidget() == full_screen_window_;
}

void TBrowserControl::SetFullScreen(bool full_screen) {
  if (full_screen == IsFullScreen()) return;
  if (full_screen) {
    if (full_screen_window_ == nullptr) {
      // A child window of the pane: it goes with the pane, and the view with it.
      full_screen_window_ = new QWidget(this, Qt::Window);
      auto* layout = new QVBoxLayout(full_screen_window_);
      layout->setContentsMargins(0, 0, 0, 0);
    }
    full_screen_window_->setWindowTitle(window()->windowTitle());
    full_screen_window_->layout()->addWidget(view_);
    full_screen_window_->showFullScreen();
    full_screen_window_->activateWindow();
  } else {
    full_screen_by_page_ = false;
    if (page_full_screen_) {
      page_full_screen_ = false;
      page_->triggerAction(QWebEnginePage::ExitFullScreen);
    }
    layout()->addWidget(view_);
    view_->show();
    full_screen_window_->hide();
    window()->activateWindow();
  }
  view_->setFocus(Qt::OtherFocusReason);
}

void TBrowserControl::FullScreenRequested(bool full_screen, bool& accept) {
  if (OnFullScreen) OnFullScreen(this, full_screen, accept);
  if (!accept) return;
  if (full_screen) {
    full_screen_by_page_ = full_screen_by_page_ || !IsFullScreen();
    page_full_screen_ = true;
    SetFullScreen(true);
  } else {
    page_full_screen_ = false;
    // Full screen the user chose stays when a video inside it leaves its own.
    if (full_screen_by_page_) SetFullScreen(false);
  }
}

void TBrowserControl::RendererTerminated(QWebEnginePage::RenderProcessTerminationStatus status) {
  if (status == QWebEnginePage::NormalTerminationStatus) return;
  const auto now = std::chrono::steady_clock::now();
  const bool crash_loop = last_crash_ && now - *last_crash_ < kCrashLoopWindow;
  last_crash_ = now;
  const QUrl url = page_->url();
  if (crash_loop) {
    ShowNotice(CrashedPage(url));
  } else {
    QWebEnginePage* page = page_.get();
    QTimer::singleShot(0, page, [page, url] { page->load(url); });
  }
}

void TBrowserControl::WindowCloseRequested() {
  bool cancel = false;
  if (OnWindowClosing) OnWindowClosing(this, !isWindow(), cancel);
  if (!cancel && isWindow()) close();
}

}  // namespace qelvu
