// `TGetTvList`: the one background refresh of the channel list, 20 s after a start from the
// cache.
//
// The constructor starts a worker thread that scrapes the directory into a `TChannelBatch` and
// saves the cache file; the batch then goes to the window's thread as one queued call to the
// delivery given at construction. The object owns its thread: Stop (run by the window before it
// releases its tree, and by the destructor) guarantees that no delivery runs afterwards, aborts
// the download, whether it is connecting or reading, and joins the worker. Create, stop and
// destroy on the window's thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "channels/channel_scraper.h"

namespace qelvu {

class TGetTvList {
 public:
  // Runs on the window's thread with the finished scrape.
  using TDelivery = std::function<void(const TChannelBatch& batch)>;

  // The batch is delivered through `context`'s event queue; `context` must outlive Stop.
  TGetTvList(QObject& context, std::unique_ptr<TPageSource> source, std::string directory_base_url,
             std::string cache_file, TDelivery deliver);
  ~TGetTvList();
  TGetTvList(const TGetTvList&) = delete;
  TGetTvList& operator=(const TGetTvList&) = delete;

  // Idempotent. Returns once the worker has ended: at once for a connect or a read, which the
  // abort cuts short; a name lookup in progress cannot be cut and may hold it up to the
  // connect limit.
  void Stop();
  // True until the worker has finished its scrape (and posted its batch).
  bool Running() const;

 private:
  // What the queued delivery needs after this object may be gone. Window thread only.
  struct Delivery {
    bool stopped = false;
    TDelivery deliver;
  };

  std::shared_ptr<Delivery> delivery_;
  std::unique_ptr<TPageSource> source_;
  std::atomic<bool> finished_{false};
  // Last: it is joined before the members it uses go.
  std::jthread worker_;
};

}  // namespace qelvu
