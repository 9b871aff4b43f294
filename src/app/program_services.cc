#include "app/program_services.h"

#include "app/channel_list.h"
#include "app/desktop_shortcut.h"
#include "app/directory_client.h"
#include "app/file_version.h"
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
  refresh_ = std::make_unique<TGetTvList>(view, context_, std::make_unique<THttpPageSource>(),
                                          addresses_.DirectoryBaseUrl, GetCacheFileName());
}

void TProgramServices::StopRefresh() {
  if (refresh_) refresh_->Stop();
}

bool TProgramServices::RefreshRunning() const { return refresh_ && refresh_->Running(); }

}  // namespace qelvu
