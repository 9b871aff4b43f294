// The built-in player of playlist channels: a page of the program's own URL scheme that plays a
// channel's stream in a browser pane, and the scheme's handler behind it.
//
// The player page and every request it makes for a stream (playlist, key, segment, progressive
// media) share one origin of the scheme, so streams play from servers that send no CORS headers
// and from segment hosts other than the playlist's. The handler fetches each stream request
// through the program's own HTTP client on worker threads, with the channel's User-Agent and
// Referer, and hands the body to the engine as it arrives. HLS plays through hls.js (compiled
// into the program's resources), progressive media through the page's own <video>; a channel
// URL that answers with a web page is opened as that page instead.
//
//   int main(int argc, char** argv) {
//     qelvu::RegisterPlayerScheme();          // before the QApplication
//     QApplication app(argc, argv);
//     ...
//     qelvu::TStreamPlayer player(*pane->Page()->profile());
//     qelvu::TStreamPlayer::AllowPlaybackWithoutGesture(*pane->Page());
//     pane->Page()->load(player.PageUrl(entry));
//   }
//
// Everything here runs on the thread of the QApplication.
#pragma once

#include <QUrl>
#include <memory>

#include "channels/playlist.h"

class QWebEnginePage;
class QWebEngineProfile;

namespace qelvu {

// The player's URL scheme, whose pages and stream requests TStreamPlayer answers.
inline constexpr char kPlayerScheme[] = "qelvu-player";

// Registers the player's scheme with the engine. main() calls it once, before the QApplication
// exists: the engine fixes its schemes when it starts.
void RegisterPlayerScheme();

// Answers the player's scheme on one profile. Owns the handler and the worker threads of the
// stream fetches; destroying it ends every fetch that still runs. Must be destroyed before the
// profile.
class TStreamPlayer {
 public:
  explicit TStreamPlayer(QWebEngineProfile& profile);
  ~TStreamPlayer();
  TStreamPlayer(const TStreamPlayer&) = delete;
  TStreamPlayer& operator=(const TStreamPlayer&) = delete;

  // The page that plays `entry` (its name, absolute URL and request options) in a pane of the
  // profile.
  QUrl PageUrl(const TPlaylistEntry& entry) const;

  // Lets `page` start sound without a click: a chosen channel plays at once.
  static void AllowPlaybackWithoutGesture(QWebEnginePage& page);

 private:
  class THandler;

  QWebEngineProfile& profile_;
  std::unique_ptr<THandler> handler_;
};

}  // namespace qelvu
