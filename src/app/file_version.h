// The version text of a file, read from the version note the build writes into the program.
//
// The note lives in an ELF section named ".note.qelvu.version": one ELF note with owner
// "Qelvu", type 1 and an 8-byte descriptor of two 32-bit words in the file's byte order,
// (major << 16 | minor) then (release << 16 | build). `version_note.cc.in` is its source; CMake's
// `qelvu_version_note()` fills it in from a version number. Pure; any thread.
#pragma once

#include <string>

namespace qelvu {

// "major.minor.release.build" in unsigned decimal, or "" when the file cannot be read, is no
// ELF file, or carries no well-formed version note.
std::string GetFileVersionString(const std::string& file_name);

}  // namespace qelvu
