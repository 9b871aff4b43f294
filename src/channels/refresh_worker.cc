#include "channels/refresh_worker.h"

#include <stop_token>
#include <utility>

namespace qelvu {

TGetTvList::TGetTvList(QObject& context, std::unique_ptr<TPageSource> source,
                       std::string directory_base_url, std::string cache_file, TDelivery deliver)
    : delivery_(std::make_shared<Delivery>(Delivery{false, std::move(deliver)})),
      source_(std::move(source)) {
  worker_ = std::jthread([this, context = &context, delivery = delivery_,
                          base_url = std::move(directory_base_url),
                          cache = std::move(cache_file)](std::stop_token stop) {
    // Runs on the thread that asks the worker to stop: the abort reaches the socket at once.
    const std::stop_callback abort(stop, [this] { source_->Abort(); });
    auto batch = std::make_shared<TChannelBatch>();
    ScrapeChannelDirectory(*source_, base_url, cache, *batch);
    // Checked on the window's thread, where Stop sets it: a batch posted just before Stop is
    // dropped there. A context already gone drops the call with it.
    QMetaObject::invokeMethod(
        context,
        [delivery, batch] {
          if (!delivery->stopped) delivery->deliver(*batch);
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
