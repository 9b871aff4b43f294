#include "http/header_list.h"

#include "http/text_util.h"

namespace qelvu {

std::vector<std::string> FoldLine(const std::string& line, int width) {
  if (static_cast<int>(line.size()) <= width) return {line};
  std::vector<std::string> pieces;
  std::string prefix;
  size_t start = 0;
  size_t candidate = std::string::npos;
  bool in_quotes = false;
  size_t i = 0;
  while (i < line.size()) {
    unsigned char c = static_cast<unsigned char>(line[i]);
    size_t step = (IsLeadByte(c) && i + 1 < line.size()) ? 2 : 1;
    if (c == '"') {
      in_quotes = !in_quotes;
    } else if (!in_quotes && (c == ' ' || c == '\t' || c == ',')) {
      candidate = i;
    }
    size_t column = prefix.size() + (i + step - start);
    if (static_cast<int>(column) > width && candidate != std::string::npos && candidate > start) {
      pieces.push_back(TrimRight(prefix + line.substr(start, candidate + 1 - start)));
      // Every blank the pieces are trimmed of, control characters included: a rest of blanks
      // alone would otherwise become an empty line, which ends a header block early.
      size_t next = candidate + 1;
      while (next < line.size() && static_cast<unsigned char>(line[next]) <= 0x20) ++next;
      // Scanning resumes behind the break, which always lies outside quotes.
      candidate = std::string::npos;
      in_quotes = false;
      if (next >= line.size()) return pieces;
      prefix = " ";
      start = next;
      i = next;
      continue;
    }
    i += step;
  }
  pieces.push_back(TrimRight(prefix + line.substr(start)));
  return pieces;
}

bool THeaderList::IsContinuation(int index) const {
  if (index < 0 || index >= Count()) return false;
  const std::string& line = lines_[index];
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

void THeaderList::DeleteContinuations(int index) {
  while (IsContinuation(index + 1)) lines_.erase(lines_.begin() + index + 1);
}

size_t THeaderList::NameEnd(const std::string& line) const {
  std::string separator = TrimRight(Separator);
  return line.find(separator.empty() ? Separator : separator);
}

std::string THeaderList::NameAt(int index) const {
  if (index < 0 || index >= Count()) return std::string();
  const std::string& line = lines_[index];
  size_t end = NameEnd(line);
  if (end == std::string::npos) return std::string();
  std::string name = line.substr(0, end);
  return CaseSensitiveNames ? name : UpperCase(name);
}

std::string THeaderList::ValueAt(int index) const {
  if (index < 0 || index >= Count()) return std::string();
  const std::string& line = lines_[index];
  size_t end = NameEnd(line);
  std::string value = end == std::string::npos ? std::string() : line.substr(end + 1);
  if (UnfoldOnGet) {
    for (int next = index + 1; IsContinuation(next); ++next) {
      value = Trim(value) + " " + Trim(lines_[next]);
    }
  }
  return Trim(value);
}

int THeaderList::IndexOfHeader(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(NameAt(i), name)) return i;
  }
  return -1;
}

std::string THeaderList::HeaderValue(const std::string& name) const {
  int index = IndexOfHeader(name);
  return index < 0 ? std::string() : ValueAt(index);
}

void THeaderList::ExtractValues(const std::string& name,
                                std::vector<std::string>& destination) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(NameAt(i), name)) destination.push_back(ValueAt(i));
  }
}

void THeaderList::SetHeaderValue(const std::string& name, const std::string& value) {
  int index = IndexOfHeader(name);
  // A header that is set has that one value, or none: a later line of the same name would give
  // a reader another one (a second Host, a Cookie the client meant to drop).
  for (int later = index + 1; index >= 0 && later < Count();) {
    if (!SameText(NameAt(later), name)) {
      ++later;
      continue;
    }
    if (FoldOnSet) DeleteContinuations(later);
    lines_.erase(lines_.begin() + later);
  }
  if (value.empty()) {
    if (index < 0) return;
    if (FoldOnSet) DeleteContinuations(index);
    lines_.erase(lines_.begin() + index);
    return;
  }
  if (index < 0) {
    lines_.emplace_back();
    index = Count() - 1;
  }
  std::string line = name + Separator + value;
  if (!FoldOnSet) {
    lines_[index] = line;
    return;
  }
  DeleteContinuations(index);
  std::vector<std::string> pieces = FoldLine(line, FoldWidth);
  lines_[index] = pieces[0];
  lines_.insert(lines_.begin() + index + 1, pieces.begin() + 1, pieces.end());
}

std::string THeaderList::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

void THeaderList::SetText(const std::string& text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines_.push_back(text.substr(start));
      break;
    }
    lines_.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

}  // namespace qelvu
