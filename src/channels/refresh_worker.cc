#include "channels/refresh_worker.h"

#include <algorithm>
#include <stop_token>
#include <utility>

#include "channels/atomic_file.h"
#include "channels/dropped_failure.h"

namespace qelvu {
namespace {

TRefreshResult Refresh(const TRefreshJob& job, TPageSource& pages, const std::stop_token& stop) {
  std::vector<TChannelList> per_source;
  bool any_read = false;
  bool any_failed = false;
  for (const TChannelSource& source : job.sources) {
    const bool read = std::find(job.read.begin(), job.read.end(), source) != job.read.end();
    if (read && !stop.stop_requested()) {
      try {
        per_source.push_back(ReadChannelSource(source, job.directory_base_url, pages));
        any_read = true;
        continue;
      } catch (...) {
        // The channels the source gave last time are better than none.
        LogDroppedFailure(lcRefresh(), "Reading a channel source", std::current_exception());
      }
    }
    if (read) any_failed = true;
    per_source.push_back(ChannelsOf(job.shown, source.Key()));
  }
  TRefreshResult result;
  if (any_failed && !any_read) return result;
  result.changed = true;
  result.list = ComposeList(std::move(per_source));
  result.change = DiffLists(job.shown, result.list);
  // A stopped worker's result is never delivered.
  if (!stop.stop_requested()) result.keys = TListKeys::Build(result.list);
  DropFailure(lcScrape(), "Saving the channel cache",
              [&] { WriteFileReplacing(job.cache_file, ComposeCacheText(result.list)); });
  return result;
}

}  // namespace

TGetTvList::TGetTvList(QObject& context, std::unique_ptr<TPageSource> pages, TRefreshJob job,
                       TDelivery deliver)
    : delivery_(std::make_shared<Delivery>(Delivery{false, std::move(deliver)})),
      pages_(std::move(pages)) {
  worker_ = std::jthread(
      [this, context = &context, delivery = delivery_, job = std::move(job)](std::stop_token stop) {
        // Runs on the thread that asks the worker to stop: the abort reaches the socket at once.
        const std::stop_callback abort(stop, [this] { pages_->Abort(); });
        auto result = std::make_shared<const TRefreshResult>(Refresh(job, *pages_, stop));
        // Checked on the window's thread, where Stop sets it: a result posted just before Stop is
        // dropped there. A context already gone drops the call with it.
        QMetaObject::invokeMethod(
            context,
            [delivery, result] {
              if (!delivery->stopped) delivery->deliver(result);
            },
            Qt::QueuedConnection);
        finished_ = true;
      });
}

TGetTvList::~TGetTvList() { Stop(); }

void TGetTvList::Stop() {
  delivery_->stopped = true;
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

bool TGetTvList::Running() const { return !finished_; }

}  // namespace qelvu
