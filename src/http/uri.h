// One URL split into its parts, and the path merge the client uses between requests.
//
// `TUri` never rejects a text: odd input gives odd parts. No percent-encoding is applied
// anywhere; the bytes of path and query are kept as they stand. Plain value type.
#pragma once

#include <string>

namespace qelvu {

class TUri {
 public:
  // Option bits of ComposeUri.
  static constexpr int IncludeCredentials = 1;
  static constexpr int IncludeFragment = 2;

  TUri() = default;
  explicit TUri(const std::string& text);

  void ParseUri(const std::string& text);
  // Raises EURIException when `Scheme` or `Host` is empty.
  std::string ComposeUri(int options) const;
  // Stores the composition with both options as `SourceText` and returns the one with neither.
  std::string Uri();

  std::string Scheme;
  std::string UserName;
  std::string Password;
  std::string Host;
  std::string Port;
  std::string Directory;
  std::string Resource;
  std::string Query;
  std::string Fragment;
  std::string SourceText;
};

// Merges `path` into the directory `base`: an absolute path wins, ".." segments climb, runs of
// the delimiter collapse, "." segments stay.
std::string ResolvePath(const std::string& base, const std::string& path, char delimiter = '/');

}  // namespace qelvu
