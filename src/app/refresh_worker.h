// `TGetTvList`: the one background refresh of the channel list, 20 s after a start from the
// cache.
//
// The constructor starts a thread that scrapes the directory into a `TChannelBatch` and saves
// the cache file; the batch then goes to the window's thread as one queued call that replaces
// the tree (when a list was saved) and hides the status panel. The thread owns what it uses and
// releases itself. Stop (run by the window before it releases its tree, and by the destructor)
// guarantees that nothing reaches the view afterwards, aborts the download and waits a short,
// bounded time for the thread to end. Create, stop and destroy on the window's thread.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "app/channel_scraper.h"
#include "app/main_view.h"

namespace qelvu {

class TGetTvList {
 public:
  // `view` and `context` belong to the window's thread and must outlive Stop; the batch is
  // delivered through `context`'s event queue.
  TGetTvList(TMainView& view, QObject& context, std::unique_ptr<TPageSource> source,
             std::string directory_base_url, std::string cache_file);
  ~TGetTvList();
  TGetTvList(const TGetTvList&) = delete;
  TGetTvList& operator=(const TGetTvList&) = delete;

  // Idempotent. Returns once the worker has ended, or after about half a second at most.
  void Stop();
  // True until the worker has finished its scrape (and posted or dropped its batch).
  bool Running() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace qelvu
