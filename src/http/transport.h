// The byte transport under a connection: the seam between the HTTP exchange and the wire.
//
// `TTransport` is what a `TTcpConnection` reads from and writes to. `TSocketTransport` is the
// plain TCP socket (with SOCKS); `TTlsTransport` (tls_transport.h) puts TLS over it;
// `TMemoryTransport` replays scripted bytes for parser tests and fuzzing. A transport serves one
// thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "http/socket_stack.h"

namespace qelvu {

enum class TStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};

using TStatusEvent = std::function<void(TStatus status, const std::string& text)>;

// The formatted text of a status event ("Resolving hostname h.", "Connected.", ...).
std::string StatusText(TStatus status, const std::string& argument);

// Where and how to connect.
struct TConnectTarget {
  std::string Host;
  int Port = 0;
  std::string BoundIP;
  int BoundPort = 0;
  int BoundPortMin = 0;
  int BoundPortMax = 0;
  // Above 0: the limit in ms for the whole connect: the name lookup, the TCP connect and the
  // SOCKS and TLS handshakes together. -1 or 0: plain blocking connect (unless an idle hook is
  // in use); -2: no limit.
  int Timeout = 0;
  // Above 0 and without a Timeout: the limit in ms for each handshake after the TCP connect
  // (SOCKS, TLS), each as a whole; the connection's read limit.
  int ReplyTimeout = 0;
};

// The time left of one bounded step (a connect, a handshake). Every wait within the step takes
// only what remains, so a peer that sends a byte now and then cannot stretch the step.
class TStepDeadline {
 public:
  using Clock = std::chrono::steady_clock;

  // `limit_ms` above 0 bounds the step from now on; any other value leaves it unbounded.
  explicit TStepDeadline(int limit_ms);
  // The limit of a handshake after the TCP connect of `target`: what is left of the connect's
  // own limit, or, without one, the reply limit from now on.
  static TStepDeadline ForHandshake(const TConnectTarget& target, const TStepDeadline& connect);

  // Milliseconds left (0 once passed), or -2 when unbounded.
  int Remaining() const;

 private:
  Clock::time_point end_ = Clock::time_point::max();
};

class TTransport {
 public:
  virtual ~TTransport() = default;

  virtual void AfterAccept() {}
  virtual void Close() = 0;
  virtual void ConnectTransport(const TConnectTarget& target) = 0;
  virtual bool IsOpen() const = 0;
  // Prepares a fresh connection (creates or resets the socket object).
  virtual void Open() = 0;
  // True when bytes (or the peer's close) can be received within the timeout (ms, -2 = no
  // limit). Raises EConnClosedGracefully when the socket is already gone.
  virtual bool Readable(int timeout_ms) = 0;
  // A byte count (0 = the peer closed), or -1 with `error` holding the socket error code.
  // Raise EClosedSocket "Disconnected." when the socket is closed.
  virtual int Receive(char* buffer, int length, int& error) = 0;
  virtual int Send(const char* buffer, int length, int& error) = 0;
  // A TLS transport answers true; the client switches it between pass-through and encryption.
  virtual bool IsTls() const { return false; }
  // True only while the bytes really go through a TLS session (never in pass-through).
  virtual bool IsEncrypted() const { return false; }
  virtual void SetPassThrough(bool /*pass_through*/) {}
  // True when the peer's last close cut a TLS session short, without the close notice that
  // tells a real end of data from an attacker closing the connection.
  virtual bool EndedWithoutCloseNotify() const { return false; }

  TStatusEvent OnStatus;

 protected:
  void DoStatus(TStatus status, const std::string& argument = std::string());

 private:
  TStackReference stack_reference_;
};

enum class TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };
enum class TSocksAuthentication { saNoAuthentication, saUsernamePassword };

// A SOCKS server to reach every target through; version svNoSocks means none.
struct TSocksInfo {
  TSocksVersion Version = TSocksVersion::svNoSocks;
  std::string Host;
  int Port = 1080;
  TSocksAuthentication Authentication = TSocksAuthentication::saNoAuthentication;
  std::string Username;
  std::string Password;
};

// The byte channel a SOCKS handshake runs over.
struct TSocksChannel {
  // Sends one whole message.
  std::function<void(const std::string& bytes)> send;
  // Exactly `count` bytes of the reply; raises ESocksServerRespondError when they do not come.
  std::function<std::string(int count)> receive;
  // The dotted address of a host name (SOCKS4 sends an address).
  std::function<std::string(const std::string& host)> resolve;
};

// The SOCKS 4, 4A or 5 client handshake asking the server of `socks` for a connection to
// `target`; its failures raise the ESocksError family.
void RunSocksHandshake(const TSocksInfo& socks, const TConnectTarget& target,
                       const TSocksChannel& channel);

// The plain TCP socket. With SOCKS in use the TCP connect goes to the SOCKS server, and the
// handshake to the real target runs before any other byte; its failures raise ESocksError
// subclasses and abort the connect. A port outside 0..65535, the target's or the SOCKS
// server's, raises ESocketError before any connection is made.
class TSocketTransport : public TTransport {
 public:
  void Close() override;
  void ConnectTransport(const TConnectTarget& target) override;
  bool IsOpen() const override { return socket_ && socket_->HandleAllocated(); }
  void Open() override;
  bool Readable(int timeout_ms) override;
  int Receive(char* buffer, int length, int& error) override;
  int Send(const char* buffer, int length, int& error) override;

  // The socket object, or null before the first Open.
  TSocketHandle* Socket() { return socket_.get(); }

  bool UseNagle = true;
  TSocksInfo SocksInfo;

 protected:
  // Runs after the TCP connect and before any application byte (the place of a proxy
  // handshake in a derived transport).
  virtual void AfterTcpConnect(const TConnectTarget& /*target*/) {}
  // Runs on the connecting thread as soon as the socket of a new connection exists, before
  // the name lookup and the connect. A transport that must be cut from another thread keeps
  // `handle` here: TSocketStack::ShutdownBoth(handle) then ends a connect in progress at once
  // with an ESocketError (with or without a time limit), and any later read or write. A
  // shutdown that lands before the connect has begun does not stop it, so such a transport
  // also checks its own abort flag once ConnectTransport returns. The handle stays valid until
  // Close; a shutdown from another thread must not overlap Close (the number could already
  // belong to another socket), and the subclass never closes the handle itself. A name lookup
  // in progress cannot be aborted, only bounded: with a time limit on the connect, the connect
  // gives up when the limit passes (see ResolveHost).
  virtual void SocketAllocated(int /*handle*/) {}
  // Waits until the socket is readable (or, with `write`, writable) within the timeout (ms,
  // -2 = no limit), serving the idle hook as a read does.
  bool WaitSocket(bool write, int timeout_ms);

 private:
  void BindLocal(const TConnectTarget& target);
  void ConnectWithLimit(const std::string& address, uint16_t port, int timeout_ms);
  // The handshake asking the SOCKS server for a connection to `target` (socks_handshake.cc),
  // all its replies within `step`.
  void SocksHandshake(const TConnectTarget& target, const TStepDeadline& step);
  void SocksSend(const std::string& bytes);
  // Reads exactly `count` bytes within what is left of `step`; raises
  // ESocksServerRespondError when they do not come.
  std::string SocksReceive(int count, const TStepDeadline& step);

  std::unique_ptr<TSocketHandle> socket_;
};

// Replays scripted input, one chunk per receive, and records everything sent. After the last
// chunk the peer counts as closed (or, with CloseAtEnd false, as silent: nothing is ever
// readable again). Never blocks.
class TMemoryTransport : public TTransport {
 public:
  void Close() override { open_ = false; }
  void ConnectTransport(const TConnectTarget& /*target*/) override {}
  bool IsOpen() const override { return open_; }
  void Open() override { open_ = true; }
  bool Readable(int timeout_ms) override;
  int Receive(char* buffer, int length, int& error) override;
  int Send(const char* buffer, int length, int& error) override;

  // Queues one receive's worth of bytes (an empty chunk is ignored).
  void AddInput(std::string chunk) {
    if (!chunk.empty()) input_.push_back(std::move(chunk));
  }
  const std::string& Output() const { return output_; }

  bool CloseAtEnd = true;

 private:
  std::deque<std::string> input_;
  std::string output_;
  bool open_ = false;
};

}  // namespace qelvu
