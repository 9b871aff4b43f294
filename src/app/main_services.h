// The services the main window's logic calls beyond its view: the program's own file, the
// desktop shell, and the channel directory. Each default does nothing (or gives the empty
// result), so the window runs without them; the program installs the real ones.
#pragma once

#include <string>
#include <vector>

#include "channels/channel_sources.h"

namespace qelvu {

class TMainView;

// A refresh of the channel list as the window asks for it.
struct TRefreshRequest {
  // The list's sources, in order.
  std::vector<TChannelSource> sources;
  // The sources to read again; the others keep the channels the tree shows (none read: the
  // list is joined again from what it shows, for a changed order or a source gone).
  std::vector<TChannelSource> read;
  // While a refresh runs: true runs this one after it, false drops it.
  bool wait_for_running = true;

  friend bool operator==(const TRefreshRequest&, const TRefreshRequest&) = default;
};

class TMainServices {
 public:
  virtual ~TMainServices() = default;

  // The running executable's full path.
  virtual std::string ExecutablePath();
  // The version text of a file: "major.minor.release.build", or "" without a version note.
  virtual std::string GetFileVersionString(const std::string& file_name);
  // Creates or replaces the desktop launcher called `name` that starts `target`.
  virtual void CreateShortcut(const std::string& target, const std::string& name,
                              bool in_own_folder);
  // Hands an address to the user's default browser; the result is not observed.
  virtual void OpenExternal(const std::string& url);
  // Scrapes the channel directory into the view's tree on the calling (window) thread.
  virtual void ScrapeChannelDirectory(TMainView& view);
  // Starts a background refresh of the channel list into the view's tree; returns at once.
  virtual void StartRefresh(TMainView& view, const TRefreshRequest& request);
  // True from the start of a refresh until its list is in the tree.
  virtual bool RefreshRunning() const;
  // The window is going: from now on no refresh may touch the view.
  virtual void StopRefresh();
};

}  // namespace qelvu
