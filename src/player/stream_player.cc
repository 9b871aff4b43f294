#include "player/stream_player.h"

#include <QFile>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "player/stream_fetch.h"

namespace qelvu {

namespace {

constexpr char kPagePath[] = "/play.html";

// The page and its scripts, by path, with their types.
struct TPageFile {
  const char* path;
  const char* type;
};
constexpr TPageFile kPageFiles[] = {
    {"/play.html", "text/html; charset=utf-8"},
    {"/player.css", "text/css; charset=utf-8"},
    {"/player.js", "text/javascript; charset=utf-8"},
    {"/hls.min.js", "text/javascript; charset=utf-8"},
};

QUrl PlayerOrigin() { return PlayerUrl("", {}); }

}  // namespace

void RegisterPlayerScheme() {
  QWebEngineUrlScheme scheme(kPlayerScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  // Secure, so the page is a secure context like an https page; CORS-enabled, so the page's
  // scripts may read the answers of its own origin.
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);
}

class TStreamPlayer::THandler : public QWebEngineUrlSchemeHandler {
 public:
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kPlayerHost))
      return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    if (url.path() == QLatin1String(kStreamPath)) return StartStream(job, url);
    for (const TPageFile& file : kPageFiles) {
      if (url.path() == QLatin1String(file.path)) return ServeFile(job, file);
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }

  explicit THandler(QWebEngineProfile& profile) : profile_(profile) {}

 private:
  void StartStream(QWebEngineUrlRequestJob* job, const QUrl& url) {
    // Only the player's own pages fetch through the program: a web page in the pane must not
    // make it send requests for that page.
    if (job->initiator() != PlayerOrigin())
      return job->fail(QWebEngineUrlRequestJob::RequestDenied);
    std::optional<TStreamTarget> target = ParseStreamUrl(url);
    if (!target) return job->fail(QWebEngineUrlRequestJob::UrlInvalid);
    const QMap<QByteArray, QByteArray> headers = job->requestHeaders();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
      if (it.key().compare("Range", Qt::CaseInsensitive) == 0)
        target->range = it.value().toStdString();
    }
    fetcher_.Start(job, std::move(*target), profile_.httpUserAgent().toStdString());
  }

  static void ServeFile(QWebEngineUrlRequestJob* job, const TPageFile& page_file) {
    auto* file = new QFile(QStringLiteral(":/qelvu/player") + QLatin1String(page_file.path));
    if (!file->open(QIODevice::ReadOnly)) {
      delete file;
      return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }
    QObject::connect(job, &QObject::destroyed, file, &QObject::deleteLater);
    job->reply(page_file.type, file);
  }

  QWebEngineProfile& profile_;
  TStreamFetcher fetcher_;
};

TStreamPlayer::TStreamPlayer(QWebEngineProfile& profile)
    : profile_(profile), handler_(std::make_unique<THandler>(profile)) {
  profile_.installUrlSchemeHandler(kPlayerScheme, handler_.get());
}

TStreamPlayer::~TStreamPlayer() { profile_.removeUrlSchemeHandler(handler_.get()); }

QUrl TStreamPlayer::PageUrl(const TPlaylistEntry& entry) const {
  return PlayerUrl(kPagePath, {{"name", entry.name},
                               {"url", entry.url},
                               {"ua", entry.options.user_agent},
                               {"referer", entry.options.referer}});
}

void TStreamPlayer::AllowPlaybackWithoutGesture(QWebEnginePage& page) {
  page.settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
}

}  // namespace qelvu
