// `TProgramServices`: the real services behind the main window's logic - the version note of
// the executable, the desktop launcher, the default browser, the directory scrape on the
// window's thread and the one background refresh.
//
// Owns the refresh worker's handle and the object through which the worker's results reach the
// window's thread. Create it on the window's thread before the window and destroy it after;
// window thread only.
#pragma once

#include <QObject>
#include <memory>
#include <string>

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
  // Starts the refresh worker; a second call while one exists starts nothing.
  void StartRefresh(TMainView& view) override;
  void StopRefresh() override;

 private:
  const TSiteAddresses addresses_;
  QObject context_;
  std::unique_ptr<TGetTvList> refresh_;
};

}  // namespace qelvu
