// Play-to-first-frame: the time from loading a channel's player page to the first decoded frame
// of a loopback HLS stream (ffmpeg-made, 1 s segments), through the program's own scheme handler
// and HTTP client. Runs offscreen; the figure is the median over the runs.
//
// Usage: play_bench
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench_support.h"
#include "player/stream_player.h"
#include "support/media_server.h"

namespace qelvu::bench {
namespace {

// Milliseconds since the epoch of the page's first frame, or 0 when none came within 30 s.
double WaitForFirstFrame(QWebEngineView& view) {
  const qint64 give_up = QDateTime::currentMSecsSinceEpoch() + 30000;
  double first_frame = 0;
  while (first_frame == 0 && QDateTime::currentMSecsSinceEpoch() < give_up) {
    bool answered = false;
    view.page()->runJavaScript(
        QStringLiteral("window.qelvuPlayer ? window.qelvuPlayer.state().firstFrameAt : 0"),
        [&](const QVariant& value) {
          first_frame = value.toDouble();
          answered = true;
        });
    while (!answered) {
      QEventLoop loop;
      QTimer::singleShot(5, &loop, &QEventLoop::quit);
      loop.exec();
    }
  }
  return first_frame;
}

void PlayToFirstFrame(int runs) {
  const std::filesystem::path media =
      std::filesystem::temp_directory_path() / ("qelvu-bench-media-" + std::to_string(::getpid()));
  test::MakeTestMedia(media, 6);
  test::TMediaServer server(media);
  QWebEngineView view;
  TStreamPlayer player(*view.page()->profile());
  TStreamPlayer::AllowPlaybackWithoutGesture(*view.page());
  view.resize(640, 360);
  view.show();

  const TPlaylistEntry entry{"演示频道", "演示直播", server.Url("/hls/index.m3u8"), {}};
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    // Each run starts from an empty pane, as a channel chosen after another would.
    view.load(QUrl(QStringLiteral("about:blank")));
    QEventLoop blank;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &blank, &QEventLoop::quit);
    blank.exec();
    const double start = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
    view.load(player.PageUrl(entry));
    const double first_frame = WaitForFirstFrame(view);
    if (first_frame > 0) times.push_back(first_frame - start);
  }
  std::filesystem::remove_all(media);
  if (times.empty()) {
    std::printf("Play to first frame (loopback HLS): no frame came\n");
    return;
  }
  PrintValue("Play to first frame (loopback HLS)", Median(times), "ms", "< 1500 ms");
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  // The engine refuses to start as root with its sandbox on, as for the program itself.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  qelvu::RegisterPlayerScheme();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication application(argc, argv);
  qelvu::bench::PlayToFirstFrame(qelvu::bench::Runs(5));
  return 0;
}
