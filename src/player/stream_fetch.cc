#include "player/stream_fetch.h"

#include <QIODevice>
#include <QPointer>
#include <QUrlQuery>
#include <QWebEngineUrlRequestJob>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>

#include "channels/playlist.h"
#include "http/abortable_transport.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "player/stream_player.h"

namespace qelvu {

namespace {

const QString kUrlKey = QStringLiteral("url");
const QString kUserAgentKey = QStringLiteral("ua");
const QString kRefererKey = QStringLiteral("referer");
const QString kHopsKey = QStringLiteral("hops");

std::string FromQuery(const QUrlQuery& query, const QString& key) {
  return query.queryItemValue(key, QUrl::FullyDecoded).toStdString();
}

// "HTTP/1.1 404 Not Found" reads "HTTP 404 Not Found".
std::string StatusReason(const std::string& status_line, int code) {
  const size_t blank = status_line.find(' ');
  if (blank == std::string::npos) return "HTTP " + std::to_string(code);
  return "HTTP " + status_line.substr(blank + 1);
}

}  // namespace

QUrl PlayerUrl(const char* path,
               std::initializer_list<std::pair<const char*, const std::string&>> items) {
  QString query;
  for (const auto& [key, value] : items) {
    if (value.empty()) continue;
    if (!query.isEmpty()) query += '&';
    query += QLatin1String(key) + '=' +
             QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(value)));
  }
  QUrl url;
  url.setScheme(QString::fromLatin1(kPlayerScheme));
  url.setHost(QString::fromLatin1(kPlayerHost));
  url.setPath(QString::fromLatin1(path));
  url.setQuery(query, QUrl::StrictMode);
  return url;
}

QUrl StreamUrl(const TStreamTarget& target) {
  const std::string hops = target.hops > 0 ? std::to_string(target.hops) : std::string();
  return PlayerUrl(kStreamPath, {{"url", target.url},
                                 {"ua", target.user_agent},
                                 {"referer", target.referer},
                                 {"hops", hops}});
}

std::optional<TStreamTarget> ParseStreamUrl(const QUrl& url) {
  if (url.host() != QLatin1String(kPlayerHost) || url.path() != QLatin1String(kStreamPath)) {
    return std::nullopt;
  }
  const QUrlQuery query(url);
  TStreamTarget target;
  target.url = FromQuery(query, kUrlKey);
  if (target.url.empty()) return std::nullopt;
  target.user_agent = FromQuery(query, kUserAgentKey);
  target.referer = FromQuery(query, kRefererKey);
  target.hops = std::max(0, query.queryItemValue(kHopsKey).toInt());
  return target;
}

class TStreamReply;

// What a worker and the engine's reader of one request share: the bytes read ahead (bounded),
// whether the body has ended, and whether the engine gave the request up. The worker's transport
// lives here so that giving up can cut its connection.
struct TStreamPipe {
  TAbortableTransport transport;
  std::mutex mutex;
  std::condition_variable space;
  std::string buffer;
  size_t head = 0;
  // Bytes still to drop before the reader's next byte.
  size_t skip = 0;
  bool finished = false;
  bool canceled = false;
  // The device the engine reads; null once it is gone.
  TStreamReply* reply = nullptr;

  // Queues `step` to the reply on its own thread; dropped once the engine gave up.
  void Post(std::function<void(TStreamReply&)> step);
  // Waits for room, then appends; raises once the engine gave up.
  void Write(const char* bytes, size_t count);
  void Finish();
  void Cancel();
  // Drops what is to be skipped, as far as it has come; returns the bytes left to read. Under
  // the lock, as is Consume.
  size_t Skip() {
    const size_t dropped = std::min(skip, buffer.size() - head);
    skip -= dropped;
    Consume(dropped);
    return buffer.size() - head;
  }
  // Frees `count` read bytes for the writer.
  void Consume(size_t count) {
    if (count == 0) return;
    head += count;
    // Read bytes go once they are most of the buffer, so it never grows past twice the
    // read-ahead.
    if (head * 2 >= buffer.size()) {
      buffer.erase(0, head);
      head = 0;
    }
    space.notify_all();
  }
  size_t Available() {
    const std::lock_guard lock(mutex);
    return Skip();
  }
};

// The device of one request's body, fed by its worker. The engine reads it on a thread of its
// own, so every read goes through the pipe's lock; the signals that wake the reader are raised on
// the device's thread.
class TStreamReply : public QIODevice {
 public:
  TStreamReply(QWebEngineUrlRequestJob* job, std::shared_ptr<TStreamPipe> pipe)
      : job_(job), pipe_(std::move(pipe)) {
    pipe_->reply = this;
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // The engine owns the job and may drop it (the page went elsewhere) at any time.
    QObject::connect(job, &QObject::destroyed, this, &QObject::deleteLater);
  }
  ~TStreamReply() override { pipe_->Cancel(); }

  // `start` is where in the whole resource the body begins, `total` the whole resource's size
  // (-1 when the answer does not tell).
  void Answer(const QByteArray& content_type, int64_t start = 0, int64_t total = -1) {
    start_ = start;
    total_ = total;
    if (start_ > 0) QIODevice::seek(start_);
    if (job_) job_->reply(content_type, this);
  }
  // The engine asks for a range and then seeks to its start. A server that sent the range is
  // there already; one that ignored it sent the resource from its start, whose bytes up to the
  // range are dropped. Backwards there is nothing to read.
  bool seek(qint64 position) override {
    if (position < pos()) return false;
    {
      const std::lock_guard lock(pipe_->mutex);
      pipe_->skip += static_cast<size_t>(position - pos());
    }
    return QIODevice::seek(position);
  }
  qint64 size() const override { return total_ >= 0 ? total_ : QIODevice::size(); }
  void Redirect(const QUrl& url) {
    if (job_) job_->redirect(url);
  }
  void Wake() { emit readyRead(); }
  void End() {
    emit readyRead();
    emit readChannelFinished();
  }

  bool isSequential() const override { return total_ < 0; }
  qint64 bytesAvailable() const override {
    return static_cast<qint64>(pipe_->Available()) + QIODevice::bytesAvailable();
  }
  bool atEnd() const override {
    const std::lock_guard lock(pipe_->mutex);
    return pipe_->finished && pipe_->Skip() == 0;
  }

 protected:
  qint64 readData(char* data, qint64 max_size) override {
    TStreamPipe& pipe = *pipe_;
    const std::lock_guard lock(pipe.mutex);
    const size_t count = std::min(pipe.Skip(), static_cast<size_t>(max_size));
    if (count == 0) return pipe.finished ? -1 : 0;
    std::memcpy(data, pipe.buffer.data() + pipe.head, count);
    pipe.Consume(count);
    return static_cast<qint64>(count);
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QPointer<QWebEngineUrlRequestJob> job_;
  std::shared_ptr<TStreamPipe> pipe_;
  int64_t start_ = 0;
  int64_t total_ = -1;
};

void TStreamPipe::Post(std::function<void(TStreamReply&)> step) {
  const std::lock_guard lock(mutex);
  // Under the lock the reply cannot be destroyed; once queued, the call dies with it.
  if (canceled || reply == nullptr) return;
  TStreamReply* target = reply;
  QMetaObject::invokeMethod(
      target, [target, step = std::move(step)] { step(*target); }, Qt::QueuedConnection);
}

void TStreamPipe::Write(const char* bytes, size_t count) {
  std::unique_lock lock(mutex);
  space.wait(lock, [&] {
    return canceled || buffer.size() - head < static_cast<size_t>(TStreamFetcher::kReadAhead);
  });
  if (canceled) throw EClosedSocket("Disconnected.");
  const bool was_empty = buffer.size() == head;
  buffer.append(bytes, count);
  if (was_empty && reply != nullptr) {
    TStreamReply* target = reply;
    QMetaObject::invokeMethod(
        target, [target] { target->Wake(); }, Qt::QueuedConnection);
  }
}

void TStreamPipe::Finish() {
  {
    const std::lock_guard lock(mutex);
    finished = true;
  }
  Post([](TStreamReply& reply) { reply.End(); });
}

void TStreamPipe::Cancel() {
  {
    const std::lock_guard lock(mutex);
    canceled = true;
    reply = nullptr;
  }
  space.notify_all();
  transport.Abort();
}

namespace {

// The body's way from the client into the pipe. The client only ever appends.
class TPipeSink : public TByteStream {
 public:
  explicit TPipeSink(TStreamPipe& pipe) : pipe_(pipe) {}

  int64_t Size() const override { return written_; }
  void SetSize(int64_t) override {}
  int64_t Position() const override { return written_; }
  void SetPosition(int64_t) override {}
  int64_t Read(void*, int64_t) override { return 0; }
  void Write(const void* buffer, int64_t count) override {
    pipe_.Write(static_cast<const char*>(buffer), static_cast<size_t>(count));
    written_ += count;
  }

 private:
  TStreamPipe& pipe_;
  int64_t written_ = 0;
};

void Fail(TStreamPipe& pipe, int status, const std::string& reason) {
  pipe.Post([](TStreamReply& reply) { reply.Answer(QByteArray(kFailureType)); });
  const std::string body = std::to_string(status) + "\n" + reason;
  pipe.Write(body.data(), body.size());
  pipe.Finish();
}

}  // namespace

TStreamFetcher::TStreamFetcher() {
  // Every progressive stream holds its thread for as long as it plays.
  pool_.setMaxThreadCount(32);
}

TStreamFetcher::~TStreamFetcher() {
  {
    const std::lock_guard lock(mutex_);
    for (const std::weak_ptr<TStreamPipe>& running : running_) {
      if (const std::shared_ptr<TStreamPipe> pipe = running.lock()) pipe->Cancel();
    }
  }
  pool_.waitForDone();
}

void TStreamFetcher::Start(QWebEngineUrlRequestJob* job, TStreamTarget target,
                           const std::string& default_user_agent) {
  auto pipe = std::make_shared<TStreamPipe>();
  new TStreamReply(job, pipe);
  {
    const std::lock_guard lock(mutex_);
    std::erase_if(running_, [](const std::weak_ptr<TStreamPipe>& p) { return p.expired(); });
    running_.push_back(pipe);
  }
  const std::string user_agent = target.user_agent.empty() ? default_user_agent : target.user_agent;
  pool_.start([this, pipe, target = std::move(target), user_agent] {
    try {
      Run(pipe, target, user_agent);
    } catch (const std::exception&) {
      // Only a request the engine gave up on fails while it is being answered.
    }
  });
}

void TStreamFetcher::Run(const std::shared_ptr<TStreamPipe>& pipe, const TStreamTarget& target,
                         const std::string& user_agent) {
  THttpClient client;
  client.SetTransport(&pipe->transport);
  client.ConnectTimeout = kConnectTimeout;
  client.ReadTimeout = kReadTimeout;
  client.SetCookieManager(&cookies_);
  THttpRequest& request = client.Request();
  request.Accept = "*/*";
  request.UserAgent = user_agent;
  request.Referer = target.referer;
  if (!target.range.empty()) request.CustomHeaders.SetHeaderValue("Range", target.range);

  bool answered = false;
  client.OnHeadersAvailable = [&](const THeaderList& headers, bool&) {
    const THttpResponse& response = client.Response();
    if (response.StatusCode() / 100 != 2) return;
    std::string type = headers.HeaderValue("Content-Type");
    if (type.empty()) type = "application/octet-stream";
    answered = true;
    int64_t start = 0;
    int64_t total = -1;
    if (response.StatusCode() == 206) {
      // "bytes FIRST-LAST/TOTAL"; an unknown total ("*") leaves the body a plain stream.
      const std::string range = headers.HeaderValue("Content-Range");
      unsigned long long first = 0, last = 0, whole = 0;
      if (std::sscanf(range.c_str(), "bytes %llu-%llu/%llu", &first, &last, &whole) == 3) {
        start = static_cast<int64_t>(first);
        total = static_cast<int64_t>(whole);
      }
    } else if (response.HasContentLength()) {
      total = response.ContentLength();
    }
    pipe->Post([type, start, total](TStreamReply& reply) {
      reply.Answer(QByteArray::fromStdString(type), start, total);
    });
  };
  TPipeSink sink(*pipe);
  try {
    client.GetDocument(target.url, sink);
  } catch (const EHTTPProtocolException& e) {
    const int status = e.ErrorCode();
    const std::string& location = client.Response().Location;
    if (status / 100 != 3 || location.empty()) {
      return Fail(*pipe, status, StatusReason(e.what(), status));
    }
    if (target.hops >= kMaxRedirects) return Fail(*pipe, status, "Too many redirects");
    TStreamTarget next = target;
    next.url = ResolveReference(target.url, location);
    next.range.clear();
    ++next.hops;
    const QUrl url = StreamUrl(next);
    return pipe->Post([url](TStreamReply& reply) { reply.Redirect(url); });
  } catch (const std::exception& e) {
    if (pipe->transport.Aborted()) return;
    // A body that breaks off ends where it broke: the engine already has its start.
    if (!answered) return Fail(*pipe, 0, e.what());
  }
  if (!answered) pipe->Post([](TStreamReply& reply) { reply.Answer("application/octet-stream"); });
  pipe->Finish();
}

}  // namespace qelvu
