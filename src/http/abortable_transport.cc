#include "http/abortable_transport.h"

#include "http/net_exceptions.h"
#include "http/socket_stack.h"

namespace qelvu {

void TAbortableTransport::Open() {
  const std::lock_guard lock(mutex_);
  ThrowIfAborted();
  TDeadlineTransport::Open();
}

void TAbortableTransport::ConnectTransport(const TConnectTarget& target) {
  TDeadlineTransport::ConnectTransport(target);
  const std::lock_guard lock(mutex_);
  // A shutdown that came before the connect call itself started does not stop that call.
  if (aborted_) {
    socket_handle_ = -1;
    TDeadlineTransport::Close();
    ThrowIfAborted();
  }
}

void TAbortableTransport::Close() {
  const std::lock_guard lock(mutex_);
  socket_handle_ = -1;
  TDeadlineTransport::Close();
}

void TAbortableTransport::Abort() {
  const std::lock_guard lock(mutex_);
  aborted_ = true;
  if (socket_handle_ >= 0) TSocketStack::Instance().ShutdownBoth(socket_handle_);
}

bool TAbortableTransport::Aborted() const {
  const std::lock_guard lock(mutex_);
  return aborted_;
}

void TAbortableTransport::SocketAllocated(int handle) {
  const std::lock_guard lock(mutex_);
  ThrowIfAborted();
  socket_handle_ = handle;
}

void TAbortableTransport::ThrowIfAborted() const {
  if (aborted_) throw EClosedSocket("Disconnected.");
}

}  // namespace qelvu
