// `TGetTvList`: one background refresh of the channel list - the timed one 20 s after a start
// from the cache, a refresh the user asks for, or the reading of sources just added.
//
// The constructor starts a worker thread that reads the sources the job names again, keeps the
// channels the list shows for every other source and for each one that fails, joins them in
// source order, saves the cache file and hands the new list to the window's thread as one
// queued call to the delivery given at construction, with how the tree changes and the list's
// search keys, both worked out on the worker. When every source it reads fails, the
// list and the cache stay as they are and nothing is delivered as changed. The object owns its
// thread: Stop (run by the window before it releases its tree, and by the destructor)
// guarantees that no delivery runs afterwards, aborts the download, whether it is connecting or
// reading, and joins the worker. Create, stop and destroy on the window's thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channels/channel_scraper.h"
#include "channels/channel_sources.h"
#include "channels/list_keys.h"
#include "channels/source_list.h"

namespace qelvu {

struct TRefreshJob {
  // The list's sources, in the order the list shows them.
  std::vector<TChannelSource> sources;
  // The ones to read again; every other source keeps its channels from `shown`.
  std::vector<TChannelSource> read;
  // The list the tree shows when the job starts.
  TChannelList shown;
  std::string directory_base_url;
  std::string cache_file;
};

struct TRefreshResult {
  // False when every source read failed: the list and the cache file stay as they are.
  bool changed = false;
  TChannelList list;
  // How the tree that showed `TRefreshJob::shown` comes to show `list`.
  TListChange change;
  // The search keys of `list`.
  std::shared_ptr<const TListKeys> keys;
};

class TGetTvList {
 public:
  // Runs on the window's thread with the finished refresh.
  using TDelivery = std::function<void(std::shared_ptr<const TRefreshResult> result)>;

  // Every download goes through `pages`. The result is delivered through `context`'s event
  // queue; `context` must outlive Stop.
  TGetTvList(QObject& context, std::unique_ptr<TPageSource> pages, TRefreshJob job,
             TDelivery deliver);
  ~TGetTvList();
  TGetTvList(const TGetTvList&) = delete;
  TGetTvList& operator=(const TGetTvList&) = delete;

  // Idempotent. Returns once the worker has ended: at once for a connect or a read, which the
  // abort cuts short; a name lookup in progress cannot be cut and may hold it up to the
  // connect limit.
  void Stop();
  // True until the worker has finished its refresh (and posted its result).
  bool Running() const;

 private:
  // What the queued delivery needs after this object may be gone. Window thread only.
  struct Delivery {
    bool stopped = false;
    TDelivery deliver;
  };

  std::shared_ptr<Delivery> delivery_;
  std::unique_ptr<TPageSource> pages_;
  std::atomic<bool> finished_{false};
  // Last: it is joined before the members it uses go.
  std::jthread worker_;
};

}  // namespace qelvu
