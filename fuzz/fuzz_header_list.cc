// Header blocks read, unfolded, changed and folded again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "http/header_list.h"

namespace {

// Blanks as the header code trims them: every control character and the space.
std::string WithoutBlanks(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 0x20) kept += c;
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int width = data[0] % 100;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  qelvu::THeaderList headers;
  headers.FoldWidth = width;
  headers.SetText(text);
  std::vector<std::string> values;
  for (int i = 0; i < headers.Count(); ++i) {
    const std::string name = headers.NameAt(i);
    headers.ValueAt(i);
    headers.IndexOfHeader(name);
    headers.ExtractValues(name, values);
  }
  // Folding a value and reading it back must give the value, blanks aside: a fold breaks at a
  // blank or after a comma, and unfolding joins the pieces with one space.
  const std::string value = text.substr(0, text.find_first_of("\r\n"));
  headers.SetHeaderValue("X-Fuzz", value);
  if (WithoutBlanks(headers.HeaderValue("X-Fuzz")) != WithoutBlanks(value)) __builtin_trap();
  // Every piece but the first continues the line, so a reader sees one header.
  const std::vector<std::string> pieces = qelvu::FoldLine("X-Fuzz: " + value, width);
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (pieces[i].empty() || (pieces[i][0] != ' ' && pieces[i][0] != '\t')) __builtin_trap();
  }
  headers.SetHeaderValue("X-Fuzz", "");
  headers.Text();
  return 0;
}
