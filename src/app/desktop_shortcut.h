// The desktop launcher that starts the program: a freedesktop `.desktop` file named by the
// product name, recreated at every start so it always points at the running executable.
//
// Pure file-system work with no Qt; window thread by convention (it runs once at start-up).
#pragma once

#include <string>

namespace qelvu {

// The user's desktop folder: $XDG_DESKTOP_DIR when set, else what `xdg-user-dir DESKTOP`
// prints, else ~/Desktop. Empty when none of them can be found.
std::string DesktopFolder();

// Creates or replaces "<name>.desktop" in the desktop folder (or, with `in_own_folder`, in the
// folder of `target`) with Exec = `target` and Path = the folder of `target`. A launcher that
// is read-only or cannot be removed is left as it is; a launcher that cannot be written is
// simply absent. Never throws and shows nothing.
void CreateShortcut(const std::string& target, const std::string& name, bool in_own_folder);

// The launcher file's text for `target` (the desktop entry's quoting rules applied).
std::string DesktopEntryText(const std::string& target, const std::string& name);

}  // namespace qelvu
