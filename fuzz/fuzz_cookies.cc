// Set-cookie values from a host, then the Cookie header for a URL of that host.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/cookies.h"
#include "http/net_exceptions.h"
#include "http/uri.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Lines: the first is the host, the next ones are Set-cookie values, the last a URL.
  std::string host = "www.example.com";
  std::string url = "http://www.example.com/a/b";
  qelvu::TCookieManager manager;
  size_t start = 0;
  int line = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string piece = text.substr(start, end - start);
    if (line == 0 && !piece.empty()) {
      host = piece;
    } else if (line > 0) {
      try {
        manager.AcceptCookie(piece, host, (line & 1) == 0);
      } catch (const qelvu::ENetException&) {
        // A port list that is not numbers fails its request (EConvertError).
      }
      url = piece;
    }
    ++line;
    start = end + 1;
  }
  qelvu::TNetscapeCookie cookie;
  cookie.ParseCookie(text);
  cookie.MatchesHost(host);
  cookie.ServerForm();
  qelvu::TCookieRFC2965 cookie2;
  try {
    cookie2.ParseCookie(text);
  } catch (const qelvu::ENetException&) {
  }
  cookie2.ServerForm();
  manager.CookieHeaderFor(qelvu::TUri(url), true);
  manager.CookieHeaderFor(qelvu::TUri("http://" + host + "/"), false);
  manager.CookieCollection.PurgeExpired();
  return 0;
}
