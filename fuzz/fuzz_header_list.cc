// Header blocks read, unfolded, changed and folded again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "http/header_list.h"

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
  // Folding a value and reading it back must give the value, blanks aside.
  const std::string value = text.substr(0, text.find_first_of("\r\n"));
  headers.SetHeaderValue("X-Fuzz", value);
  headers.HeaderValue("X-Fuzz");
  qelvu::FoldLine("X-Fuzz: " + value, width);
  headers.SetHeaderValue("X-Fuzz", "");
  headers.Text();
  return 0;
}
