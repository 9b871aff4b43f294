// The services the main window's logic calls beyond its view: the program's own file, the
// desktop shell, and the channel directory. Each default does nothing (or gives the empty
// result), so the window runs without them; the program installs the real ones.
#pragma once

#include <string>

namespace qelvu {

class TMainView;

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
  // Starts the one background refresh of the channel list; returns at once.
  virtual void StartRefresh(TMainView& view);
  // The window is going: from now on no refresh may touch the view.
  virtual void StopRefresh();
};

}  // namespace qelvu
