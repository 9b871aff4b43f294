#include "support/proxy_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qelvu::test {
namespace {

bool Accepts(uint16_t port) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(s);
  return connected;
}

}  // namespace

TProxyProcess::TProxyProcess(const std::string& program, const std::vector<std::string>& arguments,
                             uint16_t port, const std::filesystem::path& log)
    : port_(port), log_(log) {
  if (::access(program.c_str(), X_OK) != 0) {
    failure_ =
        program + " is missing: scripts/install-deps installs the proxy servers the tests run";
    return;
  }
  // Everything the child needs is made before the fork: a threaded parent's child may only
  // call what is safe between fork and exec.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (output < 0 || input < 0) throw std::runtime_error("cannot open the proxy's log");
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(input, STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(output);
  ::close(input);
  if (pid_ < 0) throw std::runtime_error("cannot fork for " + program);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Accepts(port_)) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      failure_ = program + " exited (status " + std::to_string(status) + "):\n" + Log();
      return;
    }
    if (std::chrono::steady_clock::now() > give_up) {
      failure_ = program + " does not listen on port " + std::to_string(port_) + ":\n" + Log();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TProxyProcess::~TProxyProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::unique_ptr<TProxyProcess> TProxyProcess::Tinyproxy(const std::filesystem::path& folder,
                                                        const std::string& extra) {
  const uint16_t port = FreePort();
  const std::filesystem::path config = folder / "tinyproxy.conf";
  // No ConnectPort line: CONNECT may reach any port, as the test servers' are ephemeral.
  std::ofstream(config) << "Port " << port << "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                        << "Timeout 30\nMaxClients 16\nLogLevel Info\n"
                        << extra;
  return std::make_unique<TProxyProcess>("/usr/bin/tinyproxy",
                                         std::vector<std::string>{"-d", "-c", config.string()},
                                         port, folder / "tinyproxy.log");
}

std::unique_ptr<TProxyProcess> TProxyProcess::Microsocks(const std::filesystem::path& folder,
                                                         const std::string& user,
                                                         const std::string& password) {
  const uint16_t port = FreePort();
  std::vector<std::string> arguments{"-i", "127.0.0.1", "-p", std::to_string(port)};
  if (!user.empty()) arguments.insert(arguments.end(), {"-u", user, "-P", password});
  return std::make_unique<TProxyProcess>("/usr/bin/microsocks", arguments, port,
                                         folder / "microsocks.log");
}

std::unique_ptr<TProxyProcess> TProxyProcess::Danted(const std::filesystem::path& folder) {
  const uint16_t port = FreePort();
  const std::filesystem::path config = folder / "danted.conf";
  std::ofstream(config) << "logoutput: stderr\n"
                        << "internal: 127.0.0.1 port = " << port << "\n"
                        << "external: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
                        << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                        << "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n";
  // One process per client is plenty, and leaves fewer to stop.
  return std::make_unique<TProxyProcess>("/usr/sbin/danted",
                                         std::vector<std::string>{"-f", config.string(), "-N", "1"},
                                         port, folder / "danted.log");
}

uint16_t TProxyProcess::FreePort() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) throw std::runtime_error("cannot open a socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(s);
    throw std::runtime_error("cannot find a free loopback port");
  }
  ::close(s);
  return ntohs(address.sin_port);
}

std::string TProxyProcess::Log() const {
  std::ifstream in(log_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace qelvu::test
