#include "app/main_services.h"

#include <unistd.h>

#include <climits>

namespace qelvu {

std::string TMainServices::ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

std::string TMainServices::GetFileVersionString(const std::string&) { return {}; }
void TMainServices::CreateShortcut(const std::string&, const std::string&, bool) {}
void TMainServices::OpenExternal(const std::string&) {}
void TMainServices::ScrapeChannelDirectory(TMainView&) {}
void TMainServices::StartRefresh(TMainView&, const TRefreshRequest&) {}
bool TMainServices::RefreshRunning() const { return false; }
void TMainServices::StopRefresh() {}

}  // namespace qelvu
