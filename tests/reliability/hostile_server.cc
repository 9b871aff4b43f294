#include "reliability/hostile_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "support/loopback_socket.h"

namespace qelvu::test {
namespace {

// Short waits, so that a stopping server is noticed promptly.
constexpr int kPollStepMs = 50;

// 1 when readable, 0 when the step passed, -1 on failure.
int WaitReadable(int handle) {
  pollfd entry{handle, POLLIN, 0};
  return ::poll(&entry, 1, kPollStepMs);
}

}  // namespace

THostileServer::THostileServer(TBehaviour behaviour) : behaviour_(std::move(behaviour)) {
  listener_ = ListenOnLoopback(16, port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

THostileServer::~THostileServer() {
  stopping_ = true;
  acceptor_.join();
  ::close(listener_);
}

std::string THostileServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void THostileServer::AcceptLoop() {
  while (WaitReadableUntil(listener_, stopping_)) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    // A peer that stops reading must not block a send past the server's end.
    const timeval step{0, kPollStepMs * 1000};
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &step, sizeof(step));
    behaviour_(connection, BaseUrl(), stopping_);
    ::close(connection);
  }
}

bool ReadRequestHead(int connection, const std::atomic<bool>& stopping) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (stopping) return false;
    const int ready = WaitReadable(connection);
    if (ready < 0) return false;
    if (ready == 0) continue;
    char buffer[4096];
    const ssize_t count = ::recv(connection, buffer, sizeof(buffer), 0);
    if (count <= 0) return false;
    head.append(buffer, static_cast<size_t>(count));
  }
  return true;
}

bool SendAll(int connection, const std::string& bytes, const std::atomic<bool>& stopping) {
  for (size_t sent = 0; sent < bytes.size();) {
    if (stopping) return false;
    const ssize_t count =
        ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

void WaitForPeerClose(int connection, const std::atomic<bool>& stopping) {
  while (!stopping) {
    const int ready = WaitReadable(connection);
    if (ready < 0) return;
    if (ready == 0) continue;
    char buffer[4096];
    if (::recv(connection, buffer, sizeof(buffer), 0) <= 0) return;
  }
}

void ResetConnection(int connection) {
  const linger abortive{1, 0};
  ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
}

}  // namespace qelvu::test
