// The player in a real engine against ffmpeg-made streams on loopback servers that send no CORS
// headers: what plays, what fails and how it says so, a stall it comes back from, a channel that
// is a web page, and the scheme's refusal to fetch for pages of other origins.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/stream_fetch.h"
#include "player/stream_player.h"
#include "support/media_server.h"

namespace qelvu {
namespace {

// The engine fixes its schemes when the application starts, which the test main does.
const bool kSchemeRegistered = (RegisterPlayerScheme(), true);

using test::TMediaServer;

bool WaitUntil(const std::function<bool()>& done, int limit_ms) {
  QElapsedTimer guard;
  guard.start();
  while (!done()) {
    if (guard.elapsed() > limit_ms) return false;
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

std::string Text(const QVariant& value) { return value.toString().toStdString(); }

std::string Describe(const QVariantMap& state) {
  std::string text;
  for (auto it = state.begin(); it != state.end(); ++it) {
    text += it.key().toStdString() + "=" + it.value().toString().toStdString() + " ";
  }
  return text;
}

// The streams, made once for the whole program: 6 s of HLS and MP4, an MP4 with its index at the
// end, a playlist whose segments live on another server, a web page and bytes that are no media
// at all.
class PlayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(kSchemeRegistered);
    media_ = std::filesystem::temp_directory_path() /
             ("qelvu-player-media-" + std::to_string(::getpid()));
    std::filesystem::create_directories(media_);
    test::MakeTestMedia(media_, 6);
    test::MakeIndexAtEndMp4(media_ / "tail.mp4");
    std::ofstream(media_ / "page.html") << "<html><body>a channel's own page</body></html>";
    std::ofstream(media_ / "noise.bin") << std::string(4096, '\x5a');
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(media_); }

  PlayerTest() : player_(*view_.page()->profile()) {
    TStreamPlayer::AllowPlaybackWithoutGesture(*view_.page());
    view_.resize(640, 360);
    view_.show();
  }

  // The playlist of the HLS stream with every segment's address made absolute on `host`.
  static void WriteCrossHostPlaylist(const TMediaServer& host) {
    std::ifstream in(media_ / "hls" / "index.m3u8");
    std::ofstream out(media_ / "cross.m3u8");
    for (std::string line; std::getline(in, line);) {
      out << (line.ends_with(".ts") ? host.Url("/hls/" + line) : line) << "\n";
    }
  }

  // Loads the player page of `url` and waits until it is there, so that no state of the page
  // before is read for its own.
  void Play(const std::string& url, TRequestOptions options = {}) {
    bool loaded = false;
    const QMetaObject::Connection connection =
        QObject::connect(view_.page(), &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
    view_.load(player_.PageUrl({"演示频道", "演示直播", url, options}));
    EXPECT_TRUE(WaitUntil([&] { return loaded; }, 20000));
    QObject::disconnect(connection);
  }

  QVariant Eval(const QString& script) {
    QVariant result;
    bool done = false;
    view_.page()->runJavaScript(script, [&](const QVariant& value) {
      result = value;
      done = true;
    });
    WaitUntil([&] { return done; }, 10000);
    return result;
  }

  QVariantMap State() {
    return Eval(QStringLiteral("window.qelvuPlayer ? window.qelvuPlayer.state() : null")).toMap();
  }

  // Waits until the page shows decoded frames and its time has passed `seconds`, or fails.
  QVariantMap WaitForPlayback(double seconds) {
    QVariantMap state;
    WaitUntil(
        [&] {
          state = State();
          return !state.value("failure").toString().isEmpty() ||
                 (state.value("decodedFrames").toInt() > 0 &&
                  state.value("currentTime").toDouble() > seconds);
        },
        40000);
    return state;
  }

  QVariantMap WaitForFailure() {
    QVariantMap state;
    WaitUntil([&] { return !(state = State()).value("failure").toString().isEmpty(); }, 40000);
    return state;
  }

  static inline std::filesystem::path media_;
  QWebEngineView view_;
  TStreamPlayer player_;
};

TEST_F(PlayerTest, PlaysHlsAndProgressiveMediaFromPickyServers) {
  TMediaServer segments(media_);
  WriteCrossHostPlaylist(segments);
  struct Case {
    const char* what;
    std::string path;
    TRequestOptions options;
    std::function<void(TMediaServer&)> rule;
    const char* mode;
  };
  const Case cases[] = {
      {"HLS", "/hls/index.m3u8", {}, nullptr, "hls"},
      {"HLS behind a redirect, relative segments",
       "/live",
       {},
       [](TMediaServer& s) { s.Redirect("/live", "/hls/index.m3u8"); },
       "hls"},
      {"MP4", "/clip.mp4", {}, nullptr, "progressive"},
      {"MP4 with its index at the end", "/tail.mp4", {}, nullptr, "progressive"},
      {"MP4 with its index at the end, server without ranges",
       "/tail.mp4",
       {},
       [](TMediaServer& s) { s.IgnoreRanges(); },
       "progressive"},
      {"server that answers one User-Agent",
       "/hls/index.m3u8",
       {"QelvuTestAgent/1.0", ""},
       [](TMediaServer& s) { s.RequireUserAgent("QelvuTestAgent/1.0"); },
       "hls"},
      {"server that needs the Referer",
       "/clip.mp4",
       {"", "http://portal.example/tv"},
       [](TMediaServer& s) { s.RequireReferer("http://portal.example/tv"); },
       "progressive"},
      {"segments on another host", "/cross.m3u8", {}, nullptr, "hls"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMediaServer server(media_);
    if (c.rule) c.rule(server);
    const size_t segment_requests = segments.Requests().size();
    Play(server.Url(c.path), c.options);

    const QVariantMap state = WaitForPlayback(1.5);
    EXPECT_EQ(Text(state.value("failure")), "") << Describe(state);
    EXPECT_EQ(Text(state.value("mode")), c.mode) << Describe(state);
    EXPECT_GT(state.value("decodedFrames").toInt(), 0) << Describe(state);
    EXPECT_GT(state.value("currentTime").toDouble(), 1.5) << Describe(state);
    EXPECT_EQ(Text(state.value("status")), "");
    EXPECT_FALSE(Eval("document.getElementById('video').muted").toBool());
    for (const TMediaServer::TRequest& request : server.Requests()) {
      if (!c.options.user_agent.empty()) {
        EXPECT_EQ(request.user_agent, c.options.user_agent);
      }
      if (!c.options.referer.empty()) {
        EXPECT_EQ(request.referer, c.options.referer);
      }
    }
    if (c.path == "/cross.m3u8") {
      EXPECT_GT(segments.Requests().size(), segment_requests);
    }
    if (c.path == "/tail.mp4") {
      // The engine went for the index before it played.
      bool asked_for_the_end = false;
      for (const TMediaServer::TRequest& request : server.Requests()) {
        asked_for_the_end |= request.range.starts_with("bytes=") && request.range != "bytes=0-";
      }
      EXPECT_TRUE(asked_for_the_end);
    }
  }
  EXPECT_EQ(Text(Eval("document.getElementById('caption').textContent")), "演示频道");
}

TEST_F(PlayerTest, FailureShowsItsReason) {
  TMediaServer picky(media_);
  picky.RequireUserAgent("OnlyThisAgent");
  TMediaServer plain(media_);
  uint16_t closed_port;
  {
    TMediaServer gone(media_);
    closed_port = gone.Port();
  }
  struct Case {
    std::string url;
    const char* reason;
  };
  const Case cases[] = {
      {plain.Url("/missing.m3u8"), "HTTP 404 Not Found"},
      {plain.Url("/missing.mp4"), "HTTP 404 Not Found"},
      {picky.Url("/hls/index.m3u8"), "HTTP 403 Forbidden"},
      {"http://127.0.0.1:" + std::to_string(closed_port) + "/hls/index.m3u8", "网络错误"},
      {plain.Url("/noise.bin"), "不支持的格式"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Play(c.url);
    const QVariantMap state = WaitForFailure();
    const QString failure = state.value("failure").toString();
    EXPECT_TRUE(failure.startsWith(QStringLiteral("无法播放："))) << Describe(state);
    EXPECT_TRUE(failure.contains(QString::fromStdString(c.reason))) << Describe(state);
    EXPECT_EQ(Text(state.value("status")), failure.toStdString());
  }
}

TEST_F(PlayerTest, StalledStreamComesBack) {
  TMediaServer server(media_);
  // Longer than the page waits for a segment's first byte, so only a retry gets it.
  server.Stall("/hls/seg002.ts", 1, 15000);
  Play(server.Url("/hls/index.m3u8"));

  const QVariantMap state = WaitForPlayback(4.0);
  EXPECT_EQ(Text(state.value("failure")), "") << Describe(state);
  EXPECT_GT(state.value("currentTime").toDouble(), 4.0) << Describe(state);
  int segment_requests = 0;
  for (const TMediaServer::TRequest& request : server.Requests()) {
    segment_requests += request.path == "/hls/seg002.ts";
  }
  EXPECT_GE(segment_requests, 2);
}

TEST_F(PlayerTest, WebPageOpensAsPage) {
  TMediaServer server(media_);
  Play(server.Url("/page.html"));
  EXPECT_TRUE(WaitUntil(
      [&] { return view_.url().toString().toStdString() == server.Url("/page.html"); }, 20000))
      << view_.url().toString().toStdString();
}

TEST_F(PlayerTest, PagesOfOtherOriginsCannotFetchThroughThePlayer) {
  TMediaServer target(media_);
  TMediaServer site(media_);
  bool loaded = false;
  QObject::connect(view_.page(), &QWebEnginePage::loadFinished, [&](bool) { loaded = true; });
  view_.load(QUrl(QString::fromStdString(site.Url("/page.html"))));
  ASSERT_TRUE(WaitUntil([&] { return loaded; }, 20000));
  const QString stream = StreamUrl({target.Url("/clip.mp4"), "", "", "", 0}).toString();
  Eval(QStringLiteral("window.answer = 'pending';"
                      "const xhr = new XMLHttpRequest();"
                      "xhr.onload = () => window.answer = 'read ' + xhr.status;"
                      "xhr.onerror = () => window.answer = 'refused';"
                      "xhr.open('GET', '%1'); xhr.send(); 1")
           .arg(stream));
  EXPECT_TRUE(WaitUntil([&] { return Eval("window.answer").toString() != "pending"; }, 20000));
  EXPECT_EQ(Text(Eval("window.answer")), "refused");
  EXPECT_TRUE(target.Requests().empty());
}

TEST(StreamUrlTest, CarriesAnyTextBothWays) {
  const TStreamTarget targets[] = {
      {"http://127.0.0.1:8080/live/index.m3u8", "", "", "", 0},
      {"http://h/a b?x=1&y=2#frag", "Mozilla/5.0 (X11; 中文)", "http://ref/?q=a&b=%20", "", 3},
      {"https://[2001:db8::1]:443/频道/流.m3u8?token=a%2Fb+c", "UA=1&2", "", "", 10},
  };
  for (const TStreamTarget& target : targets) {
    SCOPED_TRACE(target.url);
    const QUrl url = StreamUrl(target);
    EXPECT_EQ(url.scheme(), QString::fromLatin1(kPlayerScheme));
    const std::optional<TStreamTarget> back =
        ParseStreamUrl(QUrl(url.toString(QUrl::FullyEncoded)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->url, target.url);
    EXPECT_EQ(back->user_agent, target.user_agent);
    EXPECT_EQ(back->referer, target.referer);
    EXPECT_EQ(back->hops, target.hops);
  }
  EXPECT_FALSE(ParseStreamUrl(QUrl("qelvu-player://player/play.html?url=x")));
  EXPECT_FALSE(ParseStreamUrl(QUrl("qelvu-player://player/stream")));
}

}  // namespace
}  // namespace qelvu
