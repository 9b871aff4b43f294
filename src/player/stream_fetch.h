// The stream requests of the player page: what one asks for, how it is written as a URL of the
// player's scheme, and the fetcher that answers it through the program's HTTP client.
//
// A request's answer reaches the page in one of three forms: the body (streamed to the engine
// as it arrives, with the server's content type), a redirect to the stream request of the new
// location, or a failure: a body of kFailureType whose first line is the HTTP status (0 for a
// failure before any answer) and whose second is the reason, since the engine's job cannot
// carry a status of its own. A body whose size the answer tells is a random-access device, so
// that the engine asks for byte ranges (an MP4 file whose index is at its end needs them): each
// range is a request of its own, sent on with the engine's Range header.
#pragma once

#include <QThreadPool>
#include <QUrl>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/cookies.h"

class QWebEngineUrlRequestJob;

namespace qelvu {

inline constexpr char kPlayerHost[] = "player";
inline constexpr char kStreamPath[] = "/stream";
inline constexpr char kFailureType[] = "application/x-qelvu-failure";

// One stream request: the stream's absolute URL, the channel's request options, the byte range
// the engine asked for, and how many redirects led here.
struct TStreamTarget {
  std::string url;
  std::string user_agent;
  std::string referer;
  std::string range;
  int hops = 0;
};

// The player's URL of `path` with the query items whose values are not empty, each value
// (UTF-8 text of any kind, a URL among them) percent-encoded whole.
QUrl PlayerUrl(const char* path,
               std::initializer_list<std::pair<const char*, const std::string&>> items);

// The player's URL for `target` (without its range, which travels as a request header).
QUrl StreamUrl(const TStreamTarget& target);
// The target a stream URL names; nullopt for any other URL.
std::optional<TStreamTarget> ParseStreamUrl(const QUrl& url);

struct TStreamPipe;

// Runs stream requests on worker threads, one thread each for as long as its body flows, with
// one cookie store for all. Start runs on the thread of the engine's jobs; destroying the
// fetcher aborts the fetches still running and waits for their threads.
class TStreamFetcher {
 public:
  // A chain of redirects ends in a failure after this many.
  static constexpr int kMaxRedirects = 10;
  static constexpr int kConnectTimeout = 10000;
  static constexpr int kReadTimeout = 20000;
  // The bytes read ahead of the engine: a fast server waits once so much is unread.
  static constexpr int64_t kReadAhead = int64_t{4} << 20;

  TStreamFetcher();
  ~TStreamFetcher();
  TStreamFetcher(const TStreamFetcher&) = delete;
  TStreamFetcher& operator=(const TStreamFetcher&) = delete;

  // Answers `job` with `target`; `default_user_agent` goes out when the channel names none.
  void Start(QWebEngineUrlRequestJob* job, TStreamTarget target,
             const std::string& default_user_agent);

 private:
  void Run(const std::shared_ptr<TStreamPipe>& pipe, const TStreamTarget& target,
           const std::string& user_agent);

  TCookieManager cookies_;
  std::mutex mutex_;
  std::vector<std::weak_ptr<TStreamPipe>> running_;
  QThreadPool pool_;
};

}  // namespace qelvu
