#include "app/program_services.h"

#include <algorithm>

#include "app/desktop_shortcut.h"
#include "app/file_version.h"
#include "channels/channel_list.h"
#include "channels/directory_client.h"
#include "channels/source_list.h"
#include "widgets/shell_open.h"

namespace qelvu {

TProgramServices::TProgramServices(TSiteAddresses addresses) : addresses_(std::move(addresses)) {}

TProgramServices::~TProgramServices() { StopRefresh(); }

std::string TProgramServices::GetFileVersionString(const std::string& file_name) {
  return qelvu::GetFileVersionString(file_name);
}

void TProgramServices::CreateShortcut(const std::string& target, const std::string& name,
                                      bool in_own_folder) {
  qelvu::CreateShortcut(target, name, in_own_folder);
}

void TProgramServices::OpenExternal(const std::string& url) { ShellOpen(url); }

void TProgramServices::ScrapeChannelDirectory(TMainView& view) {
  THttpPageSource source;
  TTreeScrapeSink sink(view);
  qelvu::ScrapeChannelDirectory(source, addresses_.DirectoryBaseUrl, GetCacheFileName(), sink);
}

void TProgramServices::StartRefresh(TMainView& view, const TRefreshRequest& request) {
  if (stopped_) return;
  if (!running_) {
    Run(view, request);
  } else if (request.wait_for_running) {
    if (!waiting_) {
      waiting_ = request;
      return;
    }
    // The later order of sources is the one that holds; every source either asked for is read.
    waiting_->sources = request.sources;
    for (const TChannelSource& source : request.read) {
      std::vector<TChannelSource>& read = waiting_->read;
      if (std::find(read.begin(), read.end(), source) == read.end()) read.push_back(source);
    }
  }
}

void TProgramServices::Run(TMainView& view, const TRefreshRequest& request) {
  running_ = true;
  if (refresh_) refresh_->Stop();
  TRefreshJob job{request.sources, request.read, ListFromTree(view.tv1()),
                  addresses_.DirectoryBaseUrl, GetCacheFileName()};
  refresh_ = std::make_unique<TGetTvList>(
      context_, std::make_unique<THttpPageSource>(), std::move(job),
      [this, &view](std::shared_ptr<const TRefreshResult> result) {
        apply_.Start(view, std::move(result), [this, &view] { Finished(view); });
      });
}

void TProgramServices::Finished(TMainView& view) {
  running_ = false;
  if (!waiting_) return;
  const TRefreshRequest next = std::move(*waiting_);
  waiting_.reset();
  Run(view, next);
}

void TProgramServices::StopRefresh() {
  stopped_ = true;
  waiting_.reset();
  if (refresh_) refresh_->Stop();
  apply_.Stop();
}

}  // namespace qelvu
