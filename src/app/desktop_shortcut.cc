#include "app/desktop_shortcut.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace qelvu {
namespace {

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The folder part of a path, with its trailing slash (as the working directory of a link).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string AskXdgUserDir() {
  struct PipeCloser {
    void operator()(FILE* pipe) const { ::pclose(pipe); }
  };
  const std::unique_ptr<FILE, PipeCloser> pipe(::popen("xdg-user-dir DESKTOP 2>/dev/null", "re"));
  if (!pipe) return {};
  std::string output;
  char buffer[512];
  while (const size_t got = ::fread(buffer, 1, sizeof buffer, pipe.get()))
    output.append(buffer, got);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

// A value of a desktop entry key: backslash and line breaks escaped.
std::string EscapeValue(const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// One Exec argument: always quoted, with the characters that are special inside quotes
// escaped, and '%' doubled so it is not taken for a field code.
std::string QuoteExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::string DesktopFolder() {
  if (std::string folder = Getenv("XDG_DESKTOP_DIR"); !folder.empty()) return folder;
  if (std::string folder = AskXdgUserDir(); IsDirectory(folder)) return folder;
  const std::string home = Getenv("HOME");
  return home.empty() ? std::string() : home + "/Desktop";
}

std::string DesktopEntryText(const std::string& target, const std::string& name) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         EscapeValue(name) +
         "\n"
         "Exec=" +
         EscapeValue(QuoteExecArgument(target)) +
         "\n"
         "Path=" +
         EscapeValue(FolderOf(target)) +
         "\n"
         "Terminal=false\n";
}

void CreateShortcut(const std::string& target, const std::string& name, bool in_own_folder) {
  std::string folder = in_own_folder ? FolderOf(target) : DesktopFolder();
  if (folder.empty()) return;
  if (folder.back() != '/') folder += '/';
  const std::string path = folder + name + ".desktop";

  // Unlinking ignores the file's own mode (and root ignores it when writing), so a read-only
  // launcher the user protected is recognised by its mode bits and kept.
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0) {
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return;
    if (::unlink(path.c_str()) != 0) return;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
  if (fd < 0) return;
  const bool written = WriteAll(fd, DesktopEntryText(target, name));
  ::close(fd);
  if (!written) ::unlink(path.c_str());
}

}  // namespace qelvu
