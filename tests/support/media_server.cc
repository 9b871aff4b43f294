#include "support/media_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/loopback_socket.h"

namespace qelvu::test {
namespace {

void SendAll(int handle, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = ::send(handle, bytes, count, MSG_NOSIGNAL);
    if (n <= 0) return;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The value of header `name` (lower case) in a request head; empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
  const std::string lower = Lower(head);
  const size_t at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return {};
  const size_t start = head.find_first_not_of(' ', at + name.size() + 3);
  return head.substr(start, head.find("\r\n", start) - start);
}

const char* MediaType(const std::filesystem::path& file) {
  const std::string extension = Lower(file.extension().string());
  if (extension == ".m3u8") return "application/vnd.apple.mpegurl";
  if (extension == ".ts") return "video/mp2t";
  if (extension == ".mp4") return "video/mp4";
  if (extension == ".html") return "text/html; charset=utf-8";
  return "application/octet-stream";
}

std::string Status(int code, const char* reason) {
  return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\nContent-Length: 0\r\n" +
         "Connection: close\r\n\r\n";
}

}  // namespace

TMediaServer::TMediaServer(std::filesystem::path root) : root_(std::move(root)) {
  listener_ = ListenOnLoopback(64, port_);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TMediaServer::~TMediaServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  ::close(listener_);
}

std::string TMediaServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TMediaServer::Stall(const std::string& path, int times, int milliseconds) {
  stalls_[path] = {times, milliseconds};
}

std::vector<TMediaServer::TRequest> TMediaServer::Requests() {
  const std::lock_guard lock(mutex_);
  return requests_;
}

void TMediaServer::AcceptLoop() {
  while (WaitReadableUntil(listener_, stop_)) {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    workers_.emplace_back([this, client] { Serve(client); });
  }
}

void TMediaServer::Serve(int client) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && WaitReadableUntil(client, stop_)) {
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  if (head.find("\r\n\r\n") == std::string::npos) {
    ::close(client);
    return;
  }
  std::istringstream line(head.substr(0, head.find("\r\n")));
  std::string method;
  TRequest request;
  line >> method >> request.path;
  request.path = request.path.substr(0, request.path.find('?'));
  request.user_agent = HeaderValue(head, "user-agent");
  request.referer = HeaderValue(head, "referer");
  request.range = HeaderValue(head, "range");
  int stall_ms = 0;
  const std::string answer = Answer(request, stall_ms);
  if (stall_ms > 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(stall_ms);
    while (!stop_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  } else if (!answer.empty()) {
    SendAll(client, answer.data(), answer.size());
  }
  ::close(client);
}

std::string TMediaServer::Answer(const TRequest& request, int& stall_ms) {
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (auto stall = stalls_.find(request.path);
        stall != stalls_.end() && stall->second.times > 0) {
      --stall->second.times;
      stall_ms = stall->second.milliseconds;
      return {};
    }
  }
  if ((!user_agent_.empty() && request.user_agent != user_agent_) ||
      (!referer_.empty() && request.referer != referer_)) {
    return Status(403, "Forbidden");
  }
  if (auto redirect = redirects_.find(request.path); redirect != redirects_.end()) {
    return "HTTP/1.1 302 Found\r\nLocation: " + redirect->second +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  }
  const std::filesystem::path file = root_ / std::filesystem::path(request.path).relative_path();
  std::ifstream in(file, std::ios::binary);
  if (request.path.find("..") != std::string::npos || !std::filesystem::is_regular_file(file) ||
      !in) {
    return Status(404, "Not Found");
  }
  const std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t first = 0;
  size_t last = body.empty() ? 0 : body.size() - 1;
  std::string status = "200 OK";
  std::string range_header;
  if (!ignore_ranges_ && request.range.rfind("bytes=", 0) == 0 && !body.empty()) {
    const std::string bytes = request.range.substr(6);
    const size_t dash = bytes.find('-');
    first = std::strtoull(bytes.c_str(), nullptr, 10);
    if (dash + 1 < bytes.size())
      last = std::min<size_t>(last, std::strtoull(bytes.c_str() + dash + 1, nullptr, 10));
    if (first > last) return Status(416, "Range Not Satisfiable");
    status = "206 Partial Content";
    range_header = "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                   "/" + std::to_string(body.size()) + "\r\n";
  }
  const size_t length = body.empty() ? 0 : last - first + 1;
  return "HTTP/1.1 " + status + "\r\nContent-Type: " + MediaType(file) +
         "\r\nContent-Length: " + std::to_string(length) + "\r\nAccept-Ranges: bytes\r\n" +
         range_header + "Connection: close\r\n\r\n" + body.substr(first, length);
}

namespace {

void RunCommand(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

}  // namespace

void MakeTestMedia(const std::filesystem::path& folder, int seconds) {
  RunCommand(std::string("'") + QELVU_MAKE_MEDIA + "' '" + folder.string() + "' " +
             std::to_string(seconds));
}

void MakeIndexAtEndMp4(const std::filesystem::path& file) {
  RunCommand(
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=1280x720:rate=25:duration=8"
      " -f lavfi -i sine=duration=8 -c:v libx264 -preset ultrafast -b:v 6M -pix_fmt yuv420p"
      " -c:a aac -f mp4 '" +
      file.string() + "'");
}

}  // namespace qelvu::test
