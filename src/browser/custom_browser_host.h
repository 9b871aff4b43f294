// TCustomBrowserHost: the host's answers to the engine's user-interface questions on
// top of TBrowserControl: UI and download options mapped onto the engine's settings,
// masked Ctrl shortcuts, script errors, the context menu, new-window evaluation,
// form auto-completion, and page-script window moves and resizes reported as events
// (nothing is moved or resized unless FloatingHosting is on), downloads and logins a
// page asks for. Owns a script bridge and the web channel it is published on; both live
// in a script world of their own, so the page's scripts can neither call the bridge nor
// see the helpers' globals. GUI thread only.
#pragma once

#include <QChar>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>

#include "browser/browser_control.h"
#include "browser/browser_options.h"

class QAuthenticator;
class QMenu;
class QWebChannel;
class QWebEngineDownloadRequest;

namespace qelvu {

class TFormValueStore;
class TScriptBridge;

// How far an accepted download has come. `total` is -1 while the size is unknown.
struct TDownloadProgress {
  QString path;
  qint64 received = 0;
  qint64 total = -1;
  bool finished = false;
  bool ok = false;  // finished and complete
};

class TCustomBrowserHost : public TBrowserControl {
  Q_OBJECT

 public:
  explicit TCustomBrowserHost(QWidget* parent = nullptr);
  ~TCustomBrowserHost() override;

  // Both option sets recompute their flag word and apply it to the engine at once;
  // most settings take effect with the next document.
  void SetUserInterfaceOptions(TUserInterfaceOptions options);
  TUserInterfaceOptions UserInterfaceOptions() const { return ui_options_; }
  uint32_t UserInterfaceFlags() const { return ui_flags_; }
  void SetDownloadOptions(TDownloadControlOptions options);
  TDownloadControlOptions DownloadOptions() const { return download_options_; }
  uint32_t DownloadControlFlags() const { return download_flags_; }

  // Ctrl plus any of these characters (compared with the key's upper-case letter or
  // digit) is swallowed in the page and raises OnMaskedCtrlChar. Alt+Ctrl is not masked.
  QString DisableCtrlShortcuts = QStringLiteral("N");
  // What happens to the page's scripts after a script error; no engine dialog either way.
  // eaCancel stops scripts on the page until the next document; eaAskUser behaves as
  // eaContinue, because this engine has no script-error dialog to ask with.
  TScriptErrorAction ScriptErrorAction = eaContinue;
  TIEPopupMenus DisabledPopupMenus;
  TIEPopupMenuItems DisabledPopupMenuItems;
  // Shown instead of the engine's menu for a disabled menu kind; may stay null.
  QMenu* PopupMenu = nullptr;
  // Moves and resizes the containing window on page-script requests.
  bool FloatingHosting = false;

  void SetDropHandlingType(TDragDropHandlingType type);
  TDragDropHandlingType DropHandlingType() const { return drop_handling_; }
  // A style sheet added to every document.
  void SetHostCSS(const QString& css);
  QString HostCSS() const { return host_css_; }

  // Host events; unassigned ones leave the defaults above.
  std::function<void(TCustomBrowserHost* sender, QChar ch)> OnMaskedCtrlChar;
  // Any other key pressed in the page; setting `done` swallows it.
  std::function<void(TCustomBrowserHost* sender, QKeyEvent* key, bool& done)>
      OnTranslateAccelerator;
  // `menu_id` is a TIEPopupMenu kind; setting `handled` shows nothing further.
  std::function<void(TCustomBrowserHost* sender, int menu_id, const QPoint& global_pos,
                     bool& handled)>
      OnShowContextMenu;
  // Edits the engine's menu before it shows (only called when menus are filtered).
  std::function<void(TCustomBrowserHost* sender, QMenu* menu)> OnFilterPopupMenu;
  // Line, character, code, message and URL of an uncaught script error, as strings.
  std::function<void(TCustomBrowserHost* sender, const QString& line, const QString& character,
                     const QString& code, const QString& message, const QString& url)>
      OnScriptError;
  // Before a new window is considered at all; clearing `allow` blocks it silently.
  std::function<void(TCustomBrowserHost* sender, const QUrl& url, const QUrl& url_context,
                     bool user_initiated, bool& allow)>
      OnEvaluateNewWindow;
  // Page-script window requests (moveTo, moveBy, resizeTo, resizeBy) with their numbers.
  using TOMWindowMoveEvent = std::function<void(TCustomBrowserHost* sender, int cx, int cy)>;
  TOMWindowMoveEvent OnMove;
  TOMWindowMoveEvent OnMoveBy;
  TOMWindowMoveEvent OnResize;
  TOMWindowMoveEvent OnResizeBy;
  // A page starts a download. `path` comes with the engine's suggestion; the download is
  // saved where `path` then says, unless `cancel` is set. Unassigned, ChooseDownloadPath
  // decides.
  std::function<void(TCustomBrowserHost* sender, const QUrl& url, QString& path, bool& cancel)>
      OnFileDownload;
  // Raised as an accepted download goes on, and once when it ends.
  std::function<void(TCustomBrowserHost* sender, const TDownloadProgress& progress)>
      OnDownloadProgress;
  // A site asks for a user name and password (HTTP authentication). The load goes on with
  // what the handler fills in, unless it sets `cancel`. Unassigned, AskCredentials decides.
  std::function<void(TCustomBrowserHost* sender, const QUrl& url, const QString& realm,
                     QString& user_name, QString& password, bool& cancel)>
      OnAuthenticate;

  // Values remembered during this run for a form field of the site of `page` (scheme,
  // host and port), most recent first. Shared by every pane of the process; a site is
  // offered only what was typed on that site, since offered values are readable by its
  // scripts.
  static QStringList RememberedValues(const QUrl& page, const QString& field);
  static const TFormValueStore& RememberedFormValues();

 protected:
  bool TranslateKey(QKeyEvent* event) override;
  void ShowContextMenu(QContextMenuEvent* event) override;
  bool EvaluateNewWindow(const QWebEngineNewWindowRequest& request) override;
  void LoadStarting() override;
  // Where a download goes when OnFileDownload is not assigned; false drops it. Nothing is
  // saved unasked here.
  virtual bool ChooseDownloadPath(const QUrl& url, QString& path);
  // The credentials for a login when OnAuthenticate is not assigned; false gives none.
  virtual bool AskCredentials(const QUrl& url, const QString& realm, QString& user_name,
                              QString& password);

 private:
  friend class TScriptBridge;

  void ApplySettings();
  void DownloadRequested(QWebEngineDownloadRequest* download);
  void AuthenticationRequired(const QUrl& url, QAuthenticator* authenticator);
  void UpdateStyleScript();
  void WindowRequest(const QString& operation, int x, int y);
  void ScriptError(const QString& line, const QString& character, const QString& code,
                   const QString& message, const QString& url);
  int ContextMenuId() const;

  TUserInterfaceOptions ui_options_{EnablesFormsAutoComplete, EnableThemes};
  uint32_t ui_flags_ = 0;
  TDownloadControlOptions download_options_{DownloadImages, DownloadVideos, DownloadBGSounds};
  uint32_t download_flags_ = 0;
  TDragDropHandlingType drop_handling_ = ddtMS;
  QString host_css_;
  bool scripts_stopped_ = false;
  TScriptBridge* bridge_;
  QWebChannel* channel_;
};

}  // namespace qelvu
