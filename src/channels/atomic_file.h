// Replacing a file's whole content so that readers only ever see the old or the new bytes.
//
// Used for the channel cache: a crash or a full disk in the middle of a save must not leave a
// truncated list behind. Any thread; two writers of the same path must not overlap.
#pragma once

#include <string>
#include <string_view>

namespace qelvu {

// Writes `bytes` to a temporary file in the folder of `path` (created when missing), flushes
// it to disk and renames it over `path`. Throws std::runtime_error naming the file and the
// reason on failure; the previous file is then untouched and no temporary file is left.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Removes the temporary files that saves of `path` killed before their rename left beside it
// (the file name, a dot and six letters or digits). Two writers of one path never overlap, so
// at start-up none of them is in use. Throws std::runtime_error when one cannot be removed.
void RemoveUnfinishedReplacements(const std::string& path);

}  // namespace qelvu
