// TBrowserHost: the browser pane placed on a form. Adds to TCustomBrowserHost the
// option objects (proxy, dialog boxes, errors, visual effects, printing), the engine's
// message boxes shown with the program's icon and caption, the user agent, the HTML
// text property, printing to PDF, and the focus and mouse-wheel plumbing of the
// process-wide TBrowserApplicationHook. The engine's message boxes show a page's text
// as plain text; downloads and logins the events leave open are put to the user through
// Prompts. Owns its option objects and, in uaInternal mode, the request interceptor
// that sets its agent. GUI thread only.
//
// Typical use: construct, set the properties, assign the events, call Loaded(), then
// Navigate().
#pragma once

#include <QStringList>
#include <functional>
#include <memory>

#include "browser/custom_browser_host.h"

class QDialog;

namespace qelvu {

class TUserAgentInterceptor;

// The questions a pane puts to the user; each default shows a dialog over `parent`.
// Replaceable, so that a test answers them.
struct TUserPrompts {
  // Where to save a download; an empty answer drops it.
  std::function<QString(QWidget* parent, const QString& suggested_path)> SaveFileName;
  // A user name and password for `url`; false when the user declined.
  std::function<bool(QWidget* parent, const QUrl& url, const QString& realm, QString& user_name,
                     QString& password)>
      Login;
};

class TBrowserHost : public TCustomBrowserHost {
  Q_OBJECT

 public:
  explicit TBrowserHost(QWidget* parent = nullptr);
  ~TBrowserHost() override;

  // The after-loading step: ScriptErrorsSuppressed forces eaContinue, and the proxy is
  // applied to the whole process when AutoLoadProxy is set (undone when it ends).
  void Loaded();

  // Read when used; changing them needs no further call.
  TProxySettings ProxySettings;
  TDialogBoxes DialogBoxes;
  TDisableErrors DisableErrors;
  TPrintOptions PrintOptions;
  TUserPrompts Prompts;

  // TextSize becomes the page zoom (0 to 4, 2 is 100 %); a pane destroyed with another
  // size puts the zoom back to 100 %.
  void SetVisualEffects(const TVisualEffects& effects);
  const TVisualEffects& VisualEffects() const { return visual_effects_; }

  // uaDefault: the engine's own agent. uaInternal: this pane's requests carry UserAgent.
  // uaRegistry: UserAgent becomes the agent of every pane of the user's browser profile
  // until this pane is destroyed.
  void SetUserAgent(const QString& agent);
  QString UserAgent() const { return user_agent_; }
  void SetUserAgentMode(TUserAgentMode mode);
  TUserAgentMode UserAgentMode() const { return user_agent_mode_; }

  // Shows the text when it changes: a single line starting with "http", "www.", "ftp:"
  // or "file" is navigated to (an existing directory as a file URL); any other text is
  // loaded as the document itself.
  void SetHTMLCode(const QStringList& lines);
  QStringList HTMLCode() const { return html_code_; }

  // Prints the page to a PDF file with PrintOptions' margins (millimetres),
  // orientation, header and footer; `done` learns whether the file was written.
  void PrintToPdf(const QString& file_path, std::function<void(bool ok)> done = {});

  // Gives the page the keyboard focus if the pane can take it (visible and enabled).
  void FocusDocument();

  void setVisible(bool visible) override;

  // The pane was shown or hidden.
  std::function<void(TBrowserHost* sender, bool visible)> OnVisible;
  // Before one of the engine's message boxes shows. `new_caption` and `cancel` are
  // DialogBoxes.NewCaption and DialogBoxes.DisableAll, so changes persist.
  std::function<void(TBrowserHost* sender, QDialog* dialog, QString& new_caption, bool& cancel)>
      OnShowDialog;

 protected:
  std::unique_ptr<TBrowserControl> CreatePopup() override;
  void JavaScriptAlert(const QUrl& origin, const QString& message) override;
  bool JavaScriptConfirm(const QUrl& origin, const QString& message) override;
  bool JavaScriptPrompt(const QUrl& origin, const QString& message, const QString& default_value,
                        QString* result) override;
  bool ChooseDownloadPath(const QUrl& url, QString& path) override;
  bool AskCredentials(const QUrl& url, const QString& realm, QString& user_name,
                      QString& password) override;

 private:
  bool PrepareDialog(QDialog* dialog, const QString& engine_caption);
  void ApplyUserAgent();

  TVisualEffects visual_effects_;
  QString user_agent_;
  TUserAgentMode user_agent_mode_ = uaDefault;
  std::unique_ptr<TUserAgentInterceptor> interceptor_;
  // The profile's agent before this pane published its own (uaRegistry), to put back.
  std::unique_ptr<QString> replaced_profile_agent_;
  QStringList html_code_;
};

}  // namespace qelvu
