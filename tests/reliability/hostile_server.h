// A loopback server that misbehaves on purpose, for the scraper's reliability tests.
//
// `THostileServer` listens on an ephemeral 127.0.0.1 port and serves one connection at a time on
// its own thread with the given behaviour. The behaviour gets the connection, the server's own
// base URL and a flag that turns true when the server is being destroyed; it should return soon
// after. Only 127.0.0.1 is ever used.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace qelvu::test {

class THostileServer {
 public:
  using TBehaviour = std::function<void(int connection, const std::string& base_url,
                                        const std::atomic<bool>& stopping)>;

  explicit THostileServer(TBehaviour behaviour);
  ~THostileServer();
  THostileServer(const THostileServer&) = delete;
  THostileServer& operator=(const THostileServer&) = delete;

  // "http://127.0.0.1:<port>/".
  std::string BaseUrl() const;

 private:
  void AcceptLoop();

  TBehaviour behaviour_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
};

// Helpers for behaviours. Each gives up (returns false) once the peer is gone or the server is
// stopping.
// Waits until a request head (through its empty line) has come.
bool ReadRequestHead(int connection, const std::atomic<bool>& stopping);
bool SendAll(int connection, const std::string& bytes, const std::atomic<bool>& stopping);
// Waits until the peer closes or resets the connection.
void WaitForPeerClose(int connection, const std::atomic<bool>& stopping);
// Ends the connection with a reset instead of a close.
void ResetConnection(int connection);

}  // namespace qelvu::test
