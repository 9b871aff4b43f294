// Real proxy servers from the system's packages, run as the test's own child processes on
// 127.0.0.1 (never as system services), so that the client meets a proxy it was not written
// against.
//
// `TProxyProcess` starts one program in the foreground with its output in a log file, waits
// until its port accepts connections and ends it (and waits for it) when destroyed. A program
// that is missing, exits or never listens leaves the reason in Failure(): a test asserts that
// it is empty.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qelvu::test {

class TProxyProcess {
 public:
  // Runs `program` with `arguments`; it is to listen on 127.0.0.1:`port`.
  TProxyProcess(const std::string& program, const std::vector<std::string>& arguments,
                uint16_t port, const std::filesystem::path& log);
  ~TProxyProcess();
  TProxyProcess(const TProxyProcess&) = delete;
  TProxyProcess& operator=(const TProxyProcess&) = delete;

  // tinyproxy with a configuration written into `folder`; `extra` is appended to it (such as
  // "BasicAuth user password\n").
  static std::unique_ptr<TProxyProcess> Tinyproxy(const std::filesystem::path& folder,
                                                  const std::string& extra);
  // microsocks, a SOCKS5 server; empty `user` accepts anyone.
  static std::unique_ptr<TProxyProcess> Microsocks(const std::filesystem::path& folder,
                                                   const std::string& user,
                                                   const std::string& password);

  // danted (Dante), a SOCKS4 and SOCKS5 server, without authentication.
  static std::unique_ptr<TProxyProcess> Danted(const std::filesystem::path& folder);

  // A loopback port nothing listened on a moment ago (another process may still take it).
  static uint16_t FreePort();

  uint16_t Port() const { return port_; }
  // Empty while the program runs and listens; otherwise why not, with the log's text.
  const std::string& Failure() const { return failure_; }
  // What the program wrote so far.
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::filesystem::path log_;
  std::string failure_;
};

}  // namespace qelvu::test
