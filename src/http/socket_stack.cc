#include "http/socket_stack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

std::mutex g_stack_mutex;
int g_component_count = 0;
std::optional<TSocketStack> g_stack;

std::mutex g_hook_mutex;
TIdleHook* g_idle_hook = nullptr;

sockaddr_in MakeAddress(const std::string& address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  uint32_t host_order = INADDR_ANY;
  if (!address.empty() && !ParseDottedAddress(address, host_order)) {
    throw EInvalidIPAddress(address + " is not a valid IP address.");
  }
  sa.sin_addr.s_addr = htonl(host_order);
  return sa;
}

std::string FormatAddress(const sockaddr_in& sa) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
  return text;
}

}  // namespace

TStackReference::TStackReference() {
  std::lock_guard<std::mutex> lock(g_stack_mutex);
  if (g_component_count++ == 0) g_stack.emplace();
}

TStackReference::TStackReference(const TStackReference&) : TStackReference() {}

TStackReference::~TStackReference() {
  std::lock_guard<std::mutex> lock(g_stack_mutex);
  if (--g_component_count == 0) g_stack.reset();
}

int TStackReference::Count() {
  std::lock_guard<std::mutex> lock(g_stack_mutex);
  return g_component_count;
}

TSocketStack& TSocketStack::Instance() { return *g_stack; }

int TSocketStack::MapErrno(int error) {
  switch (error) {
    case EINTR:
      return kWsaIntr;
    case EBADF:
      return kWsaBadF;
    case EACCES:
    case EPERM:
      return kWsaAccess;
    case EFAULT:
      return kWsaFault;
    case EINVAL:
      return kWsaInval;
    case EMFILE:
    case ENFILE:
      return kWsaMFile;
    case EWOULDBLOCK:
      return kWsaWouldBlock;
    case EINPROGRESS:
      return kWsaInProgress;
    case EALREADY:
      return kWsaAlready;
    case ENOTSOCK:
      return kWsaNotSock;
    case EDESTADDRREQ:
      return kWsaDestAddrReq;
    case EMSGSIZE:
      return kWsaMsgSize;
    case EPROTOTYPE:
      return kWsaPrototype;
    case ENOPROTOOPT:
      return kWsaNoProtoOpt;
    case EPROTONOSUPPORT:
      return kWsaProtoNoSupport;
    case ESOCKTNOSUPPORT:
      return kWsaSocktNoSupport;
    case EOPNOTSUPP:
      return kWsaOpNotSupp;
    case EPFNOSUPPORT:
      return kWsaPfNoSupport;
    case EAFNOSUPPORT:
      return kWsaAfNoSupport;
    case EADDRINUSE:
      return kWsaAddrInUse;
    case EADDRNOTAVAIL:
      return kWsaAddrNotAvail;
    case ENETDOWN:
      return kWsaNetDown;
    case ENETUNREACH:
      return kWsaNetUnreach;
    case ENETRESET:
      return kWsaNetReset;
    case ECONNABORTED:
      return kWsaConnAborted;
    case ECONNRESET:
      return kWsaConnReset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaNoBufs;
    case EISCONN:
      return kWsaIsConn;
    case ENOTCONN:
      return kWsaNotConn;
    case ESHUTDOWN:
    case EPIPE:
      return kWsaShutdown;
    case ETOOMANYREFS:
      return kWsaTooManyRefs;
    case ETIMEDOUT:
      return kWsaTimedOut;
    case ECONNREFUSED:
      return kWsaConnRefused;
    case ELOOP:
      return kWsaLoop;
    case ENAMETOOLONG:
      return kWsaNameTooLong;
    case EHOSTDOWN:
      return kWsaHostDown;
    case EHOSTUNREACH:
      return kWsaHostUnreach;
    case ENOTEMPTY:
      return kWsaNotEmpty;
    default:
      return error;
  }
}

int TSocketStack::LastError() { return MapErrno(errno); }

int TSocketStack::CreateSocket() {
  int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) throw EInvalidSocket("Cannot allocate socket.");
  return handle;
}

int TSocketStack::Bind(int handle, const std::string& address, uint16_t port) {
  sockaddr_in sa = MakeAddress(address, port);
  return ::bind(handle, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : LastError();
}

int TSocketStack::Connect(int handle, const std::string& address, uint16_t port) {
  sockaddr_in sa = MakeAddress(address, port);
  int result;
  do {
    result = ::connect(handle, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : LastError();
}

int TSocketStack::Receive(int handle, void* buffer, int length, int& error) {
  ssize_t n;
  do {
    n = ::recv(handle, buffer, static_cast<size_t>(length), 0);
  } while (n < 0 && errno == EINTR);
  error = n < 0 ? LastError() : 0;
  return static_cast<int>(n);
}

int TSocketStack::Send(int handle, const void* buffer, int length, int& error) {
  ssize_t n;
  do {
    // No SIGPIPE: a peer that went away is reported as an error code like any other.
    n = ::send(handle, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  error = n < 0 ? LastError() : 0;
  return static_cast<int>(n);
}

void TSocketStack::ShutdownSend(int handle) { ::shutdown(handle, SHUT_WR); }
void TSocketStack::ShutdownBoth(int handle) { ::shutdown(handle, SHUT_RDWR); }
void TSocketStack::Close(int handle) { ::close(handle); }

namespace {

bool WaitFor(int handle, short events, int timeout_ms) {
  pollfd pfd{handle, events, 0};
  int result;
  do {
    result = ::poll(&pfd, 1, timeout_ms == -2 ? -1 : timeout_ms);
  } while (result < 0 && errno == EINTR);
  if (result < 0) throw ESocketError(TSocketStack::LastError());
  return result > 0;
}

}  // namespace

bool TSocketStack::WaitReadable(int handle, int timeout_ms) {
  return WaitFor(handle, POLLIN, timeout_ms);
}

bool TSocketStack::WaitWritable(int handle, int timeout_ms) {
  return WaitFor(handle, POLLOUT, timeout_ms);
}

void TSocketStack::SetNonBlocking(int handle, bool non_blocking) {
  int flags = ::fcntl(handle, F_GETFL);
  if (flags < 0) return;
  ::fcntl(handle, F_SETFL, non_blocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

void TSocketStack::SetNoDelay(int handle, bool no_delay) {
  int value = no_delay ? 1 : 0;
  ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

namespace {

using NameCall = int (*)(int, sockaddr*, socklen_t*);

void ReadName(NameCall call, int handle, std::string& address, uint16_t& port) {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  if (call(handle, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    throw ESocketError(TSocketStack::LastError());
  }
  address = FormatAddress(sa);
  port = ntohs(sa.sin_port);
}

}  // namespace

void TSocketStack::LocalName(int handle, std::string& address, uint16_t& port) {
  ReadName(::getsockname, handle, address, port);
}

void TSocketStack::PeerName(int handle, std::string& address, uint16_t& port) {
  ReadName(::getpeername, handle, address, port);
}

std::string TSocketStack::LookupHost(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    int code = result == EAI_SYSTEM ? LastError() : kWsaHostNotFound;
    throw ESocketError(code);
  }
  std::string address = FormatAddress(*reinterpret_cast<sockaddr_in*>(found->ai_addr));
  ::freeaddrinfo(found);
  return address;
}

bool ParseDottedAddress(const std::string& text, uint32_t& address) {
  std::vector<uint32_t> parts;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string part =
        text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    std::optional<int64_t> value = ParseDecimal(part, 0, UINT32_MAX);
    if (!value || part[0] == '+' || part[0] == '-' || parts.size() == 4) return false;
    parts.push_back(static_cast<uint32_t>(*value));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  // The last part fills the bytes the earlier ones leave.
  static constexpr uint64_t kLastLimit[] = {0, 0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
  uint32_t result = 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i] > 255) return false;
    result |= parts[i] << (24 - 8 * i);
  }
  if (parts.back() > kLastLimit[parts.size()]) return false;
  address = result | parts.back();
  return true;
}

std::string ResolveHost(const std::string& name, int timeout_ms) {
  if (SameText(name, "LOCALHOST")) return "127.0.0.1";
  uint32_t address;
  if (ParseDottedAddress(name, address)) return name;
  if (timeout_ms <= 0) return TSocketStack::Instance().LookupHost(name);
  // The resolver cannot be interrupted, so the lookup runs on a thread that may outlive this
  // call: the task and the caller share its answer, and whichever lets go last frees it. The
  // task's own stack reference keeps the wrapper alive after every other user has gone.
  std::packaged_task<std::string()> lookup(
      [name, stack = TStackReference()] { return TSocketStack::Instance().LookupHost(name); });
  std::future<std::string> answer = lookup.get_future();
  std::thread(std::move(lookup)).detach();
  if (answer.wait_for(std::chrono::milliseconds(timeout_ms)) != std::future_status::ready) {
    throw EConnectTimeout("Connect timed out.");
  }
  return answer.get();
}

TIdleHook::TIdleHook() : owner_thread_(std::this_thread::get_id()) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  g_idle_hook = this;
}

TIdleHook::~TIdleHook() {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  if (g_idle_hook == this) g_idle_hook = nullptr;
}

TIdleHook* TIdleHook::InUse() {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  if (g_idle_hook && g_idle_hook->Active &&
      g_idle_hook->owner_thread_ == std::this_thread::get_id()) {
    return g_idle_hook;
  }
  return nullptr;
}

void TIdleHook::Step(bool idle, bool force) {
  if (idle || !OnlyWhenIdle || force) ProcessStep(idle);
}

void TSocketHandle::AllocateSocket() {
  CloseSocket();
  handle_ = TSocketStack::Instance().CreateSocket();
  allocated_ = true;
}

void TSocketHandle::CloseSocket() {
  if (!allocated_) return;
  allocated_ = false;
  TSocketStack& stack = TSocketStack::Instance();
  stack.ShutdownSend(handle_);
  stack.Close(handle_);
  handle_ = -1;
}

void TSocketHandle::Reset(bool reset_local) {
  CloseSocket();
  PeerAddress.clear();
  PeerPort = 0;
  if (reset_local) {
    LocalAddress.clear();
    LocalPort = 0;
  }
}

void TSocketHandle::ReadLocalName() {
  TSocketStack::Instance().LocalName(handle_, LocalAddress, LocalPort);
}

void TSocketHandle::ReadPeerName() {
  TSocketStack::Instance().PeerName(handle_, PeerAddress, PeerPort);
}

}  // namespace qelvu
