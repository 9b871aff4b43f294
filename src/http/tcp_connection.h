// The buffered connection under the HTTP client: line, block and stream reads over a
// `TTransport`, batched writes, intercepts, and connect/disconnect with peer-close detection.
//
// Class chain: `TNetComponent` (status and work events) -> `TTcpConnection` (buffers,
// reading, writing) -> `TTcpClient` (connect). All calls block the calling thread; one
// connection object serves one thread at a time and locks nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/byte_stream.h"
#include "http/transport.h"

namespace qelvu {

enum class TWorkMode { wmRead, wmWrite };
enum class TMaxLineAction { maException, maSplit };

// Status and progress reporting shared by every network component. Counts itself towards the
// lifetime of the socket wrapper.
class TNetComponent {
 public:
  virtual ~TNetComponent() = default;

  TStatusEvent OnStatus;
  std::function<void(TWorkMode mode, int64_t expected)> OnWorkBegin;
  std::function<void(TWorkMode mode, int64_t total)> OnWork;
  std::function<void(TWorkMode mode)> OnWorkEnd;

  // Begin and end nest per mode; only the outermost pair fires events, and progress counts only
  // inside a pair.
  virtual void BeginWork(TWorkMode mode, int64_t expected);
  virtual void DoWork(TWorkMode mode, int64_t count);
  virtual void EndWork(TWorkMode mode);

 protected:
  void DoStatus(TStatus status, const std::string& argument = std::string());

 private:
  struct WorkState {
    int depth = 0;
    int64_t total = 0;
  };
  WorkState& State(TWorkMode mode) { return work_[mode == TWorkMode::wmRead ? 0 : 1]; }

  TStackReference stack_reference_;
  WorkState work_[2];
};

// The input buffer: consuming from the front only advances a read offset; the unconsumed
// bytes move to the front once 32768 bytes have been consumed.
class TManagedBuffer {
 public:
  static constexpr size_t CompactAt = 32768;

  size_t Size() const { return data_.size() - read_offset_; }
  const char* Data() const { return data_.data() + read_offset_; }
  size_t ReadOffset() const { return read_offset_; }
  void Append(const char* bytes, size_t count) { data_.append(bytes, count); }
  void Clear();
  // Consumes `count` bytes from the front (copied to `destination` when given). Raises
  // ENotEnoughDataInBuffer when fewer are held.
  void Remove(size_t count, std::string* destination = nullptr);

  // Told the count of every removal (read progress).
  std::function<void(size_t count)> OnRemove;

 private:
  std::string data_;
  size_t read_offset_ = 0;
};

// A filter on every block received or sent. Intercepts chain through `Intercept()`.
class TConnectionIntercept {
 public:
  virtual ~TConnectionIntercept() = default;

  TConnectionIntercept* Intercept() const { return intercept_; }
  // Raises EInterceptCircularLink when the chain would lead back to this object.
  void SetIntercept(TConnectionIntercept* next);

  void Connect();
  void Disconnect();
  // The received block goes down the chain first, then to this object.
  void Receive(std::string& block);
  // The block to send goes to this object first, then down the chain.
  void Send(std::string& block);

  std::function<void()> OnConnect;
  std::function<void()> OnDisconnect;
  std::function<void(std::string& block)> OnReceive;
  std::function<void(std::string& block)> OnSend;

 protected:
  virtual const char* ClassName() const { return "TConnectionIntercept"; }

 private:
  TConnectionIntercept* intercept_ = nullptr;
};

// The numbered reply of a line protocol (SMTP, FTP, POP-style servers): one line "250 text", or
// lines "250-text" ended by "250 text".
struct TNumericReply {
  // The number the first line begins with; 0 when it begins with none.
  int Code = 0;
  // Every line as received, without its line end.
  std::vector<std::string> Lines;

  // The lines joined by LF.
  std::string Text() const;
};

class TTcpConnection : public TNetComponent {
 public:
  TTcpConnection();
  ~TTcpConnection() override;
  TTcpConnection(const TTcpConnection&) = delete;
  TTcpConnection& operator=(const TTcpConnection&) = delete;

  // The transport in use (owned only when the connection created it).
  TTransport* Transport() const { return transport_; }
  // Uses a caller-owned transport (for example a TMemoryTransport); null detaches.
  void SetTransport(TTransport* transport);
  bool OwnsTransport() const { return owned_transport_ != nullptr; }

  virtual bool IsConnected();
  virtual void Disconnect();
  // Closes the transport after telling the intercept.
  virtual void CloseSocket();
  // Notices a peer close seen by the last receive; raises EConnClosedGracefully when closed and
  // no buffered byte may serve the caller (`ignore_buffer` disregards the buffer).
  virtual void CheckPeerClosed(bool raise, bool ignore_buffer);
  // A 1 ms look that notices a peer that closed an idle connection.
  virtual void ProbePeerClosed(bool raise);
  // One receive into the input buffer: the count, or -1 when nothing came within the timeout.
  virtual int FillInput(bool raise_if_closed, int timeout_ms, bool raise_on_timeout);

  // A line without its terminator (a CR before an LF terminator goes too). `max` -1 means
  // MaxLineLength, 0 no limit; an explicit timeout that passes sets LineTimedOut and returns "".
  virtual std::string ReadLine(const std::string& terminator = "\n", int timeout_ms = -1,
                               int max = -1);
  std::string ReadNonEmptyLine(int attempts = -1);
  void ReadExactly(std::string& buffer, int count);
  // Reads `count` bytes (a 4-byte length prefix when negative) or, with `until_closed`, until
  // the peer closes, into the stream at its position.
  void ReadIntoStream(TByteStream& stream, int64_t count = -1, bool until_closed = false);
  int32_t ReadNetInteger(bool convert = true);
  // Reads one numeric reply: blank lines before it are skipped, and a first line whose fourth
  // character is "-" goes on until a line that begins with the same three characters and a
  // blank, or one shorter than four characters. A reply of more than kMaxReplyBytes raises
  // EProtocolReplyError "Reply too long.".
  virtual TNumericReply ReadReply();
  // Returns the reply's code when `allowed` is empty or holds it; raises otherwise.
  virtual int CheckReply(const TNumericReply& reply, const std::vector<int>& allowed);
  // ReadReply, then CheckReply.
  TNumericReply GetReply(const std::vector<int>& allowed = {});
  // Sends `command` as one line, then reads and checks the reply to it.
  virtual TNumericReply SendCommand(const std::string& command,
                                    const std::vector<int>& allowed = {});
  // EProtocolReplyError with the reply's text and code.
  [[noreturn]] virtual void RaiseReplyError(const TNumericReply& reply);
  [[noreturn]] virtual void RaiseReplyError(int code, const std::string& text);
  std::string TakeBuffered();
  std::string ReadUntilClosed();

  void WriteBytes(const char* bytes, int count, bool now = false);
  void WriteText(const std::string& text);
  void WriteLine(const std::string& text);
  void WriteNetInteger(int32_t value, bool convert = true);
  void WriteFromStream(TByteStream& stream, bool whole = true, bool with_size = false,
                       int64_t count = 0);
  // Sends a file's bytes; returns the count. Raises EFileNotFound for a missing file.
  int64_t SendFile(const std::string& name);

  void OpenWriteBatch(int threshold = -1);
  void FlushWriteBatch(int count = -1);
  void CloseWriteBatch();
  void DiscardWriteBatch();
  bool WriteBatchOpen() const { return write_batch_.has_value(); }

  TConnectionIntercept* Intercept = nullptr;
  TManagedBuffer InputBuffer;
  bool ASCIIFilter = false;
  static constexpr size_t kMaxReplyBytes = 1 << 20;

  int MaxLineLength = 16384;
  TMaxLineAction MaxLineAction = TMaxLineAction::maException;
  bool LineWasSplit = false;
  bool LineTimedOut = false;
  int ReadTimeout = 0;
  int RecvBufferSize = 32768;
  int SendBufferSize = 32768;
  bool ClosedByPeer = false;

  std::function<void()> OnDisconnected;

 protected:
  // While set, every wait for input also ends by this deadline: a read that must end as a
  // whole, however the bytes trickle in.
  const TStepDeadline* ReadStep = nullptr;

  // Fired after a disconnect was noticed or made.
  virtual void DoDisconnected();
  void ResetInputState();
  // Makes `transport` the owned transport.
  void AdoptTransport(std::unique_ptr<TTransport> transport);

 private:
  void SendNow(const char* bytes, size_t count);
  // Receives until the input buffer holds at least `count` bytes; fails as FillInput does.
  void BufferAtLeast(size_t count);

  TTransport* transport_ = nullptr;
  std::unique_ptr<TTransport> owned_transport_;
  std::string recv_chunk_;
  std::optional<std::string> write_batch_;
  int batch_threshold_ = -1;
  size_t line_searched_ = 0;
};

class TTcpClient : public TTcpConnection {
 public:
  // Connects to Host:Port; `timeout_ms` as in TConnectTarget. Raises EAlreadyConnected when
  // open; any failure closes the socket and propagates.
  virtual void Connect(int timeout_ms = -1);
  // Connects, reads everything until the peer closes (ReadUntilClosed, within ReadTimeout per
  // read), disconnects and returns the bytes: for services that speak and hang up.
  virtual std::string ConnectAndReadAll(int timeout_ms = -1);

  virtual void SetHost(const std::string& host) { host_ = host; }
  virtual void SetPort(int port) { port_ = port; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }

  std::string BoundIP;
  int BoundPort = 0;
  int BoundPortMin = 0;
  int BoundPortMax = 0;
  std::function<void()> OnConnected;

 private:
  std::string host_;
  int port_ = 0;
};

}  // namespace qelvu
