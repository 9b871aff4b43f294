// URL texts split, composed again and merged into a base path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/net_exceptions.h"
#include "http/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qelvu::TUri uri(text);
  try {
    qelvu::TUri(uri.ComposeUri(qelvu::TUri::IncludeCredentials | qelvu::TUri::IncludeFragment))
        .ComposeUri(0);
    uri.Uri();
  } catch (const qelvu::ENetException&) {
  }
  qelvu::ResolvePath(uri.Directory, uri.Resource + uri.Query);
  qelvu::ResolvePath("/a/b/", text);
  return 0;
}
