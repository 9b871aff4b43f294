// TBrowserControl: one web-browser view as an ordinary child widget, with navigation
// and the engine's events. Owns its QWebEngineView and the view's page; the page
// survives re-parenting of the control, so a loaded page is never reloaded by a
// layout change, and the view can leave the form for a full-screen window of its own.
// Nothing leaves the pane without the user's action: a new window a script opens by
// itself and a link to another program (mailto:, smb:, ...) that no click followed are
// dropped. A page whose certificate is refused explains that in the pane; a page whose
// renderer crashed is loaded again once, and a second crash within a minute shows a
// notice with a button to load it again. GUI thread only.
#pragma once

#include <QFrame>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class QContextMenuEvent;
class QKeyEvent;
class QWebEngineLoadingInfo;
class QWebEngineNewWindowRequest;
class QWebEngineView;

namespace qelvu {

// A failing engine command (the engine refused or does not know it).
class EOleError : public std::runtime_error {
 public:
  EOleError(const std::string& message, uint32_t code) : std::runtime_error(message), code_(code) {}
  uint32_t ErrorCode() const { return code_; }

 private:
  uint32_t code_;
};

// Command ids for ExecWB (the subset the engine here can carry out).
enum TBrowserCommand {
  OLECMDID_PRINT = 6,
  OLECMDID_CUT = 11,
  OLECMDID_COPY = 12,
  OLECMDID_PASTE = 13,
  OLECMDID_UNDO = 15,
  OLECMDID_REDO = 16,
  OLECMDID_SELECTALL = 17,
  OLECMDID_CLEARSELECTION = 18,
  OLECMDID_ZOOM = 19,
  OLECMDID_GETZOOMRANGE = 20,
  OLECMDID_REFRESH = 22,
  OLECMDID_STOP = 23,
};

// Command ids of OnCommandStateChange.
enum TBrowserCommandState { CSC_NAVIGATEFORWARD = 1, CSC_NAVIGATEBACK = 2 };

class TBrowserControl : public QFrame {
  Q_OBJECT

 public:
  explicit TBrowserControl(QWidget* parent = nullptr);
  ~TBrowserControl() override;

  // Starts a plain GET of `url` in this view's own frame and returns at once; the text
  // is handed to the engine as it is (an empty URL included).
  void Navigate(const QString& url);
  // Navigates with the given extras: `post_data` non-empty makes it a POST, `headers`
  // holds "Name: value" lines separated by CR LF. `flags` and `target_frame` are
  // accepted for the caller's sake; every navigation happens in this view's own frame.
  void Navigate2(const QUrl& url, int flags = 0, const QString& target_frame = {},
                 const QByteArray& post_data = {}, const QString& headers = {});
  // Runs an engine command. Zoom levels are 0 to 4 (2 is 100 %); OLECMDID_GETZOOMRANGE
  // answers a QPoint(min, max) in `in_out`, OLECMDID_ZOOM with an empty `in_out`
  // answers the current level. Throws EOleError for a command the engine lacks.
  void ExecWB(int cmd_id, int cmdexecopt, QVariant& in_out);

  QWebEngineView* View() const;
  QWebEnginePage* Page() const;

  // Shows the page alone on the whole screen, or puts it back in its place in the form.
  // Escape pressed in the page leaves full screen, and so does the page when it leaves the
  // full screen it asked for.
  void SetFullScreen(bool full_screen);
  bool IsFullScreen() const;

  // Zoom level 0 (smallest) to 4 (largest); 2 is 100 %. Out-of-range values are clamped.
  void SetZoomLevel(int level);
  int ZoomLevel() const;

  // Engine events, in the order of the engine's event table. An unassigned event
  // leaves the engine's default.
  std::function<void(TBrowserControl* sender, const QString& text)> OnStatusTextChange;
  std::function<void(TBrowserControl* sender, int progress, int progress_max)> OnProgressChange;
  std::function<void(TBrowserControl* sender, int command, bool enable)> OnCommandStateChange;
  std::function<void(TBrowserControl* sender)> OnDownloadBegin;
  std::function<void(TBrowserControl* sender)> OnDownloadComplete;
  std::function<void(TBrowserControl* sender, const QString& text)> OnTitleChange;
  // Before any navigation of the page or a frame. Setting `cancel` stops it; changing
  // `url` of a main-frame navigation goes to the new address instead. `flags` is the
  // engine's navigation type (QWebEnginePage::NavigationType).
  std::function<void(TBrowserControl* sender, QUrl& url, int flags, bool is_main_frame,
                     bool& cancel)>
      OnBeforeNavigate2;
  // The page asks for a new window. Setting `cancel` opens nothing; setting `target`
  // opens it in that control instead of a new top-level window.
  std::function<void(TBrowserControl* sender, TBrowserControl*& target, bool& cancel)> OnNewWindow2;
  std::function<void(TBrowserControl* sender, const QUrl& url)> OnNavigateComplete2;
  std::function<void(TBrowserControl* sender, const QUrl& url)> OnDocumentComplete;
  // The page asks for full screen (true) or to leave it. `accept` starts true: the pane
  // then fills the screen, or goes back to the form; clearing it refuses the request.
  std::function<void(TBrowserControl* sender, bool full_screen, bool& accept)> OnFullScreen;
  // A script asked to close the window. Unassigned, a top-level window of ours closes
  // and a pane inside a form stays.
  std::function<void(TBrowserControl* sender, bool is_child_window, bool& cancel)> OnWindowClosing;
  // A load failed. `status_code` is the HTTP status or the engine's network error code;
  // setting `cancel` shows a blank page instead of the engine's error page (or, for a
  // refused certificate, the pane's own explanation).
  std::function<void(TBrowserControl* sender, const QUrl& url, const QString& frame,
                     int status_code, bool& cancel)>
      OnNavigateError;
  // Raised after OnNewWindow2 left the request open, with the addresses involved. A
  // request that both leave open and no user action started opens nothing.
  std::function<void(TBrowserControl* sender, TBrowserControl*& target, bool& cancel,
                     uint32_t flags, const QUrl& url_context, const QUrl& url)>
      OnNewWindow3;

 protected:
  // Host answers; each default is the engine's own behaviour. Called on the GUI thread
  // from inside the engine's processing.

  // A key for the page; true swallows it.
  virtual bool TranslateKey(QKeyEvent* event);
  // The page asks for a context menu at the view-relative point of `event`.
  virtual void ShowContextMenu(QContextMenuEvent* event);
  // A new-window request that the events left open; true lets it open.
  virtual bool EvaluateNewWindow(const QWebEngineNewWindowRequest& request);
  // Makes the control that a new top-level window opens in. The caller shows it and hands
  // it to Qt, which deletes it when it closes.
  virtual std::unique_ptr<TBrowserControl> CreatePopup();
  virtual void JavaScriptAlert(const QUrl& origin, const QString& message);
  virtual bool JavaScriptConfirm(const QUrl& origin, const QString& message);
  virtual bool JavaScriptPrompt(const QUrl& origin, const QString& message,
                                const QString& default_value, QString* result);
  // Whenever the pane starts a new document load (before any script of it runs).
  virtual void LoadStarting() {}

  // The engine's default menu for the last context-menu request.
  void DefaultContextMenu(QContextMenuEvent* event);

 private:
  class TPage;
  class TView;
  friend class TPage;
  friend class TView;

  bool eventFilter(QObject* watched, QEvent* event) override;
  bool AcceptNavigation(QUrl url, QWebEnginePage::NavigationType type, bool is_main_frame);
  void NewWindowRequested(QWebEngineNewWindowRequest& request);
  void LoadingChanged(const QWebEngineLoadingInfo& info);
  void WindowCloseRequested();
  void FullScreenRequested(bool full_screen, bool& accept);
  void RendererTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
  // Shows one of the pane's own pages (an explanation in place of a page that failed).
  void ShowNotice(const QString& html);
  void WatchChild(QObject* child);

  TView* view_;
  // Not a Qt child: members go before the children, so the page goes before the view and the
  // view never holds a dangling page.
  std::unique_ptr<TPage> page_;
  bool can_go_back_ = false;
  bool can_go_forward_ = false;
  // The top-level window the view moves into for full screen, made on first use.
  QWidget* full_screen_window_ = nullptr;
  // The page asked for full screen; leaving it is then the page's business too.
  bool page_full_screen_ = false;
  bool full_screen_by_page_ = false;
  // Why the engine refused the certificate of the load in progress.
  QString certificate_error_;
  std::optional<std::chrono::steady_clock::time_point> last_crash_;
};

}  // namespace qelvu
