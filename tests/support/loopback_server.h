// Scripted TCP servers on 127.0.0.1 for tests of network clients.
//
// `TLoopbackServer` listens on an ephemeral loopback port. Each accepted connection runs the
// next script queued with AddConnection, on its own thread: read a request (captured), send
// canned bytes, pause, close, or reset. A connection whose script ends stays open until the
// peer closes it or the server is destroyed. Connections beyond the queued scripts are closed
// at once. Only 127.0.0.1 is ever used.
//
// `TFullBacklogListener` listens without ever accepting and keeps its accept queue full, so a
// further connect to it neither succeeds nor fails (for connect time-limit tests).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelvu::test {

class TServerScript {
 public:
  // Reads one request head (through the empty line, plus a Content-Length body) and keeps it.
  TServerScript& ReadRequest();
  // Reads exactly `count` bytes and keeps them as one request (for handshakes before HTTP).
  TServerScript& ReadBytes(size_t count);
  TServerScript& Send(std::string bytes);
  // Sends `bytes` `times` over (an endless body, as far as a client can tell), ending early
  // when the peer goes.
  TServerScript& SendRepeated(std::string bytes, size_t times);
  TServerScript& Delay(int milliseconds);
  // Closes gracefully (FIN).
  TServerScript& Close();
  // Aborts the connection (RST).
  TServerScript& Reset();
  // From here on carries bytes both ways between the peer and 127.0.0.1:`port` until either
  // side closes (a proxy's tunnel).
  TServerScript& Relay(uint16_t port);

 private:
  friend class TLoopbackServer;
  enum class Kind { kReadRequest, kReadBytes, kSend, kDelay, kClose, kReset, kRelay };
  struct Step {
    Kind kind;
    std::string bytes;
    int milliseconds = 0;
    size_t count = 0;
  };
  std::vector<Step> steps_;
};

class TLoopbackServer {
 public:
  TLoopbackServer();
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path = "/") const;
  void AddConnection(TServerScript script);
  // Every request read so far, in the order read.
  std::vector<std::string> Requests();
  int AcceptedConnections() const { return accepted_.load(); }

 private:
  void AcceptLoop();
  void Serve(int client, TServerScript script);
  // Pipes between `client` and the loopback port until a side closes or the server stops.
  void RelayTo(int client, uint16_t port, const std::string& pending);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex mutex_;
  std::deque<TServerScript> scripts_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

class TFullBacklogListener {
 public:
  TFullBacklogListener();
  ~TFullBacklogListener();
  TFullBacklogListener(const TFullBacklogListener&) = delete;
  TFullBacklogListener& operator=(const TFullBacklogListener&) = delete;

  uint16_t Port() const { return port_; }
  // Connects to the listener still waiting for their handshake, its own filler among them
  // (as the kernel lists them in /proc/net/tcp).
  int PendingConnects() const;

 private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace qelvu::test
