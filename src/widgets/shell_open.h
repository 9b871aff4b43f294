// Opening a target with the user's default handler, as a click on a link does.
//
// `ShellOpen` takes a web address, a bare host name or a file path (UTF-8) and hands it to
// the desktop (QDesktopServices, which runs xdg-open). A target without a scheme that is not
// an existing file is opened as "http://" + target, so a bare host name opens the web site
// as it would on the system this program comes from. The call returns once the handler has
// been started; it reports whether that worked, not what the handler did.
//
// Tests and embedders may replace the desktop with `TShellOpenOverride`. Call from the
// user-interface thread.
#pragma once

#include <functional>
#include <string>

namespace qelvu {

using TShellOpenHook = std::function<bool(const std::string& target)>;

// Opens `target`; true when the default handler was started. A blank target opens nothing.
bool ShellOpen(const std::string& target);

// The address `ShellOpen` hands to the desktop for `target`: blanks around it removed, an
// existing file as a file:// URL, a target with a scheme unchanged, anything else prefixed
// with "http://". Empty for a blank target and for an absolute path to no file.
std::string ShellOpenAddress(const std::string& target);

// While alive, `ShellOpen` calls `hook` with the untouched target instead of the desktop.
// Overrides nest; each one restores the hook it replaced. Move-only.
class TShellOpenOverride {
 public:
  explicit TShellOpenOverride(TShellOpenHook hook);
  ~TShellOpenOverride();
  TShellOpenOverride(const TShellOpenOverride&) = delete;
  TShellOpenOverride& operator=(const TShellOpenOverride&) = delete;

 private:
  TShellOpenHook previous_;
};

}  // namespace qelvu
