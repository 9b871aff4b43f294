#include "channels/directory_client.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "channels/playlist.h"
#include "http/deadline_transport.h"
#include "http/net_exceptions.h"
#include "http/socket_stack.h"

namespace qelvu {

// The transport with the document's deadline, plus a thread-safe way to cut its connection,
// connecting or connected. The lock keeps the socket from being closed (and its number reused)
// while Abort shuts it down.
class THttpPageSource::AbortableTransport : public TDeadlineTransport {
 public:
  void Open() override {
    const std::lock_guard lock(mutex_);
    ThrowIfAborted();
    TDeadlineTransport::Open();
  }

  void ConnectTransport(const TConnectTarget& target) override {
    TDeadlineTransport::ConnectTransport(target);
    const std::lock_guard lock(mutex_);
    // A shutdown that came before the connect call itself started does not stop that call.
    if (aborted_) {
      socket_handle_ = -1;
      TDeadlineTransport::Close();
      ThrowIfAborted();
    }
  }

  void Close() override {
    const std::lock_guard lock(mutex_);
    socket_handle_ = -1;
    TDeadlineTransport::Close();
  }

  void Abort() {
    const std::lock_guard lock(mutex_);
    aborted_ = true;
    if (socket_handle_ >= 0) TSocketStack::Instance().ShutdownBoth(socket_handle_);
  }

 protected:
  // Known from before the name lookup and the connect, so that an abort ends a connect at once.
  void SocketAllocated(int handle) override {
    const std::lock_guard lock(mutex_);
    ThrowIfAborted();
    socket_handle_ = handle;
  }

 private:
  void ThrowIfAborted() const {
    if (aborted_) throw EClosedSocket("Disconnected.");
  }

  std::mutex mutex_;
  bool aborted_ = false;
  int socket_handle_ = -1;
};

// The page text, refusing to grow past a limit: an endless or huge body fails at the limit
// instead of taking the machine's memory.
class THttpPageSource::PageStream : public TStringStream {
 public:
  void SetLimit(int64_t limit) { limit_ = limit; }

  void Write(const void* buffer, int64_t count) override {
    if (count > limit_ - Position()) throw ENetException("Document too large.");
    TStringStream::Write(buffer, count);
  }

 private:
  int64_t limit_ = 0;
};

THttpPageSource::THttpPageSource()
    : transport_(std::make_unique<AbortableTransport>()), page_(std::make_unique<PageStream>()) {
  client_.SetTransport(transport_.get());
  client_.ConnectTimeout = kConnectTimeout;
  client_.ReadTimeout = kReadTimeout;
  client_.OnRedirect = [this](std::string& location, int, bool& handled, THttpMethod&) {
    if (handled) document_url_ = ResolveReference(document_url_, location);
  };
}

THttpPageSource::~THttpPageSource() = default;

void THttpPageSource::SetFollowRedirects(bool follow) { client_.HandleRedirects = follow; }

void THttpPageSource::GetDocument(const std::string& url) {
  document_url_ = url;
  const int64_t start = page_->Size();
  page_->SetLimit(start + kMaxDocumentSize);
  transport_->SetDeadline(AbortableTransport::Clock::now() +
                          std::chrono::milliseconds(kDocumentTimeout));
  client_.GetDocument(url, *page_);
  // The client keeps what came before an early close; as a page that is a failure, or a
  // half-sent list would replace the whole cache.
  THttpResponse& response = client_.Response();
  // The client stops following after its maximum and keeps the last redirect as the answer.
  if (response.StatusCode() / 100 == 3) {
    throw EProtocolReplyError("Too many redirects: " + response.StatusLine);
  }
  if (response.ContentLength() > 0 && page_->Size() - start < response.ContentLength()) {
    throw EConnClosedGracefully("Connection Closed Gracefully.");
  }
}

std::string THttpPageSource::TakePageText() { return page_->TakeDataString(); }

void THttpPageSource::Abort() { transport_->Abort(); }

}  // namespace qelvu
