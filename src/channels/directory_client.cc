#include "channels/directory_client.h"

#include <algorithm>
#include <chrono>

#include "channels/playlist.h"
#include "http/net_exceptions.h"

namespace qelvu {

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
    : transport_(std::make_unique<TAbortableTransport>()), page_(std::make_unique<PageStream>()) {
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
  transport_->SetDeadline(TAbortableTransport::Clock::now() +
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
