// The program's command line: `qelvu [FILE_OR_URL...]`, `--help`, `--version`.
//
// Parsed before the application object exists, so that --help and --version work without a
// display. Pure; any thread.
#pragma once

#include <string>
#include <vector>

namespace qelvu {

struct TCommandLine {
  enum class TAction { Run, PrintAndExit, FailAndExit };

  TAction action = TAction::Run;
  // The playlists to add to the sources, as given.
  std::vector<std::string> playlists;
  // What to print for PrintAndExit (to standard output) or FailAndExit (to standard error).
  std::string text;
};

// `arguments` as main receives them, the program's name first.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace qelvu
