#include "app/program_services.h"

#include "app/desktop_shortcut.h"
#include "app/file_version.h"
#include "app/list_view.h"
#include "channels/channel_list.h"
#include "channels/directory_client.h"
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

void TProgramServices::StartRefresh(TMainView& view) {
  if (refresh_) return;
  refresh_ = std::make_unique<TGetTvList>(
      context_, std::make_unique<THttpPageSource>(), addresses_.DirectoryBaseUrl,
      GetCacheFileName(), [&view](const TChannelBatch& batch) { ApplyRefreshedList(batch, view); });
}

void TProgramServices::StopRefresh() {
  if (refresh_) refresh_->Stop();
}

}  // namespace qelvu
