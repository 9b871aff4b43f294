#include "channels/watch_lists.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "channels/dropped_failure.h"
#include "channels/gbk.h"
#include "channels/playlist.h"

namespace qelvu {
namespace {

void AppendEscaped(std::string& out, std::string_view field) {
  for (const char c : field) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
}

std::optional<std::string> Unescaped(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      out += field[i];
      continue;
    }
    if (++i == field.size()) return std::nullopt;
    switch (field[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::optional<TListChannel> ParseLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (RepairUtf8(line) != line) return std::nullopt;
  std::vector<std::string> fields;
  while (fields.size() < 3) {
    const size_t tab = line.find('\t');
    std::optional<std::string> field = Unescaped(line.substr(0, tab));
    if (!field) return std::nullopt;
    fields.push_back(std::move(*field));
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  if (fields.size() < 3 || fields[0].empty()) return std::nullopt;
  if (!fields[2].empty() && !IsPlaylistOptions(fields[2])) return std::nullopt;
  return TListChannel{Utf8ToGbk(fields[0]), Utf8ToGbk(fields[1]), std::move(fields[2])};
}

std::string DataFileName(const char* name) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg != '\0')
    return ExpandEnvPath(std::string("%XDG_DATA_HOME%/qelvu/") + name);
  return ExpandEnvPath(std::string("%HOME%/.local/share/qelvu/") + name);
}

}  // namespace

bool IsSameChannel(const TListChannel& a, const TListChannel& b) {
  return a.name == b.name && a.target == b.target;
}

int TWatchList::IndexOf(const TListChannel& channel) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (IsSameChannel(items_[i], channel)) return static_cast<int>(i);
  }
  return -1;
}

bool TWatchList::Add(const TListChannel& channel) {
  if (Contains(channel) || (limit_ != 0 && items_.size() >= limit_)) return false;
  items_.push_back(channel);
  return true;
}

bool TWatchList::Remove(const TListChannel& channel) {
  const int found = IndexOf(channel);
  if (found < 0) return false;
  items_.erase(items_.begin() + found);
  return true;
}

bool TWatchList::PutFirst(const TListChannel& channel) {
  if (!items_.empty() && items_.front() == channel) return false;
  if (const int found = IndexOf(channel); found >= 0) items_.erase(items_.begin() + found);
  items_.insert(items_.begin(), channel);
  if (limit_ != 0 && items_.size() > limit_) items_.resize(limit_);
  return true;
}

std::string TWatchList::Compose() const {
  std::string text;
  for (const TListChannel& channel : items_) {
    AppendEscaped(text, GbkToUtf8(channel.name));
    text += '\t';
    AppendEscaped(text, GbkToUtf8(channel.target));
    text += '\t';
    AppendEscaped(text, channel.options);
    text += '\n';
  }
  return text;
}

TWatchList TWatchList::Parse(std::string_view text, size_t limit) {
  TWatchList list(limit);
  // Every line is written with its end, so text after the last one is a save cut short.
  for (size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
    if (std::optional<TListChannel> channel = ParseLine(text.substr(0, end))) list.Add(*channel);
  }
  return list;
}

TWatchList TWatchList::Load(const std::string& path, size_t limit) {
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return TWatchList(limit);
  try {
    return Parse(ReadFileBytes(path), limit);
  } catch (...) {
    // The lists are the user's convenience: without them the program starts all the same.
    LogDroppedFailure(lcList(), "Reading a watch list", std::current_exception());
    return TWatchList(limit);
  }
}

void TWatchList::Save(const std::string& path) const { WriteFileReplacing(path, Compose()); }

std::string GetFavouritesFileName() { return DataFileName("favourites.txt"); }

std::string GetRecentFileName() { return DataFileName("recent.txt"); }

}  // namespace qelvu
