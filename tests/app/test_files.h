// Small file and page helpers shared by the app tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/loopback_server.h"

namespace qelvu::test {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// One directory page answered on its own connection, which then closes.
inline TServerScript Answer(const std::string& body) {
  return TServerScript()
      .ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body)
      .Close();
}

}  // namespace qelvu::test
