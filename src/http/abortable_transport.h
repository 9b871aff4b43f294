// `TAbortableTransport`: the deadline transport plus an abort that another thread may use.
//
// A download that the window or the engine gives up on must not keep its worker blocked in a
// connect or a read until a time limit runs out: Abort shuts the connection's socket down, so a
// blocked call returns at once and fails, and every later Open or connect fails too. Everything
// but Abort runs on the one thread of the client that uses the transport; Abort on any.
#pragma once

#include <mutex>

#include "http/deadline_transport.h"

namespace qelvu {

class TAbortableTransport : public TDeadlineTransport {
 public:
  using TDeadlineTransport::TDeadlineTransport;

  void Open() override;
  void ConnectTransport(const TConnectTarget& target) override;
  void Close() override;

  void Abort();
  bool Aborted() const;

 protected:
  // Known from before the name lookup and the connect, so that an abort ends a connect at once.
  void SocketAllocated(int handle) override;

 private:
  void ThrowIfAborted() const;

  // Keeps the socket from being closed (and its number reused) while Abort shuts it down.
  mutable std::mutex mutex_;
  bool aborted_ = false;
  int socket_handle_ = -1;
};

}  // namespace qelvu
