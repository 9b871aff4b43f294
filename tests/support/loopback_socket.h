// Listening sockets on 127.0.0.1 and waits that a stopping server notices, shared by the
// loopback servers of the tests and the benchmarks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qelvu::test {

// Listens on an ephemeral 127.0.0.1 port with room for `backlog` pending connections; returns
// the socket and sets `port`. Throws std::runtime_error when that fails.
int ListenOnLoopback(int backlog, uint16_t& port);

// Waits in short steps until `handle` is readable (true) or `stop` is set or the wait fails
// (false).
bool WaitReadableUntil(int handle, const std::atomic<bool>& stop);

// Accepts connections on an ephemeral 127.0.0.1 port on a thread of its own and serves each on a
// worker thread of its own. Destroying it sets Stopping(), which the workers' waits notice, and
// joins every thread: as its owner's last member it goes first, so no worker outlives what it
// uses.
class TConnectionAcceptor {
 public:
  // Runs on the accepting thread for every connection and returns what serves it on a worker,
  // or an empty function to close it at once.
  using TTake = std::function<std::function<void()>(int client)>;

  TConnectionAcceptor(int backlog, TTake take);
  ~TConnectionAcceptor();
  TConnectionAcceptor(const TConnectionAcceptor&) = delete;
  TConnectionAcceptor& operator=(const TConnectionAcceptor&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path) const;
  int Accepted() const { return accepted_.load(); }
  const std::atomic<bool>& Stopping() const { return stop_; }

 private:
  void AcceptLoop();

  TTake take_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  // Only the accepting thread adds to it; the destructor joins that thread first.
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace qelvu::test
