#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/loopback_socket.h"

namespace qelvu::test {
namespace {

constexpr int kPollStepMs = 20;

// False once the peer is gone.
bool SendAll(int handle, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(handle, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

size_t ContentLengthOf(const std::string& head) {
  static const char kName[] = "\r\ncontent-length:";
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = lower.find(kName);
  if (at == std::string::npos) return 0;
  return static_cast<size_t>(std::strtoul(head.c_str() + at + sizeof kName - 1, nullptr, 10));
}

}  // namespace

TServerScript& TServerScript::ReadRequest() {
  steps_.push_back({Kind::kReadRequest, {}, 0, 0});
  return *this;
}

TServerScript& TServerScript::ReadBytes(size_t count) {
  steps_.push_back({Kind::kReadBytes, {}, 0, count});
  return *this;
}

TServerScript& TServerScript::Send(std::string bytes) {
  steps_.push_back({Kind::kSend, std::move(bytes), 0, 1});
  return *this;
}

TServerScript& TServerScript::SendRepeated(std::string bytes, size_t times) {
  steps_.push_back({Kind::kSend, std::move(bytes), 0, times});
  return *this;
}

TServerScript& TServerScript::Delay(int milliseconds) {
  steps_.push_back({Kind::kDelay, {}, milliseconds, 0});
  return *this;
}

TServerScript& TServerScript::Close() {
  steps_.push_back({Kind::kClose, {}, 0, 0});
  return *this;
}

TServerScript& TServerScript::Reset() {
  steps_.push_back({Kind::kReset, {}, 0, 0});
  return *this;
}

TServerScript& TServerScript::Relay(uint16_t port) {
  steps_.push_back({Kind::kRelay, {}, 0, port});
  return *this;
}

TLoopbackServer::TLoopbackServer() {
  listener_ = ListenOnLoopback(16, port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TLoopbackServer::~TLoopbackServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  ::close(listener_);
}

std::string TLoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TLoopbackServer::AddConnection(TServerScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripts_.push_back(std::move(script));
}

std::vector<std::string> TLoopbackServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TLoopbackServer::AcceptLoop() {
  while (WaitReadableUntil(listener_, stop_)) {
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++accepted_;
    TServerScript script;
    bool scripted = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!scripts_.empty()) {
        script = std::move(scripts_.front());
        scripts_.pop_front();
        scripted = true;
      }
    }
    if (!scripted) {
      ::close(client);
      continue;
    }
    workers_.emplace_back([this, client, script = std::move(script)] { Serve(client, script); });
  }
}

void TLoopbackServer::Serve(int client, TServerScript script) {
  std::string pending;  // bytes read beyond the last captured request
  char chunk[4096];
  auto read_more = [&]() {
    if (!WaitReadableUntil(client, stop_)) return false;
    ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    pending.append(chunk, static_cast<size_t>(n));
    return true;
  };
  bool open = true;
  for (const TServerScript::Step& step : script.steps_) {
    if (!open) break;
    switch (step.kind) {
      case TServerScript::Kind::kReadRequest: {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
          if (!read_more()) return (void)::close(client);
        }
        size_t total = end + 4 + ContentLengthOf(pending.substr(0, end + 2));
        while (pending.size() < total) {
          if (!read_more()) return (void)::close(client);
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(pending.substr(0, total));
        }
        pending.erase(0, total);
        break;
      }
      case TServerScript::Kind::kReadBytes: {
        while (pending.size() < step.count) {
          if (!read_more()) return (void)::close(client);
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(pending.substr(0, step.count));
        }
        pending.erase(0, step.count);
        break;
      }
      case TServerScript::Kind::kSend:
        // The rest of a script for a peer that left would only hold the server up.
        for (size_t i = 0; i < step.count; ++i) {
          if (!SendAll(client, step.bytes)) return (void)::close(client);
        }
        break;
      case TServerScript::Kind::kDelay:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
        break;
      case TServerScript::Kind::kClose:
        ::shutdown(client, SHUT_WR);
        open = false;
        break;
      case TServerScript::Kind::kRelay:
        RelayTo(client, static_cast<uint16_t>(step.count), pending);
        return (void)::close(client);
      case TServerScript::Kind::kReset: {
        linger abort_on_close{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
        ::close(client);
        return;
      }
    }
  }
  // Hold the connection until the peer closes it (or the server stops).
  while (read_more()) {
  }
  ::close(client);
}

void TLoopbackServer::RelayTo(int client, uint16_t port, const std::string& pending) {
  int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  if (upstream < 0 || ::connect(upstream, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (upstream >= 0) ::close(upstream);
    return;
  }
  SendAll(upstream, pending);
  char chunk[4096];
  while (!stop_) {
    pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    if (::poll(fds, 2, kPollStepMs) <= 0) continue;
    bool open = true;
    for (int i = 0; i < 2 && open; ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, 0);
      if (n <= 0) {
        open = false;
      } else {
        SendAll(fds[1 - i].fd, std::string(chunk, static_cast<size_t>(n)));
      }
    }
    if (!open) break;
  }
  ::close(upstream);
}

TFullBacklogListener::TFullBacklogListener() {
  listener_ = ListenOnLoopback(0, port_);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port_);
  // Queue connections until one no longer completes at once: from then on the listener drops
  // every further handshake.
  for (int i = 0; i < 16; ++i) {
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fillers_.push_back(filler);
    if (::connect(filler, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) continue;
    if (errno != EINPROGRESS) break;
    pollfd pfd{filler, POLLOUT, 0};
    if (::poll(&pfd, 1, 200) == 0) break;
  }
}

int TFullBacklogListener::PendingConnects() const {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // the column names
  int pending = 0;
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port_);
  while (std::getline(table, line)) {
    // "sl local_address rem_address st ...": the remote end is ours, state 02 is SYN_SENT.
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (remote.ends_with(wanted) && state == "02") ++pending;
  }
  return pending;
}

TFullBacklogListener::~TFullBacklogListener() {
  for (int filler : fillers_) ::close(filler);
  ::close(listener_);
}

}  // namespace qelvu::test
