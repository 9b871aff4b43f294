// The process-wide socket API wrapper and the one-socket owner under the transport.
//
// `TSocketStack` is a thin layer over POSIX sockets that reports every failure with the
// Windows socket error code of the same meaning (refused -> kWsaConnRefused, reset ->
// kWsaConnReset, ...: socket_errors.h names them), so the client's messages read the same on
// every platform. One instance lives while at least one network component does
// (`TStackReference` counts them under a global lock).
// `TSocketHandle` owns one socket; it is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace qelvu {

class TSocketStack {
 public:
  // The live wrapper; only valid while a TStackReference exists.
  static TSocketStack& Instance();

  // The Windows socket code for a POSIX errno value.
  static int MapErrno(int error);
  // The code of the last failed call on this thread.
  static int LastError();

  // Raises EInvalidSocket "Cannot allocate socket." on failure.
  int CreateSocket();
  // Each returns 0 or the Windows socket code of the failure.
  int Bind(int handle, const std::string& address, uint16_t port);
  int Connect(int handle, const std::string& address, uint16_t port);
  // Byte count, or -1 with `error` set.
  int Receive(int handle, void* buffer, int length, int& error);
  int Send(int handle, const void* buffer, int length, int& error);
  void ShutdownSend(int handle);
  void ShutdownBoth(int handle);
  void Close(int handle);
  // True when the socket is readable within the timeout (ms; -2 = no limit). Raises
  // ESocketError when the wait itself fails.
  bool WaitReadable(int handle, int timeout_ms);
  // The same for room to send.
  bool WaitWritable(int handle, int timeout_ms);
  // A non-blocking socket answers kWsaWouldBlock where a blocking one would wait.
  void SetNonBlocking(int handle, bool non_blocking);
  void SetNoDelay(int handle, bool no_delay);
  void LocalName(int handle, std::string& address, uint16_t& port);
  void PeerName(int handle, std::string& address, uint16_t& port);
  // Dotted IPv4 text of a host name; raises ESocketError (kWsaHostNotFound for an unknown name).
  std::string LookupHost(const std::string& name);
};

// Counts one live network component; the first reference creates the wrapper, the last frees it.
class TStackReference {
 public:
  TStackReference();
  ~TStackReference();
  TStackReference(const TStackReference&);
  TStackReference& operator=(const TStackReference&) { return *this; }
  // Number of live references (for tests of the counting).
  static int Count();
};

// Parses the four dotted forms (a.b.c.d, a.b.c, a.b, a) into a host-order address.
bool ParseDottedAddress(const std::string& text, uint32_t& address);
// "localhost" (any case) -> "127.0.0.1" and a dotted address as is, at once; else a host
// lookup. A `timeout_ms` above 0 bounds the lookup: when the resolver has not answered by
// then, raises EConnectTimeout "Connect timed out.". A lookup in progress cannot be aborted,
// only bounded: it runs on to its end on a thread of its own, and its answer is dropped.
std::string ResolveHost(const std::string& name, int timeout_ms = -2);

// Optional hook that serves a host's user interface while a connection waits. At most one is
// registered (the newest); it is used only when active and called from the thread that
// created it.
class TIdleHook {
 public:
  TIdleHook();
  virtual ~TIdleHook();
  TIdleHook(const TIdleHook&) = delete;
  TIdleHook& operator=(const TIdleHook&) = delete;

  // The registered hook when it is in use on the calling thread, else null.
  static TIdleHook* InUse();
  // Runs ProcessStep when `idle`, when OnlyWhenIdle is false, or when forced.
  void Step(bool idle, bool force = false);

  bool Active = true;
  bool ApplicationHasPriority = true;
  int IdleTimeOut = 250;
  bool OnlyWhenIdle = true;

 protected:
  virtual void ProcessStep(bool /*idle*/) {}

 private:
  std::thread::id owner_thread_;
};

// Owns one socket handle and what is known about its two ends. Not copyable.
class TSocketHandle {
 public:
  TSocketHandle() = default;
  ~TSocketHandle() { CloseSocket(); }
  TSocketHandle(const TSocketHandle&) = delete;
  TSocketHandle& operator=(const TSocketHandle&) = delete;

  // Creates the socket, closing any earlier one.
  void AllocateSocket();
  // Shuts the sending side down, then closes; a second call does nothing.
  void CloseSocket();
  // Forgets the handle and the peer (and the local end when `reset_local`).
  void Reset(bool reset_local);
  void ReadLocalName();
  void ReadPeerName();

  int Handle() const { return handle_; }
  bool HandleAllocated() const { return allocated_; }

  std::string LocalAddress;
  uint16_t LocalPort = 0;
  std::string PeerAddress;
  uint16_t PeerPort = 0;
  int ClientPortMin = 0;
  int ClientPortMax = 0;

 private:
  int handle_ = -1;
  bool allocated_ = false;
};

}  // namespace qelvu
