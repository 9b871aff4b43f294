#include "channels/playlist.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "channels/key_value_pairs.h"
#include "channels/utf8.h"

namespace qelvu {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kFullwidthBar = "\xEF\xBD\x9C";

// What a byte is to the readers of lines: looked up, as every byte of a playlist is.
enum TByteClass : uint8_t { kBlank = 1, kComma = 2, kEquals = 4, kLabelBreak = 8 };
constexpr std::array<uint8_t, 256> kByteClasses = [] {
  std::array<uint8_t, 256> classes{};
  for (const char c : {' ', '\t', '\v', '\f'}) classes[static_cast<uint8_t>(c)] |= kBlank;
  classes[','] |= kComma;
  classes['='] |= kEquals;
  // What CleanLabel changes: control characters, '|', and the lead bytes of NEL and of the line
  // and paragraph separators.
  for (int c = 0; c < 0x20; ++c) classes[c] |= kLabelBreak;
  for (const int c : {int{'|'}, 0xC2, 0xE2}) classes[c] |= kLabelBreak;
  return classes;
}();

bool Is(char c, uint8_t classes) { return (kByteClasses[static_cast<uint8_t>(c)] & classes) != 0; }

bool IsBlank(char c) { return Is(c, kBlank); }

// The first place at or after `i` whose byte is of `classes`, or the text's size.
size_t FindClass(std::string_view text, size_t i, uint8_t classes) {
  while (i < text.size() && !Is(text[i], classes)) ++i;
  return i;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// A name or category as the list holds it. The list's text forms separate fields with `|` (the
// cache file) or tabs and entries with line breaks, so a label may hold none of them.
// The text itself when it is clean already, as nearly every label is; else `buffer` holding
// the cleaned text.
std::string_view CleanLabel(std::string_view text, std::string& buffer) {
  if (FindClass(text, 0, kLabelBreak) == text.size()) return text;
  buffer.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '|') {
      buffer += kFullwidthBar;
    } else if (c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      buffer += ' ';
    } else if (text.substr(i, 2) == "\xC2\x85") {  // NEL
      buffer += ' ';
      ++i;
    } else if (text.substr(i, 3) == "\xE2\x80\xA8" || text.substr(i, 3) == "\xE2\x80\xA9") {
      buffer += ' ';  // line and paragraph separators
      i += 2;
    } else {
      buffer += c;
    }
  }
  return buffer;
}

// The parts of a URI reference as RFC 3986 appendix B splits them; an absent part is nullopt,
// an empty one the empty text.
struct TReferenceParts {
  std::optional<std::string_view> scheme;
  std::optional<std::string_view> authority;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;
};

bool IsSchemeText(std::string_view text) {
  if (text.empty()) return false;
  const auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!alpha(text[0])) return false;
  for (char c : text) {
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// The first '/', '?' or '#' at or after `from` (with `colon`, also ':'), or the text's size. A
// plain loop: find_first_of searches its set once per byte, a third of a whole parse.
size_t FindDelimiter(std::string_view text, bool colon, size_t from = 0) {
  for (size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '/' || c == '?' || c == '#' || (colon && c == ':')) return i;
  }
  return text.size();
}

TReferenceParts SplitReference(std::string_view text) {
  TReferenceParts parts;
  // A colon before any '/', '?' or '#' ends a scheme, provided the text before it is one (a
  // placeholder such as "[Off air]: soon" is a relative path).
  const size_t colon = FindDelimiter(text, true);
  if (colon < text.size() && text[colon] == ':' && IsSchemeText(text.substr(0, colon))) {
    parts.scheme = text.substr(0, colon);
    text.remove_prefix(colon + 1);
  }
  if (text.substr(0, 2) == "//") {
    text.remove_prefix(2);
    const size_t end = FindDelimiter(text, false);
    parts.authority = text.substr(0, end);
    text.remove_prefix(end);
  }
  const size_t hash = text.find('#');
  if (hash != std::string_view::npos) {
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  const size_t question = text.find('?');
  if (question != std::string_view::npos) {
    parts.query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  parts.path = text;
  return parts;
}

// True when a segment of `path` is "." or "..", the ones RemoveDotSegments acts on.
bool HasDotSegment(std::string_view path) {
  // From dot to dot: an address has fewer dots than slashes.
  for (size_t dot = path.find('.'); dot != std::string_view::npos; dot = path.find('.', dot + 1)) {
    if (dot > 0 && path[dot - 1] != '/') continue;
    const size_t end = std::min(path.find('/', dot), path.size());
    const std::string_view segment = path.substr(dot, end - dot);
    if (segment == "." || segment == "..") return true;
  }
  return false;
}

// RFC 3986 section 5.2.4, appending to `output`: what is there already is never removed.
void RemoveDotSegments(std::string_view input, std::string& output) {
  if (!HasDotSegment(input)) {
    output.append(input);
    return;
  }
  const size_t floor = output.size();
  const auto drop_last_segment = [&output, floor] {
    const size_t slash = output.rfind('/');
    output.erase(slash == std::string::npos || slash < floor ? floor : slash);
  };
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../") {
      input.remove_prefix(3);
      drop_last_segment();
    } else if (input == "/..") {
      input = "/";
      drop_last_segment();
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const size_t end = std::min(input.find('/', 1), input.size());
      output.append(input.substr(0, end));
      input.remove_prefix(end);
    }
  }
}

// Resolves references against one base, split once: a playlist resolves all its entries
// against the same address.
class TReferenceResolver {
 public:
  // `base` must outlive the resolver.
  explicit TReferenceResolver(std::string_view base)
      : base_(SplitReference(base)), base_size_(base.size()) {}

  std::string Resolve(std::string_view reference);

 private:
  const TReferenceParts base_;
  const size_t base_size_;
  // RFC 3986 section 5.2.3's merged path, kept to spare an allocation per reference.
  std::string merged_;
};

std::string TReferenceResolver::Resolve(std::string_view reference) {
  const TReferenceParts r = SplitReference(reference);
  // Most entries are absolute URLs, and one without dot segments is its own target: the parts
  // put back together are the text as written.
  if (r.scheme && !HasDotSegment(r.path)) return std::string(reference);

  const TReferenceParts& b = base_;
  std::string result;
  result.reserve(base_size_ + reference.size());
  const auto append_start = [&result](const TReferenceParts& parts) {
    if (parts.scheme) result.append(*parts.scheme).append(":");
    if (parts.authority) result.append("//").append(*parts.authority);
  };
  std::optional<std::string_view> query = r.query;
  if (r.scheme || r.authority) {
    TReferenceParts start = r;
    if (!r.scheme) start.scheme = b.scheme;
    append_start(start);
    RemoveDotSegments(r.path, result);
  } else {
    append_start(b);
    if (r.path.empty()) {
      result.append(b.path);
      if (!r.query) query = b.query;
    } else if (r.path.front() == '/') {
      RemoveDotSegments(r.path, result);
    } else {
      // RFC 3986 section 5.2.3.
      const size_t slash = b.path.rfind('/');
      if (b.authority && b.path.empty()) {
        merged_.assign("/");
      } else {
        merged_.assign(slash == std::string_view::npos ? std::string_view()
                                                       : b.path.substr(0, slash + 1));
      }
      merged_.append(r.path);
      RemoveDotSegments(merged_, result);
    }
  }
  if (query) result.append("?").append(*query);
  if (r.fragment) result.append("#").append(*r.fragment);
  return result;
}

struct TTransparentHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// One entry's parts as its lines give them, until its URL line.
struct TPendingEntry {
  std::string_view title;
  std::string_view tvg_name;
  std::string_view group_title;
  std::string_view group;
  TRequestOptions options;
};

// Reads the attributes and the title of an `#EXTINF:` line (the text after the colon).
void ReadEntryInfo(std::string_view info, TPendingEntry& entry) {
  entry.title = {};
  entry.tvg_name = {};
  entry.group_title = {};
  size_t i = 0;
  const size_t n = info.size();
  // The duration: everything up to the first blank or comma.
  i = FindClass(info, i, kComma | kBlank);
  while (i < n && info[i] != ',') {
    if (IsBlank(info[i])) {
      ++i;
      continue;
    }
    const size_t key_start = i;
    i = FindClass(info, i, kEquals | kComma | kBlank);
    const std::string_view key = info.substr(key_start, i - key_start);
    if (i >= n || info[i] != '=') continue;  // a bare word: no value to read
    ++i;
    std::string_view value;
    if (i < n && info[i] == '"') {
      const size_t value_start = ++i;
      const size_t close = info.find('"', value_start);
      // An unclosed quote runs to the end of the line, commas and all.
      i = close == std::string_view::npos ? n : close;
      value = info.substr(value_start, i - value_start);
      if (i < n) ++i;
    } else {
      const size_t value_start = i;
      i = FindClass(info, i, kComma | kBlank);
      value = info.substr(value_start, i - value_start);
    }
    if (key == "tvg-name") {
      entry.tvg_name = value;
    } else if (key == "group-title") {
      entry.group_title = value;
    }
  }
  if (i < n) entry.title = Trim(info.substr(i + 1));
}

// Reads the `Name=Value&Name=Value` options after a URL's `|` into `options`.
void ReadUrlOptions(std::string_view text, TRequestOptions& options) {
  ForEachKeyValuePair(text, [&options](std::string_view name, std::string_view value) {
    name = Trim(name);
    value = Trim(value);
    // Header names, so any letter case.
    if (SameAsciiText(name, "User-Agent")) {
      options.user_agent = value;
    } else if (SameAsciiText(name, "Referer")) {
      options.referer = value;
    }
  });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Hands each entry to the sink as its URL line ends it.
class TEntryReader {
 public:
  TEntryReader(std::string_view base_url, TPlaylistSink& sink) : resolver_(base_url), sink_(sink) {}

  void AddEntry(const TPendingEntry& entry, std::string_view url_line) {
    std::string_view location = url_line;
    TRequestOptions options = entry.options;
    if (const size_t bar = url_line.find('|'); bar != std::string_view::npos) {
      location = Trim(url_line.substr(0, bar));
      ReadUrlOptions(url_line.substr(bar + 1), options);
    }
    for (std::string* text : {&options.user_agent, &options.referer}) {
      if (ValidUtf8Prefix(*text) < text->size()) *text = RepairUtf8(*text);
    }
    std::string url = resolver_.Resolve(Valid(location));
    std::string_view category = entry.group_title;
    if (Trim(category).empty()) category = entry.group;
    if (category.empty()) category = kUncategorized;
    const size_t number = CategoryNumber(CleanLabel(Valid(category), label_));

    std::string_view name = entry.title;
    if (name.empty()) name = Trim(entry.tvg_name);
    if (name.empty()) {
      // The sink may take the URL away before it is done with the name.
      url_name_ = url;
      name = CleanLabel(url_name_, label_);
    } else {
      name = CleanLabel(Valid(name), label_);
    }
    sink_.AddChannel(number, name, std::move(url), options);
  }

 private:
  size_t CategoryNumber(std::string_view name) {
    const auto found = numbers_.find(name);
    if (found != numbers_.end()) return found->second;
    const size_t number = numbers_.size();
    numbers_.emplace(name, number);
    sink_.AddCategory(name);
    return number;
  }

  TReferenceResolver resolver_;
  TPlaylistSink& sink_;
  // `text`, or its repair in repaired_ when it is not UTF-8.
  std::string_view Valid(std::string_view text) {
    if (ValidUtf8Prefix(text) == text.size()) return text;
    repaired_ = RepairUtf8(text);
    return repaired_;
  }

  std::unordered_map<std::string, size_t, TTransparentHash, std::equal_to<>> numbers_;
  // Kept to spare an allocation per entry: a text repaired, a label cleaned, a URL as a name.
  std::string repaired_;
  std::string label_;
  std::string url_name_;
};

// The categories with their entries, as ParsePlaylist gives them.
class TEntryList final : public TPlaylistSink {
 public:
  void AddCategory(std::string_view name) override {
    categories_.push_back({std::string(name), {}});
  }
  void AddChannel(size_t category, std::string_view name, std::string url,
                  const TRequestOptions& options) override {
    TPlaylistCategory& target = categories_[category];
    target.channels.push_back({std::string(name), target.name, std::move(url), options});
  }
  std::vector<TPlaylistCategory> Take() { return std::move(categories_); }

 private:
  std::vector<TPlaylistCategory> categories_;
};

}  // namespace

std::string RepairUtf8(std::string_view bytes) {
  const size_t valid = ValidUtf8Prefix(bytes);
  if (valid == bytes.size()) return std::string(bytes);
  std::string result;
  result.reserve(bytes.size() + 16);
  size_t copied = 0;  // bytes before this are in `result` already
  for (size_t i = valid; i < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t invalid = 0;
    const size_t length = Utf8SequenceAt(bytes, i, &invalid);
    if (length > 0) {
      i += length;
      continue;
    }
    result.append(bytes.substr(copied, i - copied)).append(kReplacement);
    i += invalid;
    copied = i;
  }
  result.append(bytes.substr(copied));
  return result;
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
  return TReferenceResolver(base).Resolve(reference);
}

std::string FileUrl(std::string_view path) {
  const std::string absolute = std::filesystem::absolute(std::filesystem::path(path)).string();
  std::string url = "file://";
  url.reserve(url.size() + absolute.size());
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : absolute) {
    const auto byte = static_cast<uint8_t>(c);
    if (c == '%' || c == '?' || c == '#' || byte < 0x20 || byte == 0x7F) {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    } else {
      url += c;
    }
  }
  return url;
}

std::vector<TPlaylistCategory> ParsePlaylist(std::string_view bytes, std::string_view base_url) {
  TEntryList list;
  ReadPlaylist(bytes, base_url, list);
  return list.Take();
}

void ReadPlaylist(std::string_view bytes, std::string_view base_url, TPlaylistSink& sink) {
  if (StartsWith(bytes, kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  // Bytes that are not UTF-8 are repaired only in what is kept (TEntryReader): a run of them
  // is never part of what the lines are cut by, so repairing first would read the same.
  const std::string_view all = bytes;
  TEntryReader reader(base_url, sink);
  TPendingEntry entry;
  // Two searches for one byte each (memchr) beat one for either. The next of each is kept
  // across lines, so a text without CR, or without LF, is searched for it once.
  const auto next = [all](char c, size_t from) { return std::min(all.find(c, from), all.size()); };
  size_t next_lf = next('\n', 0);
  size_t next_cr = next('\r', 0);
  for (size_t start = 0; start < all.size();) {
    if (next_lf < start) next_lf = next('\n', start);
    if (next_cr < start) next_cr = next('\r', start);
    const size_t end = std::min(next_lf, next_cr);
    const std::string_view line = Trim(all.substr(start, end - start));
    start = end + (all.substr(end, 2) == "\r\n" ? 2 : 1);
    if (line.empty()) continue;
    if (line.front() != '#') {
      reader.AddEntry(entry, line);
      entry = TPendingEntry();
    } else if (StartsWith(line, "#EXTINF:")) {
      ReadEntryInfo(line.substr(8), entry);
    } else if (StartsWith(line, "#EXTGRP:")) {
      entry.group = Trim(line.substr(8));
    } else if (StartsWith(line, "#EXTVLCOPT:")) {
      const std::string_view option = Trim(line.substr(11));
      if (StartsWith(option, "http-user-agent=")) {
        entry.options.user_agent = Trim(option.substr(16));
      } else if (StartsWith(option, "http-referrer=")) {
        entry.options.referer = Trim(option.substr(14));
      }
    }
  }
}

}  // namespace qelvu
