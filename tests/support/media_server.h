// `TMediaServer`: a small HTTP/1.1 file server on 127.0.0.1 for the player's tests and bench.
//
// It serves the files under one folder with their media types and byte ranges, and sends no CORS
// headers, as most stream servers do not. Rules make it a picky or broken server: answer only a
// given User-Agent or Referer (403 otherwise), redirect a path, or leave a path's first requests
// unanswered for a while (a stalled stream). Every connection is answered on a thread of its own
// and closed after one answer. Rules are set before the first request; Requests may be read on
// any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelvu::test {

class TMediaServer {
 public:
  // One request as the server read it.
  struct TRequest {
    std::string path;
    std::string user_agent;
    std::string referer;
    std::string range;
  };

  explicit TMediaServer(std::filesystem::path root);
  ~TMediaServer();
  TMediaServer(const TMediaServer&) = delete;
  TMediaServer& operator=(const TMediaServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path) const;

  void RequireUserAgent(std::string user_agent) { user_agent_ = std::move(user_agent); }
  void RequireReferer(std::string referer) { referer_ = std::move(referer); }
  // Answers `path` with 302 to `location`.
  void Redirect(const std::string& path, std::string location) { redirects_[path] = location; }
  // Answers every request whole, as a server without byte ranges does.
  void IgnoreRanges() { ignore_ranges_ = true; }
  // Leaves the first `times` requests for `path` unanswered for `milliseconds`, then closes them.
  void Stall(const std::string& path, int times, int milliseconds);

  std::vector<TRequest> Requests();

 private:
  struct TStall {
    int times = 0;
    int milliseconds = 0;
  };

  void AcceptLoop();
  void Serve(int client);
  // The answer to one request; empty when the connection is to be held and closed unanswered.
  std::string Answer(const TRequest& request, int& stall_ms);

  std::filesystem::path root_;
  std::string user_agent_;
  std::string referer_;
  bool ignore_ranges_ = false;
  std::map<std::string, std::string> redirects_;
  std::map<std::string, TStall> stalls_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<TRequest> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// Makes the test streams with ffmpeg into `folder`, as the demo makes its own: an HLS stream of
// 1 s segments at hls/index.m3u8 and an MP4 file at clip.mp4, `seconds` long. Raises
// std::runtime_error when ffmpeg fails.
void MakeTestMedia(const std::filesystem::path& folder, int seconds);
// Makes an MP4 file of a few megabytes whose index comes after its media data, so that a player
// has to ask for a range near its end before it can start.
void MakeIndexAtEndMp4(const std::filesystem::path& file);

}  // namespace qelvu::test
