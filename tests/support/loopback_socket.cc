#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace qelvu::test {

int ListenOnLoopback(int backlog, uint16_t& port) {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) throw std::runtime_error("socket failed");
  const int on = 1;
  ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof sa;
  if (::bind(handle, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(handle, backlog) != 0 ||
      ::getsockname(handle, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    ::close(handle);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port = ntohs(sa.sin_port);
  return handle;
}

bool WaitReadableUntil(int handle, const std::atomic<bool>& stop) {
  // Short steps, so that a stopping server is noticed promptly.
  constexpr int kStepMs = 20;
  pollfd entry{handle, POLLIN, 0};
  while (!stop.load()) {
    const int ready = ::poll(&entry, 1, kStepMs);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
  return false;
}

TConnectionAcceptor::TConnectionAcceptor(int backlog, TTake take) : take_(std::move(take)) {
  listener_ = ListenOnLoopback(backlog, port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TConnectionAcceptor::~TConnectionAcceptor() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  ::close(listener_);
}

std::string TConnectionAcceptor::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TConnectionAcceptor::AcceptLoop() {
  while (WaitReadableUntil(listener_, stop_)) {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++accepted_;
    if (std::function<void()> serve = take_(client)) {
      workers_.emplace_back(std::move(serve));
    } else {
      ::close(client);
    }
  }
}

}  // namespace qelvu::test
