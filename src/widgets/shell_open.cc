#include "widgets/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <cctype>
#include <utility>

namespace qelvu {
namespace {

TShellOpenHook& Hook() {
  static TShellOpenHook hook;
  return hook;
}

std::string TrimBlanks(const std::string& text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// "name:" where name is a URI scheme. "host:8080/..." is a host with a port, not a scheme,
// so a bare "localhost:8080" still opens as a web address.
bool HasScheme(const std::string& target) {
  const std::size_t colon = target.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(target[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  std::size_t end = colon + 1;
  while (end < target.size() && std::isdigit(static_cast<unsigned char>(target[end]))) ++end;
  const bool port = end > colon + 1 && (end == target.size() || target[end] == '/');
  return !port;
}

}  // namespace

std::string ShellOpenAddress(const std::string& target) {
  const std::string trimmed = TrimBlanks(target);
  if (trimmed.empty()) return {};
  const QString path = QString::fromStdString(trimmed);
  if (QFileInfo::exists(path)) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString().toStdString();
  }
  // An absolute path names a file, never a host; a missing one opens nothing.
  if (trimmed[0] == '/') return {};
  if (HasScheme(trimmed)) return trimmed;
  return "http://" + trimmed;
}

bool ShellOpen(const std::string& target) {
  if (Hook()) return Hook()(target);
  const std::string address = ShellOpenAddress(target);
  if (address.empty()) return false;
  const QUrl url(QString::fromStdString(address));
  return url.isValid() && QDesktopServices::openUrl(url);
}

TShellOpenOverride::TShellOpenOverride(TShellOpenHook hook)
    : previous_(std::exchange(Hook(), std::move(hook))) {}

TShellOpenOverride::~TShellOpenOverride() { Hook() = std::move(previous_); }

}  // namespace qelvu
