#include "channels/atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace qelvu {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw std::runtime_error(std::string(what) + " \"" + path + "\". " + std::strerror(error));
}

// Owns the temporary file until it has been renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string name_template) : name_(std::move(name_template)) {
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    if (fd_ < 0) Fail("Cannot create file", name_, errno);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write file", name_, errno);
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
  }

  // The data must be on disk before the rename makes it the file, or a crash could still
  // leave an empty file under the final name.
  void CommitAs(const std::string& path) {
    if (::fsync(fd_) != 0) Fail("Cannot write file", name_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("Cannot write file", name_, errno);
    if (::rename(name_.c_str(), path.c_str()) != 0) Fail("Cannot replace file", path, errno);
    committed_ = true;
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool committed_ = false;
};

// The suffix mkostemp puts in place of the template's six X.
constexpr size_t kTempSuffixLength = 6;

bool IsTempSuffixChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  namespace fs = std::filesystem;
  if (path.empty()) Fail("Cannot create file", path, ENOENT);
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) Fail("Cannot create folder", folder.string(), error.value());
  }
  // Same folder, so the rename never crosses file systems.
  TempFile temp(path + "." + std::string(kTempSuffixLength, 'X'));
  temp.Write(bytes);
  temp.CommitAs(path);
}

void RemoveUnfinishedReplacements(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const std::string prefix = target.filename().string() + ".";
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error == std::errc::no_such_file_or_directory) return;
  if (error) Fail("Cannot read folder", folder.string(), error.value());
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + kTempSuffixLength || !name.starts_with(prefix)) continue;
    const std::string_view suffix = std::string_view(name).substr(prefix.size());
    if (!std::all_of(suffix.begin(), suffix.end(), IsTempSuffixChar)) continue;
    if (!entry.is_regular_file(error)) continue;
    fs::remove(entry.path(), error);
    if (error) Fail("Cannot remove file", entry.path().string(), error.value());
  }
}

}  // namespace qelvu
