#include "app/refresh_worker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace qelvu {

// What the window's thread and the worker share; it lives as long as either holds it.
struct TGetTvList::Shared {
  std::mutex mutex;
  std::condition_variable finished_signal;
  bool stopped = false;   // the window no longer takes changes
  bool finished = false;  // the worker's scrape is over
  std::unique_ptr<TPageSource> source;
};

TGetTvList::TGetTvList(TMainView& view, QObject& context, std::unique_ptr<TPageSource> source,
                       std::string directory_base_url, std::string cache_file)
    : shared_(std::make_shared<Shared>()) {
  shared_->source = std::move(source);
  std::thread([shared = shared_, view = &view, context = &context,
               base_url = std::move(directory_base_url), cache = std::move(cache_file)] {
    auto batch = std::make_shared<TChannelBatch>();
    ScrapeChannelDirectory(*shared->source, base_url, cache, *batch);
    std::unique_ptr<TPageSource> used_source;
    {
      const std::lock_guard lock(shared->mutex);
      // Posting under the lock: Stop cannot slip in between the check and the post, so after
      // Stop nothing is queued towards a view that is about to go.
      if (!shared->stopped) {
        QMetaObject::invokeMethod(
            context,
            [shared, view, batch] {
              if (!shared->stopped) batch->ApplyTo(*view);
            },
            Qt::QueuedConnection);
      }
      used_source = std::move(shared->source);
    }
    // The client is released before the worker reports the end, so that a program exiting
    // right after Stop never tears down the network globals under a client still closing.
    used_source.reset();
    const std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->finished_signal.notify_all();
  }).detach();
}

TGetTvList::~TGetTvList() { Stop(); }

void TGetTvList::Stop() {
  std::unique_lock lock(shared_->mutex);
  shared_->stopped = true;
  if (shared_->finished) return;
  if (shared_->source) shared_->source->Abort();
  // An aborted download ends at once; the bound covers a connect or name lookup that an abort
  // cannot cut short, so that closing the window is never held up by the network.
  shared_->finished_signal.wait_for(lock, std::chrono::milliseconds(500),
                                    [this] { return shared_->finished; });
}

bool TGetTvList::Running() const {
  const std::lock_guard lock(shared_->mutex);
  return !shared_->finished;
}

}  // namespace qelvu
