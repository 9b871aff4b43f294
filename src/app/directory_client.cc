#include "app/directory_client.h"

#include <mutex>

#include "http/net_exceptions.h"
#include "http/socket_stack.h"
#include "http/transport.h"

namespace qelvu {

// The socket transport, plus a thread-safe way to cut its connection. The lock keeps the
// socket from being closed (and its number reused) while Abort shuts it down.
class THttpPageSource::AbortableTransport : public TSocketTransport {
 public:
  void Open() override {
    const std::lock_guard lock(mutex_);
    ThrowIfAborted();
    TSocketTransport::Open();
  }

  void ConnectTransport(const TConnectTarget& target) override {
    {
      const std::lock_guard lock(mutex_);
      ThrowIfAborted();
    }
    TSocketTransport::ConnectTransport(target);
    const std::lock_guard lock(mutex_);
    // An abort during the connect could not reach a socket that was not connected yet.
    if (aborted_) {
      TSocketTransport::Close();
      ThrowIfAborted();
    }
    connected_handle_ = Socket()->Handle();
  }

  void Close() override {
    const std::lock_guard lock(mutex_);
    connected_handle_ = -1;
    TSocketTransport::Close();
  }

  void Abort() {
    const std::lock_guard lock(mutex_);
    aborted_ = true;
    if (connected_handle_ >= 0) TSocketStack::Instance().ShutdownBoth(connected_handle_);
  }

 private:
  void ThrowIfAborted() const {
    if (aborted_) throw EClosedSocket("Disconnected.");
  }

  std::mutex mutex_;
  bool aborted_ = false;
  int connected_handle_ = -1;
};

THttpPageSource::THttpPageSource() : transport_(std::make_unique<AbortableTransport>()) {
  client_.SetTransport(transport_.get());
  client_.ConnectTimeout = kConnectTimeout;
  client_.ReadTimeout = kReadTimeout;
}

THttpPageSource::~THttpPageSource() = default;

void THttpPageSource::GetDocument(const std::string& url) { client_.GetDocument(url, page_); }

void THttpPageSource::Abort() { transport_->Abort(); }

}  // namespace qelvu
