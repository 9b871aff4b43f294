#include "browser/custom_browser_host.h"

#include <QAuthenticator>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QWebChannel>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineDownloadRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

#include "browser/form_value_store.h"

namespace qelvu {
namespace {

const QString kBridgeScriptName = QStringLiteral("qelvu-host-bridge");
const QString kReportScriptName = QStringLiteral("qelvu-host-reports");
const QString kStyleScriptName = QStringLiteral("qelvu-host-style");
// The bridge's own world: the page's scripts run in the main world and share only the
// document with it.
constexpr quint32 kBridgeWorld = QWebEngineScript::ApplicationWorld;

// Runs in the page's world before any script of the page. The engine would carry a page's
// window moves and resizes out on the pane, so the four methods are replaced; they and
// uncaught script errors (which only the page's world sees) are reported to the bridge as
// document events carrying JSON text, the one thing that crosses between worlds. A page
// can send the same reports itself, which gains it nothing it could not have by calling
// the methods or throwing.
const char kReportScript[] = R"JS(
(function() {
  var doc = document, fire = EventTarget.prototype.dispatchEvent, Custom = CustomEvent,
      toJson = JSON.stringify;
  function report(args) { fire.call(doc, new Custom('qelvu-host-report', {detail: toJson(args)})); }
  ['moveTo', 'moveBy', 'resizeTo', 'resizeBy'].forEach(function(op) {
    window[op] = function(x, y) { report(['window', op, Number(x) | 0, Number(y) | 0]); };
  });
  window.addEventListener('error', function(e) {
    if (!(e instanceof ErrorEvent)) return;
    var code = e.error && e.error.name ? String(e.error.name) : '0';
    report(['error', String(e.lineno || 0), String(e.colno || 0), code, String(e.message || ''),
            String(e.filename || '')]);
  });
})();
)JS";

// Runs in the bridge's world before any script of the page. Calls made before the channel
// is up are queued, so an inline script's first report counts. Form values for
// auto-completion are read from the shared document here.
const char kBridgeScript[] = R"JS(
(function() {
  if (typeof qt === 'undefined' || !qt.webChannelTransport) return;
  var host = null, queue = [];
  function call(name, args) {
    if (host) host[name].apply(host, args); else queue.push([name, args]);
  }
  new QWebChannel(qt.webChannelTransport, function(channel) {
    host = channel.objects.qelvuHost;
    queue.forEach(function(c) { host[c[0]].apply(host, c[1]); });
    queue = [];
  });
  document.addEventListener('qelvu-host-report', function(e) {
    var r;
    try { r = JSON.parse(e.detail); } catch (x) { return; }
    if (!Array.isArray(r)) return;
    if (r[0] === 'window' && r.length === 4) {
      call('windowRequest', [String(r[1]), Number(r[2]) | 0, Number(r[3]) | 0]);
    } else if (r[0] === 'error' && r.length === 6) {
      call('scriptError', r.slice(1).map(String));
    }
  });
  function fieldKey(el) {
    if (!(el instanceof HTMLInputElement)) return '';
    var type = (el.getAttribute('type') || 'text').toLowerCase();
    if (['text', 'search', 'email', 'url', 'tel'].indexOf(type) < 0) return '';
    var off = function(node) {
      return node && (node.getAttribute('autocomplete') || '').toLowerCase() === 'off';
    };
    if (off(el) || off(el.form)) return '';
    var list = el.getAttribute('list');
    if (list && list.indexOf('qelvu-ac-') !== 0) return '';
    return el.name || el.id || '';
  }
  document.addEventListener('submit', function(e) {
    Array.prototype.forEach.call(e.target.elements || [], function(el) {
      var key = fieldKey(el);
      if (key && el.value) call('rememberValue', [key, el.value]);
    });
  }, true);
  document.addEventListener('focusin', function(e) {
    var el = e.target, key = fieldKey(el);
    if (!key) return;
    call('valuesFor', [key, function(values) {
      if (!values || !values.length) return;
      var id = 'qelvu-ac-' + key, list = document.getElementById(id);
      if (!list) {
        list = document.createElement('datalist');
        list.id = id;
        (document.body || document.documentElement).appendChild(list);
      }
      list.textContent = '';
      values.forEach(function(v) {
        var option = document.createElement('option');
        option.value = v;
        list.appendChild(option);
      });
      el.setAttribute('list', id);
    }]);
  }, true);
})();
)JS";

TFormValueStore& AutoCompleteStore() {
  static TFormValueStore store;
  return store;
}

QString AutoCompleteKey(const QUrl& page, const QString& field) {
  return page.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                       QUrl::RemoveUserInfo)
             .toString() +
         u'\n' + field;
}

QString WebChannelLibrary() {
  QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

QWebEngineScript MakeScript(const QString& name, const QString& source,
                            QWebEngineScript::InjectionPoint point, quint32 world) {
  QWebEngineScript script;
  script.setName(name);
  script.setSourceCode(source);
  script.setInjectionPoint(point);
  script.setWorldId(world);
  script.setRunsOnSubFrames(false);
  return script;
}

}  // namespace

// The object the page's injected script talks to; every call lands on the GUI thread.
class TScriptBridge : public QObject {
  Q_OBJECT

 public:
  explicit TScriptBridge(TCustomBrowserHost* host) : QObject(host), host_(host) {}

  Q_INVOKABLE void windowRequest(const QString& operation, int x, int y) {
    host_->WindowRequest(operation, x, y);
  }
  Q_INVOKABLE void scriptError(const QString& line, const QString& character, const QString& code,
                               const QString& message, const QString& url) {
    host_->ScriptError(line, character, code, message, url);
  }
  Q_INVOKABLE void rememberValue(const QString& field, const QString& value) {
    if (!host_->ui_options_.Contains(EnablesFormsAutoComplete)) return;
    AutoCompleteStore().Remember(AutoCompleteKey(host_->Page()->url(), field), value);
  }
  Q_INVOKABLE QStringList valuesFor(const QString& field) const {
    if (!host_->ui_options_.Contains(EnablesFormsAutoComplete)) return {};
    return TCustomBrowserHost::RememberedValues(host_->Page()->url(), field);
  }

 private:
  TCustomBrowserHost* host_;
};

TCustomBrowserHost::TCustomBrowserHost(QWidget* parent)
    : TBrowserControl(parent), bridge_(new TScriptBridge(this)), channel_(new QWebChannel(this)) {
  channel_->registerObject(QStringLiteral("qelvuHost"), bridge_);
  Page()->setWebChannel(channel_, kBridgeWorld);
  // The bridge listens before the page's world can report anything.
  Page()->scripts().insert(MakeScript(kBridgeScriptName, WebChannelLibrary() + kBridgeScript,
                                      QWebEngineScript::DocumentCreation, kBridgeWorld));
  Page()->scripts().insert(MakeScript(kReportScriptName, kReportScript,
                                      QWebEngineScript::DocumentCreation,
                                      QWebEngineScript::MainWorld));
  connect(Page()->profile(), &QWebEngineProfile::downloadRequested, this,
          &TCustomBrowserHost::DownloadRequested);
  connect(Page(), &QWebEnginePage::authenticationRequired, this,
          &TCustomBrowserHost::AuthenticationRequired);
  ApplySettings();
}

TCustomBrowserHost::~TCustomBrowserHost() = default;

QStringList TCustomBrowserHost::RememberedValues(const QUrl& page, const QString& field) {
  return AutoCompleteStore().Values(AutoCompleteKey(page, field));
}

const TFormValueStore& TCustomBrowserHost::RememberedFormValues() { return AutoCompleteStore(); }

bool TCustomBrowserHost::ChooseDownloadPath(const QUrl&, QString&) { return false; }

bool TCustomBrowserHost::AskCredentials(const QUrl&, const QString&, QString&, QString&) {
  return false;
}

void TCustomBrowserHost::DownloadRequested(QWebEngineDownloadRequest* download) {
  // The profile is shared by every pane; each takes its own page's downloads.
  if (download->page() != Page() ||
      download->state() != QWebEngineDownloadRequest::DownloadRequested) {
    return;
  }
  QString path = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
  bool cancel = false;
  if (OnFileDownload) {
    OnFileDownload(this, download->url(), path, cancel);
  } else {
    cancel = !ChooseDownloadPath(download->url(), path);
  }
  if (cancel || path.isEmpty()) {
    download->cancel();
    return;
  }
  const QFileInfo target(path);
  download->setDownloadDirectory(target.absolutePath());
  download->setDownloadFileName(target.fileName());
  const QPointer<TCustomBrowserHost> self(this);
  const auto report = [self, download, path = target.absoluteFilePath()] {
    if (!self || !self->OnDownloadProgress) return;
    TDownloadProgress progress;
    progress.path = path;
    progress.received = download->receivedBytes();
    progress.total = download->totalBytes() > 0 ? download->totalBytes() : -1;
    progress.finished = download->isFinished();
    progress.ok = download->state() == QWebEngineDownloadRequest::DownloadCompleted;
    self->OnDownloadProgress(self, progress);
  };
  connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, report);
  connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, report);
  download->accept();
}

void TCustomBrowserHost::AuthenticationRequired(const QUrl& url, QAuthenticator* authenticator) {
  QString user_name;
  QString password;
  bool cancel = false;
  if (OnAuthenticate) {
    OnAuthenticate(this, url, authenticator->realm(), user_name, password, cancel);
  } else {
    cancel = !AskCredentials(url, authenticator->realm(), user_name, password);
  }
  if (cancel) {
    // The engine's way of being told there are no credentials: the page shows its refusal.
    *authenticator = QAuthenticator();
    return;
  }
  authenticator->setUser(user_name);
  authenticator->setPassword(password);
}

void TCustomBrowserHost::SetUserInterfaceOptions(TUserInterfaceOptions options) {
  ui_options_ = options;
  ApplySettings();
}

void TCustomBrowserHost::SetDownloadOptions(TDownloadControlOptions options) {
  download_options_ = options;
  ApplySettings();
}

void TCustomBrowserHost::SetDropHandlingType(TDragDropHandlingType type) {
  drop_handling_ = type;
  ApplySettings();
}

void TCustomBrowserHost::SetHostCSS(const QString& css) {
  if (css == host_css_) return;
  host_css_ = css;
  UpdateStyleScript();
}

void TCustomBrowserHost::ApplySettings() {
  ui_flags_ = UserInterfaceFlagWord(ui_options_);
  download_flags_ = DownloadControlFlagWord(download_options_);

  QWebEngineSettings* settings = Page()->settings();
  settings->setAttribute(QWebEngineSettings::ShowScrollBars,
                         !ui_options_.Contains(DontUseScrollBars));
  settings->setAttribute(QWebEngineSettings::AutoLoadImages,
                         download_options_.Contains(DownloadImages));
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled,
                         !download_options_.Contains(DontExecuteScripts) && !scripts_stopped_);
  // Videos and background sounds play as the page starts them, as they did when the
  // engine downloaded them; without either, media waits for the user.
  settings->setAttribute(
      QWebEngineSettings::PlaybackRequiresUserGesture,
      !download_options_.Contains(DownloadVideos) && !download_options_.Contains(DownloadBGSounds));
  settings->setAttribute(QWebEngineSettings::PluginsEnabled,
                         !download_options_.Contains(DontExecuteActiveX));
  settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, drop_handling_ != ddtNo);
  View()->setAcceptDrops(drop_handling_ != ddtNo);

  if (ui_options_.Contains(DontUse3DBorders)) {
    setFrameStyle(QFrame::NoFrame);
  } else {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  }
  UpdateStyleScript();
}

void TCustomBrowserHost::UpdateStyleScript() {
  QString css = host_css_;
  if (ui_options_.Contains(DisableTextSelect)) css += QStringLiteral("*{user-select:none}");
  QWebEngineScriptCollection& scripts = Page()->scripts();
  for (const QWebEngineScript& old : scripts.find(kStyleScriptName)) scripts.remove(old);
  if (css.isEmpty()) return;
  QString quoted = css;
  quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'`', QStringLiteral("\\`"));
  quoted.replace(QStringLiteral("${"), QStringLiteral("\\${"));
  scripts.insert(MakeScript(kStyleScriptName,
                            QStringLiteral("(function(){var s=document.createElement('style');"
                                           "s.textContent=`%1`;"
                                           "document.documentElement.appendChild(s);})();")
                                .arg(quoted),
                            QWebEngineScript::DocumentReady, kBridgeWorld));
}

bool TCustomBrowserHost::TranslateKey(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  const int key = event->key();
  const bool masked = !DisableCtrlShortcuts.isEmpty() && (modifiers & Qt::ControlModifier) &&
                      !(modifiers & Qt::AltModifier) && key > 0 && key < 0x80 &&
                      DisableCtrlShortcuts.contains(QChar(key));
  // A shortcut override is only answered; the events belong to the key press itself.
  if (event->type() != QEvent::KeyPress) return masked;
  if (masked) {
    if (OnMaskedCtrlChar) OnMaskedCtrlChar(this, QChar(key));
    return true;
  }
  bool done = false;
  if (OnTranslateAccelerator) OnTranslateAccelerator(this, event, done);
  return done;
}

int TCustomBrowserHost::ContextMenuId() const {
  const QWebEngineContextMenuRequest* request = View()->lastContextMenuRequest();
  if (request == nullptr) return rcmDefault;
  if (request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage) return rcmImage;
  if (request->isContentEditable()) return rcmControl;
  if (request->linkUrl().isValid()) return rcmAnchor;
  if (!request->selectedText().isEmpty()) return rcmSelText;
  return rcmDefault;
}

void TCustomBrowserHost::ShowContextMenu(QContextMenuEvent* event) {
  const int menu_id = ContextMenuId();
  bool handled = false;
  if (OnShowContextMenu) OnShowContextMenu(this, menu_id, event->globalPos(), handled);
  if (handled) return;
  if (DisabledPopupMenus.Contains(rcmAll) ||
      DisabledPopupMenus.Contains(static_cast<TIEPopupMenu>(menu_id))) {
    if (PopupMenu != nullptr) PopupMenu->popup(event->globalPos());
    return;
  }
  // The engine's menu is built from the engine's own request; a menu event that did not
  // come from the engine has none to build from.
  if (View()->lastContextMenuRequest() == nullptr) return;
  if (!OnFilterPopupMenu && DisabledPopupMenuItems.Empty()) {
    DefaultContextMenu(event);
    return;
  }
  static constexpr std::pair<TIEPopupMenuItem, QWebEnginePage::WebAction> kItemActions[] = {
      {rcsBack, QWebEnginePage::Back},
      {rcsForward, QWebEnginePage::Forward},
      {rcsSavePageBkg, QWebEnginePage::SavePage},
      {rcsCopyBkg, QWebEnginePage::CopyImageToClipboard},
      {rcsSelectAll, QWebEnginePage::SelectAll},
      {rcsPaste, QWebEnginePage::Paste},
      {rcsRefresh, QWebEnginePage::Reload},
      {rcsViewSource, QWebEnginePage::ViewSource},
      {rcsOpenNWindow, QWebEnginePage::OpenLinkInNewWindow},
      {rcsOpenLink, QWebEnginePage::OpenLinkInThisWindow},
  };
  QMenu* menu = View()->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (OnFilterPopupMenu) OnFilterPopupMenu(this, menu);
  for (const auto& [item, action] : kItemActions) {
    if (DisabledPopupMenuItems.Contains(item)) menu->removeAction(Page()->action(action));
  }
  menu->popup(event->globalPos());
}

bool TCustomBrowserHost::EvaluateNewWindow(const QWebEngineNewWindowRequest& request) {
  bool allow = true;
  if (OnEvaluateNewWindow) {
    OnEvaluateNewWindow(this, request.requestedUrl(), Page()->url(), request.isUserInitiated(),
                        allow);
  }
  return allow;
}

void TCustomBrowserHost::LoadStarting() {
  if (!scripts_stopped_) return;
  scripts_stopped_ = false;
  ApplySettings();
}

void TCustomBrowserHost::WindowRequest(const QString& operation, int x, int y) {
  QWidget* form = window();
  if (operation == u"moveTo") {
    if (FloatingHosting) form->move(x, y);
    if (OnMove) OnMove(this, x, y);
  } else if (operation == u"moveBy") {
    if (FloatingHosting) form->move(form->x() + x, form->y() + y);
    if (OnMoveBy) OnMoveBy(this, x, y);
  } else if (operation == u"resizeTo") {
    if (FloatingHosting) form->resize(x, y);
    if (OnResize) OnResize(this, x, y);
  } else if (operation == u"resizeBy") {
    if (FloatingHosting) form->resize(form->width() + x, form->height() + y);
    if (OnResizeBy) OnResizeBy(this, x, y);
  }
}

void TCustomBrowserHost::ScriptError(const QString& line, const QString& character,
                                     const QString& code, const QString& message,
                                     const QString& url) {
  // The answer is fixed before the event runs; the event may change it for later errors.
  const TScriptErrorAction action = ScriptErrorAction;
  if (OnScriptError) OnScriptError(this, line, character, code, message, url);
  if (action == eaCancel && !scripts_stopped_) {
    scripts_stopped_ = true;
    ApplySettings();
  }
}

}  // namespace qelvu

#include "custom_browser_host.moc"
