// The ordered list of header lines ("Name: value") shared by requests, responses, cookies and
// authentication. A long value may be folded into continuation lines that begin with a blank;
// reading a value joins them back. Plain value type, one thread at a time.
#pragma once

#include <string>
#include <vector>

namespace qelvu {

class THeaderList {
 public:
  std::string Separator = ": ";
  bool CaseSensitiveNames = false;
  bool UnfoldOnGet = true;
  bool FoldOnSet = true;
  int FoldWidth = 78;

  // The value of the first header of that name (any letter case); empty when absent.
  std::string HeaderValue(const std::string& name) const;
  // Replaces (keeping its place) or appends the header; an empty value removes it. Either way
  // no other line of that name stays.
  void SetHeaderValue(const std::string& name, const std::string& value);
  // Appends the value of every header of that name, in list order.
  void ExtractValues(const std::string& name, std::vector<std::string>& destination) const;
  // Index of the first line with that name ignoring case; -1 when none.
  int IndexOfHeader(const std::string& name) const;
  // The line's name (upper-cased unless CaseSensitiveNames); empty when it has no ":".
  std::string NameAt(int index) const;
  // The line's value with its continuation lines joined by single blanks; empty off the list.
  std::string ValueAt(int index) const;

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Line(int index) const { return lines_[index]; }
  void Add(const std::string& line) { lines_.push_back(line); }
  void Clear() { lines_.clear(); }
  // Every line followed by CR LF.
  std::string Text() const;
  // Rebuilds the list from a text whose lines end in CR, LF or CR LF.
  void SetText(const std::string& text);

 private:
  // Where the name ends: at the separator without its trailing blanks.
  size_t NameEnd(const std::string& line) const;
  bool IsContinuation(int index) const;
  void DeleteContinuations(int index);

  std::vector<std::string> lines_;
};

// Splits a header line into pieces of about `width` columns at blanks or commas outside double
// quotes; every piece after the first begins with one blank.
std::vector<std::string> FoldLine(const std::string& line, int width);

}  // namespace qelvu
