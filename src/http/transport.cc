#include "http/transport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "common/scope_guard.h"
#include "http/net_exceptions.h"
#include "http/socket_errors.h"

namespace qelvu {

TStepDeadline::TStepDeadline(int limit_ms) {
  if (limit_ms > 0) end_ = Clock::now() + std::chrono::milliseconds(limit_ms);
}

TStepDeadline TStepDeadline::ForHandshake(const TConnectTarget& target,
                                          const TStepDeadline& connect) {
  return target.Timeout > 0 ? connect : TStepDeadline(target.ReplyTimeout);
}

int TStepDeadline::Remaining() const {
  if (end_ == Clock::time_point::max()) return -2;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

std::string StatusText(TStatus status, const std::string& argument) {
  switch (status) {
    case TStatus::hsResolving:
      return "Resolving hostname " + argument + ".";
    case TStatus::hsConnecting:
      return "Connecting to " + argument + ".";
    case TStatus::hsConnected:
      return "Connected.";
    case TStatus::hsDisconnecting:
      return "Disconnecting.";
    case TStatus::hsDisconnected:
      return "Disconnected.";
    default:
      return argument;
  }
}

void TTransport::DoStatus(TStatus status, const std::string& argument) {
  if (OnStatus) OnStatus(status, StatusText(status, argument));
}

void TSocketTransport::Open() {
  if (socket_) {
    socket_->Reset(true);
  } else {
    socket_ = std::make_unique<TSocketHandle>();
  }
}

void TSocketTransport::Close() {
  if (socket_) socket_->CloseSocket();
}

void TSocketTransport::BindLocal(const TConnectTarget& target) {
  TSocketStack& stack = TSocketStack::Instance();
  int handle = socket_->Handle();
  if (target.BoundPort == 0 && (target.BoundPortMin != 0 || target.BoundPortMax != 0)) {
    if (target.BoundPortMax < target.BoundPortMin) {
      throw EInvalidPortRange("Invalid Port Range (" + std::to_string(target.BoundPortMin) + " - " +
                              std::to_string(target.BoundPortMax) + ")");
    }
    bool bound = false;
    for (int port = target.BoundPortMax; port >= target.BoundPortMin && !bound; --port) {
      bound = stack.Bind(handle, target.BoundIP, static_cast<uint16_t>(port)) == 0;
    }
    if (!bound) {
      throw ECanNotBindPortInRange("Can not bind in port range (" +
                                   std::to_string(target.BoundPortMin) + " - " +
                                   std::to_string(target.BoundPortMax) + ")");
    }
  } else if (int error =
                 stack.Bind(handle, target.BoundIP, static_cast<uint16_t>(target.BoundPort));
             error != 0) {
    if (error == kWsaAddrInUse) {
      throw ECouldNotBindSocket("Could not bind socket. Address and port are already in use.");
    }
    throw ESocketError(error);
  }
  socket_->ReadLocalName();
}

void TSocketTransport::ConnectTransport(const TConnectTarget& target) {
  if (!socket_) Open();
  socket_->AllocateSocket();
  SocketAllocated(socket_->Handle());
  socket_->ClientPortMin = target.BoundPortMin;
  socket_->ClientPortMax = target.BoundPortMax;
  BindLocal(target);

  bool socks = SocksInfo.Version != TSocksVersion::svNoSocks;
  const std::string& host = socks ? SocksInfo.Host : target.Host;
  int peer_port = socks ? SocksInfo.Port : target.Port;
  uint32_t unused;
  if (!ParseDottedAddress(host, unused)) DoStatus(TStatus::hsResolving, host);
  const TStepDeadline connect_step(target.Timeout);
  std::string address = ResolveHost(host, target.Timeout);
  // A port beyond 16 bits must not wrap round to some other port, the one the SOCKS server is
  // asked for no more than the one connected to.
  auto out_of_range = [](int port) { return port < 0 || port > 65535; };
  if (out_of_range(peer_port) || (socks && out_of_range(target.Port))) {
    throw ESocketError(kWsaInval);
  }
  uint16_t port = static_cast<uint16_t>(peer_port);
  socket_->PeerAddress = address;
  socket_->PeerPort = port;

  TSocketStack& stack = TSocketStack::Instance();
  stack.SetNoDelay(socket_->Handle(), !UseNagle);
  DoStatus(TStatus::hsConnecting, address);

  if (target.Timeout > 0) {
    // The lookup spent part of the limit.
    ConnectWithLimit(address, port, connect_step.Remaining());
  } else if (target.Timeout < -1) {
    ConnectWithLimit(address, port, target.Timeout);
  } else if (TIdleHook::InUse()) {
    ConnectWithLimit(address, port, 120000);
  } else if (int error = stack.Connect(socket_->Handle(), address, port); error != 0) {
    throw ESocketError(error);
  }
  socket_->ReadLocalName();
  socket_->ReadPeerName();
  if (socks) SocksHandshake(target, TStepDeadline::ForHandshake(target, connect_step));
  AfterTcpConnect(target);
}

void TSocketTransport::ConnectWithLimit(const std::string& address, uint16_t port, int timeout_ms) {
  // The blocking connect runs on its own thread so the caller can give up after the limit;
  // shutting the socket down aborts the pending connect, and the thread is always joined
  // before the socket is closed.
  struct Outcome {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
    int error = 0;
  } outcome;
  int handle = socket_->Handle();
  std::thread connector([&outcome, handle, address, port] {
    int error = TSocketStack::Instance().Connect(handle, address, port);
    if (error == kWsaBadF || error == kWsaNotSock) error = 0;
    std::lock_guard<std::mutex> lock(outcome.mutex);
    outcome.error = error;
    outcome.done = true;
    outcome.done_signal.notify_all();
  });

  TIdleHook* hook = TIdleHook::InUse();
  int step = hook ? std::min(125, hook->IdleTimeOut) : 125;
  auto wait_for = [&outcome](int ms) {
    std::unique_lock<std::mutex> lock(outcome.mutex);
    return outcome.done_signal.wait_for(lock, std::chrono::milliseconds(ms),
                                        [&outcome] { return outcome.done; });
  };
  // A shutdown that lands before the connector has entered its connect does not stop that
  // connect, which would then run to the system's own limit: it is repeated until the connector
  // has returned.
  auto cut_connector = [&connector, &wait_for, handle] {
    do {
      TSocketStack::Instance().ShutdownBoth(handle);
    } while (!wait_for(10));
    connector.join();
  };
  // An idle hook that raises must not leave the connector running (a thread object destroyed
  // while joinable ends the process): the connect is cut and the thread joined first.
  TScopeGuard stop_connector(cut_connector);
  bool done = false;
  if (timeout_ms == -2) {
    while (!done) {
      done = wait_for(step);
      if (hook) hook->Step(true);
    }
  } else {
    int remaining = timeout_ms;
    while (!done && remaining > step) {
      done = wait_for(step);
      if (hook) hook->Step(true);
      remaining -= step;
    }
    if (!done) done = wait_for(std::max(remaining, 0));
  }
  stop_connector.Release();
  if (!done) {
    cut_connector();
    Close();
    throw EConnectTimeout("Connect timed out.");
  }
  connector.join();
  if (outcome.error != 0) throw ESocketError(outcome.error);
}

bool TSocketTransport::WaitSocket(bool write, int timeout_ms) {
  if (!write) return TSocketTransport::Readable(timeout_ms);
  if (!IsOpen()) throw EConnClosedGracefully("Connection Closed Gracefully.");
  return TSocketStack::Instance().WaitWritable(socket_->Handle(), timeout_ms);
}

bool TSocketTransport::Readable(int timeout_ms) {
  if (!IsOpen()) throw EConnClosedGracefully("Connection Closed Gracefully.");
  TIdleHook* hook = TIdleHook::InUse();
  if (!hook) return TSocketStack::Instance().WaitReadable(socket_->Handle(), timeout_ms);
  // Serve the host between short waits until the limit passes.
  int remaining = timeout_ms;
  while (true) {
    int step = remaining == -2 ? hook->IdleTimeOut : std::min(remaining, hook->IdleTimeOut);
    if (TSocketStack::Instance().WaitReadable(socket_->Handle(), step)) return true;
    hook->Step(true);
    if (remaining != -2) {
      remaining -= step;
      if (remaining <= 0) return false;
    }
  }
}

int TSocketTransport::Receive(char* buffer, int length, int& error) {
  if (!IsOpen()) throw EClosedSocket("Disconnected.");
  return TSocketStack::Instance().Receive(socket_->Handle(), buffer, length, error);
}

int TSocketTransport::Send(const char* buffer, int length, int& error) {
  if (!IsOpen()) throw EClosedSocket("Disconnected.");
  return TSocketStack::Instance().Send(socket_->Handle(), buffer, length, error);
}

bool TMemoryTransport::Readable(int /*timeout_ms*/) {
  if (!open_) throw EConnClosedGracefully("Connection Closed Gracefully.");
  return !input_.empty() || CloseAtEnd;
}

int TMemoryTransport::Receive(char* buffer, int length, int& error) {
  if (!open_) throw EClosedSocket("Disconnected.");
  error = 0;
  if (input_.empty()) return 0;
  std::string& chunk = input_.front();
  int n = std::min<int>(length, static_cast<int>(chunk.size()));
  std::memcpy(buffer, chunk.data(), static_cast<size_t>(n));
  chunk.erase(0, static_cast<size_t>(n));
  if (chunk.empty()) input_.pop_front();
  return n;
}

int TMemoryTransport::Send(const char* buffer, int length, int& error) {
  if (!open_) throw EClosedSocket("Disconnected.");
  error = 0;
  output_.append(buffer, static_cast<size_t>(length));
  return length;
}

}  // namespace qelvu
