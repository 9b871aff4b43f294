#include "browser/browser_host.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkProxy>
#include <QPageLayout>
#include <QPageSize>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "browser/browser_application_hook.h"

namespace qelvu {

// Gives every request of one pane its own agent.
class TUserAgentInterceptor : public QWebEngineUrlRequestInterceptor {
 public:
  QByteArray agent;

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (!agent.isEmpty()) info.setHttpHeader("User-Agent", agent);
  }
};

namespace {

constexpr int kNormalTextSize = 2;

// A page's text in one of our dialogs is only text: rich text there would let a page put
// links into a native dialog that open other programs.
void ShowPlainText(QDialog* dialog) {
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
  }
}

QString AskSaveFileName(QWidget* parent, const QString& suggested_path) {
  return QFileDialog::getSaveFileName(parent, QStringLiteral("另存为"), suggested_path);
}

bool AskLogin(QWidget* parent, const QUrl& url, const QString& realm, QString& user_name,
              QString& password) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("登录"));
  auto* form = new QFormLayout(&dialog);
  auto* site = new QLabel(&dialog);
  site->setText(QStringLiteral("%1 要求输入用户名和密码").arg(url.host()) +
                (realm.isEmpty() ? QString() : QStringLiteral("\n“%1”").arg(realm)));
  form->addRow(site);
  auto* user = new QLineEdit(user_name, &dialog);
  auto* secret = new QLineEdit(&dialog);
  secret->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("用户名："), user);
  form->addRow(QStringLiteral("密码："), secret);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  ShowPlainText(&dialog);
  if (dialog.exec() != QDialog::Accepted) return false;
  user_name = user->text();
  password = secret->text();
  return true;
}

// The proxy is the process's; the first pane that applies it keeps what it replaced.
void ApplyProxy(const TProxySettings& settings) {
  static bool applied = false;
  if (applied) return;
  applied = true;
  const QNetworkProxy previous = QNetworkProxy::applicationProxy();
  QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, settings.Address,
                                                   quint16(settings.Port), settings.UserName,
                                                   settings.Password));
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp,
                   [previous] { QNetworkProxy::setApplicationProxy(previous); });
}

// Expands the page-setup codes of a header or footer line: &w title, &u address,
// &d/&D date, &t/&T time, && an ampersand; &b separates left, centre and right parts.
// Page numbers (&p, &P) are left out: the engine numbers no pages for us.
QStringList ExpandHeaderCodes(const QString& text, const QString& title, const QString& url) {
  QStringList parts{QString()};
  const QDateTime now = QDateTime::currentDateTime();
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'&' || i + 1 == text.size()) {
      parts.last() += text[i];
      continue;
    }
    switch (text[++i].unicode()) {
      case 'w':
        parts.last() += title;
        break;
      case 'u':
        parts.last() += url;
        break;
      case 'd':
        parts.last() += QLocale().toString(now.date(), QLocale::ShortFormat);
        break;
      case 'D':
        parts.last() += QLocale().toString(now.date(), QLocale::LongFormat);
        break;
      case 't':
        parts.last() += QLocale().toString(now.time(), QLocale::ShortFormat);
        break;
      case 'T':
        parts.last() += now.time().toString(QStringLiteral("HH:mm:ss"));
        break;
      case '&':
        parts.last() += u'&';
        break;
      case 'b':
        parts.append(QString());
        break;
      default:
        break;
    }
  }
  return parts;
}

QString JsString(const QString& text) {
  QString out = QStringLiteral("'");
  for (QChar c : text) {
    if (c == u'\'' || c == u'\\') out += u'\\';
    if (c.unicode() < 0x20) {
      out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    } else {
      out += c;
    }
  }
  return out + u'\'';
}

// Script that adds (or, with empty texts, removes) header and footer bands that only
// print; fixed elements repeat on every printed page.
QString PrintBandsScript(const QStringList& header, const QStringList& footer) {
  auto parts = [](const QStringList& p) {
    QStringList quoted;
    for (const QString& s : p) quoted << JsString(s);
    return QStringLiteral("[%1]").arg(quoted.join(u','));
  };
  return QStringLiteral(R"JS((function(h, f) {
  var old = document.getElementById('qelvu-print-bands');
  if (old) old.remove();
  if (!h.join('') && !f.join('')) return;
  var root = document.createElement('div');
  root.id = 'qelvu-print-bands';
  var style = document.createElement('style');
  style.textContent = '#qelvu-print-bands{display:none}@media print{#qelvu-print-bands{display:block}' +
      '.qelvu-band{position:fixed;left:0;right:0;display:flex;justify-content:space-between;font:10px sans-serif}}';
  root.appendChild(style);
  [[h, 'top:0'], [f, 'bottom:0']].forEach(function(b) {
    var band = document.createElement('div');
    band.className = 'qelvu-band';
    band.setAttribute('style', b[1]);
    b[0].forEach(function(text) {
      var span = document.createElement('span');
      span.textContent = text;
      band.appendChild(span);
    });
    root.appendChild(band);
  });
  document.documentElement.appendChild(root);
})(%1, %2);)JS")
      .arg(parts(header), parts(footer));
}

}  // namespace

TBrowserHost::TBrowserHost(QWidget* parent)
    : TCustomBrowserHost(parent), Prompts{AskSaveFileName, AskLogin} {
  TBrowserApplicationHook::Install();
}

TBrowserHost::~TBrowserHost() {
  if (visual_effects_.TextSize != kNormalTextSize) SetZoomLevel(kNormalTextSize);
  if (replaced_profile_agent_) Page()->profile()->setHttpUserAgent(*replaced_profile_agent_);
}

void TBrowserHost::Loaded() {
  if (DisableErrors.ScriptErrorsSuppressed) ScriptErrorAction = eaContinue;
  if (ProxySettings.AutoLoadProxy) ApplyProxy(ProxySettings);
}

void TBrowserHost::SetVisualEffects(const TVisualEffects& effects) {
  const bool size_changed = effects.TextSize != visual_effects_.TextSize;
  visual_effects_ = effects;
  if (size_changed) SetZoomLevel(effects.TextSize);
}

void TBrowserHost::SetUserAgent(const QString& agent) {
  if (agent == user_agent_) return;
  user_agent_ = agent;
  ApplyUserAgent();
}

void TBrowserHost::SetUserAgentMode(TUserAgentMode mode) {
  if (mode == user_agent_mode_) return;
  user_agent_mode_ = mode;
  ApplyUserAgent();
}

void TBrowserHost::ApplyUserAgent() {
  const bool internal = user_agent_mode_ == uaInternal && !user_agent_.isEmpty();
  if (internal && !interceptor_) {
    interceptor_ = std::make_unique<TUserAgentInterceptor>();
    Page()->setUrlRequestInterceptor(interceptor_.get());
  }
  if (interceptor_) interceptor_->agent = internal ? user_agent_.toUtf8() : QByteArray();

  QWebEngineProfile* profile = Page()->profile();
  if (user_agent_mode_ == uaRegistry && !user_agent_.isEmpty()) {
    if (!replaced_profile_agent_) {
      replaced_profile_agent_ = std::make_unique<QString>(profile->httpUserAgent());
    }
    profile->setHttpUserAgent(user_agent_);
  } else if (replaced_profile_agent_) {
    profile->setHttpUserAgent(*replaced_profile_agent_);
    replaced_profile_agent_.reset();
  }
}

void TBrowserHost::SetHTMLCode(const QStringList& lines) {
  if (lines == html_code_) return;
  html_code_ = lines;
  if (lines.size() == 1) {
    const QString& line = lines.front();
    static const QStringList kAddressPrefixes = {"http", "www.", "ftp:", "file"};
    if (kAddressPrefixes.contains(line.left(4).toLower())) {
      const QFileInfo path(line);
      if (path.isDir()) {
        Navigate(QUrl::fromLocalFile(path.absoluteFilePath()).toString());
      } else if (!line.trimmed().isEmpty()) {
        Navigate2(QUrl::fromUserInput(line));
      }
      return;
    }
  }
  Page()->setHtml(lines.join(QStringLiteral("\r\n")), QUrl(QStringLiteral("about:blank")));
}

void TBrowserHost::PrintToPdf(const QString& file_path, std::function<void(bool ok)> done) {
  const TMargins& m = PrintOptions.Margins;
  const QPageLayout layout(
      QPageSize(QPageSize::A4),
      PrintOptions.Orientation == poLandScape ? QPageLayout::Landscape : QPageLayout::Portrait,
      QMarginsF(m.Left, m.Top, m.Right, m.Bottom), QPageLayout::Millimeter);
  const QString title = Page()->title();
  const QString url = Page()->url().toString();
  Page()->runJavaScript(PrintBandsScript(ExpandHeaderCodes(PrintOptions.Header, title, url),
                                         ExpandHeaderCodes(PrintOptions.Footer, title, url)),
                        QWebEngineScript::ApplicationWorld);
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection =
      connect(Page(), &QWebEnginePage::pdfPrintingFinished, this,
              [this, file_path, done, connection](const QString& path, bool ok) {
                if (path != file_path) return;
                disconnect(*connection);
                Page()->runJavaScript(PrintBandsScript({}, {}), QWebEngineScript::ApplicationWorld);
                if (done) done(ok);
              });
  Page()->printToPdf(file_path, layout);
}

void TBrowserHost::FocusDocument() {
  if (isVisible() && isEnabled()) View()->setFocus(Qt::OtherFocusReason);
}

void TBrowserHost::setVisible(bool visible) {
  const bool changed = visible != isVisibleTo(parentWidget());
  TCustomBrowserHost::setVisible(visible);
  if (changed && OnVisible) OnVisible(this, visible);
}

std::unique_ptr<TBrowserControl> TBrowserHost::CreatePopup() {
  return std::make_unique<TBrowserHost>();
}

bool TBrowserHost::PrepareDialog(QDialog* dialog, const QString& engine_caption) {
  if (OnShowDialog) OnShowDialog(this, dialog, DialogBoxes.NewCaption, DialogBoxes.DisableAll);
  if (DialogBoxes.DisableAll) return false;
  dialog->setWindowTitle(DialogBoxes.ReplaceCaption ? DialogBoxes.NewCaption : engine_caption);
  if (DialogBoxes.ReplaceIcon) dialog->setWindowIcon(QApplication::windowIcon());
  return true;
}

bool TBrowserHost::ChooseDownloadPath(const QUrl&, QString& path) {
  if (!Prompts.SaveFileName) return false;
  path = Prompts.SaveFileName(window(), path);
  return !path.isEmpty();
}

bool TBrowserHost::AskCredentials(const QUrl& url, const QString& realm, QString& user_name,
                                  QString& password) {
  return Prompts.Login && Prompts.Login(window(), url, realm, user_name, password);
}

void TBrowserHost::JavaScriptAlert(const QUrl& origin, const QString& message) {
  QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::Ok, window());
  ShowPlainText(&box);
  if (PrepareDialog(&box, QStringLiteral("JavaScript Alert - %1").arg(origin.toString()))) {
    box.exec();
  }
}

bool TBrowserHost::JavaScriptConfirm(const QUrl& origin, const QString& message) {
  QMessageBox box(QMessageBox::Question, QString(), message, QMessageBox::Ok | QMessageBox::Cancel,
                  window());
  ShowPlainText(&box);
  if (!PrepareDialog(&box, QStringLiteral("JavaScript Confirm - %1").arg(origin.toString()))) {
    return false;
  }
  return box.exec() == QMessageBox::Ok;
}

bool TBrowserHost::JavaScriptPrompt(const QUrl& origin, const QString& message,
                                    const QString& default_value, QString* result) {
  QInputDialog dialog(window());
  dialog.setLabelText(message);
  dialog.setTextValue(default_value);
  ShowPlainText(&dialog);
  if (!PrepareDialog(&dialog, QStringLiteral("JavaScript Prompt - %1").arg(origin.toString()))) {
    return false;
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  *result = dialog.textValue();
  return true;
}

}  // namespace qelvu
