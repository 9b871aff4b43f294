// `TProgramServices`: the real services behind the main window's logic - the version note of
// the executable, the desktop launcher, the default browser, the directory scrape on the
// window's thread and the background refreshes.
//
// Owns the refresh worker's handle, the apply of its list to the tree and the object through
// which both reach the window's thread. One refresh runs at a time: a request that may wait
// runs after the running one (requests waiting together are joined into one), any other is
// dropped. Create it on the window's thread before the window and destroy it after; window
// thread only.
#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "app/list_view.h"
#include "app/main_services.h"
#include "app/site_addresses.h"
#include "channels/refresh_worker.h"

namespace qelvu {

class TProgramServices : public TMainServices {
 public:
  explicit TProgramServices(TSiteAddresses addresses);
  ~TProgramServices() override;

  std::string GetFileVersionString(const std::string& file_name) override;
  void CreateShortcut(const std::string& target, const std::string& name,
                      bool in_own_folder) override;
  void OpenExternal(const std::string& url) override;
  void ScrapeChannelDirectory(TMainView& view) override;
  void StartRefresh(TMainView& view, const TRefreshRequest& request) override;
  bool RefreshRunning() const override { return running_; }
  void StopRefresh() override;

 private:
  void Run(TMainView& view, const TRefreshRequest& request);
  void Finished(TMainView& view);

  const TSiteAddresses addresses_;
  QObject context_;
  std::unique_ptr<TGetTvList> refresh_;
  TListApply apply_{context_};
  bool running_ = false;
  bool stopped_ = false;
  std::optional<TRefreshRequest> waiting_;
};

}  // namespace qelvu
