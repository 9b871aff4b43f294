#include "bench_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/loopback_socket.h"

extern char** environ;

namespace qelvu::bench {
namespace {

bool SendAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t sent = ::send(fd, bytes, std::min<size_t>(count, 1 << 20), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += sent;
    count -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

TStaticServer::TStaticServer(std::map<std::string, std::string> bodies)
    : bodies_(std::move(bodies)),
      acceptor_(64, [this](int client) { return [this, client] { Serve(client); }; }) {}

void TStaticServer::Serve(int client) {
  const struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{client};
  const int on = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::string input;
  char buffer[16384];
  for (;;) {
    size_t head_end;
    while ((head_end = input.find("\r\n\r\n")) == std::string::npos) {
      if (!test::WaitReadableUntil(client, acceptor_.Stopping())) return;
      const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) return;
      input.append(buffer, static_cast<size_t>(got));
    }
    const std::string request = input.substr(0, head_end);
    input.erase(0, head_end + 4);
    const size_t path_start = request.find(' ') + 1;
    std::string path = request.substr(path_start, request.find(' ', path_start) - path_start);
    path = path.substr(0, path.find('?'));
    const auto found = bodies_.find(path);
    static const std::string kEmpty;
    const std::string& body = found == bodies_.end() ? kEmpty : found->second;
    const std::string head =
        std::string(found == bodies_.end() ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 200 OK") +
        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n\r\n";
    if (!SendAll(client, head.data(), head.size()) || !SendAll(client, body.data(), body.size())) {
      return;
    }
  }
}

TRunTimes RunProcess(const std::vector<std::string>& argv, const std::string& stdout_path,
                     std::string* captured) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int pipe_fds[2] = {-1, -1};
  if (captured != nullptr) {
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  const double start = Now();
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (captured != nullptr) ::close(pipe_fds[1]);
  if (spawned != 0) {
    if (captured != nullptr) ::close(pipe_fds[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  if (captured != nullptr) {
    captured->clear();
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(pipe_fds[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      captured->append(buffer, static_cast<size_t>(got));
    }
    ::close(pipe_fds[0]);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  TRunTimes times;
  times.wall = Now() - start;
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  times.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  times.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return times;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int64_t PeakResidentBytes() {
  // VmHWM rather than getrusage: a child started by posix_spawn inherits its parent's
  // ru_maxrss across the exec, VmHWM belongs to the process's own address space.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atoll(line.c_str() + 6) * 1024;
  }
  return 0;
}

int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

void PrintRatio(const std::string& name, double ours, double anchor, const std::string& unit,
                const std::string& target) {
  std::printf("%s: ours %.1f %s, anchor %.1f %s, ratio %.2f (target %s)\n", name.c_str(), ours,
              unit.c_str(), anchor, unit.c_str(), anchor > 0 ? ours / anchor : 0.0, target.c_str());
  std::fflush(stdout);
}

void PrintValue(const std::string& name, double value, const std::string& unit,
                const std::string& target) {
  std::printf("%s: %.1f %s (target %s)\n", name.c_str(), value, unit.c_str(), target.c_str());
  std::fflush(stdout);
}

int Runs(int fallback) {
  const char* runs = std::getenv("QELVU_BENCH_RUNS");
  const int value = runs != nullptr ? std::atoi(runs) : 0;
  return value > 0 ? value : fallback;
}

// GBK bytes of the words the synthetic directory is made of.
namespace {
const std::string kChannelWord = "\xc6\xb5\xb5\xc0";   // "channel"
const std::string kStationWord = "\xcc\xa8";           // "station"
const std::string kCategoryWord = "\xb7\xd6\xc0\xe0";  // "category"

std::string CategoryName(int index) { return kCategoryWord + std::to_string(index); }
std::string Suffix(int index) { return "tv/" + std::to_string(index) + ".htm"; }

// Links of category `category`: an even share, the first categories taking the remainder.
int LinksIn(int category, int categories, int links) {
  return links / categories + (category < links % categories ? 1 : 0);
}
}  // namespace

std::string ChannelName(int index) { return kChannelWord + std::to_string(index) + kStationWord; }

TDirectoryPages MakeDirectoryPages(int categories, int links) {
  TDirectoryPages pages;
  pages.front =
      "<html><head><title>TV</title></head><body>\r\n<p>Channel directory</p>\r\n"
      "<a href=\"list.htm\">list</a>\r\n";
  pages.front += std::string(1024, ' ') + "\r\n</body></html>\r\n";
  std::string& list = pages.list;
  list = "<html><head><title>list</title></head><body>\r\n";
  int channel = 0;
  for (int c = 0; c < categories; ++c) {
    list += "<div class=\"boxtop\" id=\"cat" + std::to_string(c) + "\">" + CategoryName(c) +
            "</div>\r\n<ul>\r\n";
    for (int n = LinksIn(c, categories, links); n > 0; --n, ++channel) {
      list += "<li class=\"ch\"><a id=\"ch" + std::to_string(channel) +
              "\" class=\"tvlink\" target=\"_blank\" href=\"" + Suffix(channel) + "\">" +
              ChannelName(channel) + "</a></li>\r\n";
    }
    list += "</ul>\r\n";
  }
  list += "</body></html>\r\n";
  return pages;
}

std::string MakeCacheText(int categories, int links) {
  std::string text;
  int channel = 0;
  for (int c = 0; c < categories; ++c) {
    for (int n = LinksIn(c, categories, links); n > 0; --n, ++channel) {
      text += CategoryName(c) + "|" + ChannelName(channel) + "|" + Suffix(channel) + "|\r\n";
    }
  }
  return text;
}

}  // namespace qelvu::bench
