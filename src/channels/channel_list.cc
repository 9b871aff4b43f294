#include "channels/channel_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qelvu {
namespace {

std::string_view UpToNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// Closes a descriptor on every path out of the reader.
struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};

}  // namespace

std::string GetField(std::string_view text, std::string_view separator, int index) {
  text = UpToNul(text);
  separator = UpToNul(separator);
  // An empty separator or an index below 1 would never reach its field.
  if (separator.empty() || index < 1) return {};
  size_t scan = 0;
  for (int counter = 1;; ++counter) {
    const size_t found = text.find(separator, scan);
    const size_t end = found == std::string_view::npos ? text.size() : found;
    if (counter == index) return std::string(text.substr(scan, end - scan));
    if (found == std::string_view::npos) return {};
    scan = found + separator.size();
  }
}

std::string ExpandEnvPath(std::string_view path_template) {
  std::string result;
  size_t pos = 0;
  while (pos < path_template.size()) {
    const size_t open = path_template.find('%', pos);
    if (open == std::string_view::npos) break;
    const size_t close = path_template.find('%', open + 1);
    if (close == std::string_view::npos) break;
    result.append(path_template.substr(pos, open - pos));
    const std::string name(path_template.substr(open + 1, close - open - 1));
    if (name.empty()) {
      result.append("%%");
    } else {
      const char* value = std::getenv(name.c_str());
      if (value == nullptr) return {};
      result.append(value);
    }
    pos = close + 1;
  }
  result.append(path_template.substr(pos));
  return result;
}

std::string GetCacheFileName() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && *xdg != '\0') return ExpandEnvPath("%XDG_CACHE_HOME%/qelvu/QoviList.dat");
  return ExpandEnvPath("%HOME%/.cache/qelvu/QoviList.dat");
}

std::vector<std::string_view> SplitCacheLines(std::string_view text) {
  text = UpToNul(text);
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string JoinCacheLines(const std::vector<std::string_view>& lines) {
  size_t size = 0;
  for (std::string_view line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (std::string_view line : lines) {
    text.append(line);
    text.append("\r\n");
  }
  return text;
}

std::string ComposeCacheLine(std::string_view category, std::string_view name,
                             std::string_view suffix, std::string_view options) {
  std::string line;
  line.reserve(category.size() + name.size() + suffix.size() + options.size() + 4);
  line.append(category).append("|").append(name).append("|").append(suffix).append("|");
  if (!options.empty()) line.append(options).append("|");
  return line;
}

std::string ReadFileBytes(const std::string& path) {
  const auto fail = [&path](const char* what) {
    return std::runtime_error(std::string(what) + " \"" + path + "\". " + std::strerror(errno));
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw fail("Cannot open file");
  const FileCloser closer{fd};
  std::string bytes;
  // One allocation for the whole file: growing a string of many megabytes step by step costs
  // more than reading it.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    bytes.reserve(static_cast<size_t>(info.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw fail("Cannot read file");
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

}  // namespace qelvu
