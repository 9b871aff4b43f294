#include "http/tcp_connection.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>

#include "common/scope_guard.h"
#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "http/text_util.h"

namespace qelvu {
namespace {

bool IsClosedSocketCode(int code) { return code == kWsaShutdown || code == kWsaConnAborted; }

}  // namespace

void TNetComponent::BeginWork(TWorkMode mode, int64_t expected) {
  WorkState& state = State(mode);
  if (++state.depth == 1) {
    state.total = 0;
    if (OnWorkBegin) OnWorkBegin(mode, expected);
  }
}

void TNetComponent::DoWork(TWorkMode mode, int64_t count) {
  WorkState& state = State(mode);
  if (state.depth == 0) return;
  state.total += count;
  if (OnWork) OnWork(mode, state.total);
}

void TNetComponent::EndWork(TWorkMode mode) {
  WorkState& state = State(mode);
  if (state.depth > 0 && --state.depth == 0 && OnWorkEnd) OnWorkEnd(mode);
}

void TNetComponent::DoStatus(TStatus status, const std::string& argument) {
  if (OnStatus) OnStatus(status, StatusText(status, argument));
}

void TManagedBuffer::Clear() {
  data_.clear();
  read_offset_ = 0;
}

void TManagedBuffer::Remove(size_t count, std::string* destination) {
  if (count > Size()) throw ENotEnoughDataInBuffer("Not enough data in buffer.");
  if (destination) destination->append(Data(), count);
  read_offset_ += count;
  if (read_offset_ == data_.size()) {
    Clear();
  } else if (read_offset_ >= CompactAt) {
    data_.erase(0, read_offset_);
    read_offset_ = 0;
  }
  if (OnRemove) OnRemove(count);
}

void TConnectionIntercept::SetIntercept(TConnectionIntercept* next) {
  for (TConnectionIntercept* link = next; link != nullptr; link = link->intercept_) {
    if (link == this) {
      throw EInterceptCircularLink(std::string(ClassName()) + ": Circular links are not allowed");
    }
  }
  intercept_ = next;
}

void TConnectionIntercept::Connect() {
  if (OnConnect) OnConnect();
  if (intercept_) intercept_->Connect();
}

void TConnectionIntercept::Disconnect() {
  if (OnDisconnect) OnDisconnect();
  if (intercept_) intercept_->Disconnect();
}

void TConnectionIntercept::Receive(std::string& block) {
  if (intercept_) intercept_->Receive(block);
  if (OnReceive) OnReceive(block);
}

void TConnectionIntercept::Send(std::string& block) {
  if (OnSend) OnSend(block);
  if (intercept_) intercept_->Send(block);
}

TTcpConnection::TTcpConnection() {
  InputBuffer.OnRemove = [this](size_t count) {
    line_searched_ = 0;
    DoWork(TWorkMode::wmRead, static_cast<int64_t>(count));
  };
}

TTcpConnection::~TTcpConnection() {
  // Closes quietly: no status events from a connection being destroyed.
  if (transport_) transport_->Close();
}

void TTcpConnection::SetTransport(TTransport* transport) {
  if (transport == transport_) return;
  owned_transport_.reset();
  transport_ = transport;
}

void TTcpConnection::AdoptTransport(std::unique_ptr<TTransport> transport) {
  owned_transport_ = std::move(transport);
  transport_ = owned_transport_.get();
  transport_->OnStatus = [this](TStatus status, const std::string& text) {
    if (OnStatus) OnStatus(status, text);
  };
}

void TTcpConnection::ResetInputState() {
  InputBuffer.Clear();
  line_searched_ = 0;
  ClosedByPeer = false;
}

void TTcpConnection::DoDisconnected() {
  if (OnDisconnected) OnDisconnected();
}

void TTcpConnection::CloseSocket() {
  if (!transport_) return;
  if (Intercept && transport_->IsOpen()) Intercept->Disconnect();
  transport_->Close();
}

void TTcpConnection::CheckPeerClosed(bool raise, bool ignore_buffer) {
  if (!transport_) return;
  bool closed;
  if (ClosedByPeer) {
    if (transport_->IsOpen()) {
      CloseSocket();
      DoStatus(TStatus::hsDisconnected);
      DoDisconnected();
    }
    closed = true;
  } else {
    closed = !transport_->IsOpen();
  }
  if (closed && raise && (InputBuffer.Size() == 0 || ignore_buffer)) {
    throw EConnClosedGracefully("Connection Closed Gracefully.");
  }
}

bool TTcpConnection::IsConnected() {
  CheckPeerClosed(false, false);
  return transport_ && transport_->IsOpen();
}

void TTcpConnection::ProbePeerClosed(bool raise) { FillInput(raise, 1, false); }

void TTcpConnection::Disconnect() {
  bool was_connected = IsConnected();
  if (was_connected) {
    DoStatus(TStatus::hsDisconnecting);
    CloseSocket();
  }
  if (owned_transport_) {
    owned_transport_.reset();
    transport_ = nullptr;
  }
  if (was_connected) {
    DoDisconnected();
    DoStatus(TStatus::hsDisconnected);
  }
}

int TTcpConnection::FillInput(bool raise_if_closed, int timeout_ms, bool raise_on_timeout) {
  if (timeout_ms == -1) timeout_ms = ReadTimeout == 0 ? -2 : ReadTimeout;
  if (const int left = ReadStep ? ReadStep->Remaining() : -2;
      left != -2 && (timeout_ms == -2 || left < timeout_ms)) {
    timeout_ms = left;
  }
  CheckPeerClosed(raise_if_closed, false);
  if (!IsConnected()) {
    if (raise_if_closed) throw ENotConnected("Not Connected");
    return 0;
  }
  int count;
  do {
    if (!transport_->Readable(timeout_ms)) {
      if (raise_on_timeout) throw EReadTimeout("Read Timeout");
      return -1;
    }
    std::string& chunk = recv_chunk_;
    chunk.resize(static_cast<size_t>(std::max(RecvBufferSize, 1)));
    int error = 0;
    count = transport_->Receive(chunk.data(), static_cast<int>(chunk.size()), error);
    ClosedByPeer = count == 0;
    if (count < 0) {
      // A socket that failed a receive is of no further use; closing it lets the next request
      // on this client open a fresh connection instead of failing on the dead one.
      CloseSocket();
      if (!IsClosedSocketCode(error) || InputBuffer.Size() == 0) throw ESocketError(error);
      count = 0;
    } else if (count > 0) {
      chunk.resize(static_cast<size_t>(count));
      if (Intercept) Intercept->Receive(chunk);
      if (ASCIIFilter) {
        for (char& c : chunk) c = static_cast<char>(c & 0x7F);
      }
      InputBuffer.Append(chunk.data(), chunk.size());
    }
    CheckPeerClosed(raise_if_closed, false);
  } while (count == 0 && IsConnected());
  return count;
}

std::string TTcpConnection::ReadLine(const std::string& terminator, int timeout_ms, int max) {
  const std::string term = terminator.empty() ? std::string("\n") : terminator;
  if (max == -1) max = MaxLineLength;
  LineWasSplit = false;
  LineTimedOut = false;
  std::string line;
  while (true) {
    // Resume the search just before where the last one ended, so a terminator split across
    // two receives is still found.
    size_t start = line_searched_ > term.size() - 1 ? line_searched_ - (term.size() - 1) : 0;
    std::string_view buffered(InputBuffer.Data(), InputBuffer.Size());
    size_t found = buffered.find(term, start);
    if (found != std::string_view::npos) {
      // The CR of a CR LF line end does not count towards the line's length.
      size_t length = found;
      if (term == "\n" && found > 0 && buffered[found - 1] == '\r') --length;
      if (max != 0 && length > static_cast<size_t>(max)) break;
      InputBuffer.Remove(found, &line);
      InputBuffer.Remove(term.size());
      if (term == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    line_searched_ = buffered.size();
    if (max != 0 && buffered.size() > static_cast<size_t>(max) + (term == "\n" ? 1 : 0)) break;
    CheckPeerClosed(true, true);
    if (FillInput(true, timeout_ms, timeout_ms == -1) == -1) {
      LineTimedOut = true;
      return std::string();
    }
  }
  if (MaxLineAction == TMaxLineAction::maException) {
    throw EReadLnMaxLineLengthExceeded("Max line length exceeded.");
  }
  LineWasSplit = true;
  InputBuffer.Remove(static_cast<size_t>(max), &line);
  return line;
}

std::string TTcpConnection::ReadNonEmptyLine(int attempts) {
  for (int i = 0; attempts < 0 || i < attempts; ++i) {
    std::string line = Trim(ReadLine());
    if (!line.empty()) return line;
  }
  return std::string();
}

void TTcpConnection::BufferAtLeast(size_t count) {
  while (InputBuffer.Size() < count) {
    FillInput(true, -1, true);
    CheckPeerClosed(true, true);
  }
}

void TTcpConnection::ReadExactly(std::string& buffer, int count) {
  if (count <= 0) return;
  BufferAtLeast(static_cast<size_t>(count));
  InputBuffer.Remove(static_cast<size_t>(count), &buffer);
}

void TTcpConnection::ReadIntoStream(TByteStream& stream, int64_t count, bool until_closed) {
  if (count < 0 && !until_closed) count = ReadNetInteger();
  // Only a bounded hint: the announced size is the peer's claim, not bytes in hand.
  if (count >= 0) stream.Reserve(count);
  BeginWork(TWorkMode::wmRead, until_closed ? 0 : count);
  // The stream ends where the last byte was written, also when the read fails half-way.
  TScopeGuard end_work([this, &stream] {
    EndWork(TWorkMode::wmRead);
    if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
  });
  int64_t remaining = until_closed ? INT32_MAX : count;
  size_t from_buffer = static_cast<size_t>(std::min<int64_t>(remaining, InputBuffer.Size()));
  stream.Write(InputBuffer.Data(), static_cast<int64_t>(from_buffer));
  InputBuffer.Remove(from_buffer);
  remaining -= static_cast<int64_t>(from_buffer);
  int64_t block = std::min<int64_t>(remaining, RecvBufferSize);
  while (remaining > 0) {
    const size_t k = static_cast<size_t>(std::min(remaining, block));
    try {
      BufferAtLeast(k);
    } catch (const ENetException& failure) {
      size_t left = std::min(k, InputBuffer.Size());
      stream.Write(InputBuffer.Data(), static_cast<int64_t>(left));
      InputBuffer.Remove(left);
      if (until_closed && dynamic_cast<const EConnClosedGracefully*>(&failure)) break;
      throw;
    }
    // Each block goes to the stream straight from the input buffer, without a scratch copy.
    stream.Write(InputBuffer.Data(), static_cast<int64_t>(k));
    InputBuffer.Remove(k);
    remaining -= static_cast<int64_t>(k);
  }
}

int32_t TTcpConnection::ReadNetInteger(bool convert) {
  std::string bytes;
  ReadExactly(bytes, 4);
  uint32_t value;
  std::memcpy(&value, bytes.data(), 4);
  return static_cast<int32_t>(convert ? ntohl(value) : value);
}

std::string TNumericReply::Text() const {
  std::string text;
  for (const std::string& line : Lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

TNumericReply TTcpConnection::ReadReply() {
  size_t total = 0;
  auto next_line = [this, &total] {
    std::string line = ReadLine();
    // A server that never ends its reply, or sends blank lines before it forever, must not
    // fill the memory with it.
    total += line.size() + 2;
    if (total > kMaxReplyBytes) throw EProtocolReplyError("Reply too long.");
    return line;
  };
  TNumericReply reply;
  std::string first = Trim(next_line());
  while (first.empty()) first = Trim(next_line());
  const std::string number = first.substr(0, 3);
  reply.Code = number.size() == 3 ? static_cast<int>(ParseDecimal(number, 0, 999).value_or(0)) : 0;
  const bool more = first.size() >= 4 && first[3] == '-';
  reply.Lines.push_back(std::move(first));
  while (more) {
    std::string line = next_line();
    const bool last = line.size() < 4 || line.compare(0, 4, number + " ") == 0;
    reply.Lines.push_back(std::move(line));
    if (last) break;
  }
  return reply;
}

int TTcpConnection::CheckReply(const TNumericReply& reply, const std::vector<int>& allowed) {
  if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), reply.Code) == allowed.end()) {
    RaiseReplyError(reply);
  }
  return reply.Code;
}

TNumericReply TTcpConnection::GetReply(const std::vector<int>& allowed) {
  TNumericReply reply = ReadReply();
  CheckReply(reply, allowed);
  return reply;
}

TNumericReply TTcpConnection::SendCommand(const std::string& command,
                                          const std::vector<int>& allowed) {
  // A line break inside would send a second command the caller never wrote.
  if (HasLineBreakOrNul(command)) {
    throw EInvalidHeaderText("Command holds a line break or NUL byte");
  }
  WriteLine(command);
  return GetReply(allowed);
}

void TTcpConnection::RaiseReplyError(const TNumericReply& reply) {
  throw EProtocolReplyError(reply.Text(), reply.Code);
}

void TTcpConnection::RaiseReplyError(int code, const std::string& text) {
  throw EProtocolReplyError(text, code);
}

std::string TTcpConnection::TakeBuffered() {
  if (IsConnected()) FillInput(false, -1, true);
  std::string bytes;
  InputBuffer.Remove(InputBuffer.Size(), &bytes);
  return bytes;
}

std::string TTcpConnection::ReadUntilClosed() {
  std::string bytes;
  while (IsConnected()) bytes += TakeBuffered();
  return bytes;
}

void TTcpConnection::WriteBytes(const char* bytes, int count, bool now) {
  if (count <= 0) return;
  CheckPeerClosed(true, true);
  if (!IsConnected()) throw ENotConnected("Not Connected");
  if (write_batch_ && !now) {
    write_batch_->append(bytes, static_cast<size_t>(count));
    if (batch_threshold_ > 0 && write_batch_->size() >= static_cast<size_t>(batch_threshold_)) {
      FlushWriteBatch(batch_threshold_);
    }
    return;
  }
  SendNow(bytes, static_cast<size_t>(count));
}

void TTcpConnection::SendNow(const char* bytes, size_t count) {
  std::string block(bytes, count);
  if (Intercept) Intercept->Send(block);
  size_t sent = 0;
  while (sent < block.size()) {
    if (!transport_) throw ENotConnected("Not Connected");
    int error = 0;
    int n = transport_->Send(block.data() + sent, static_cast<int>(block.size() - sent), error);
    if (n < 0) {
      if (IsClosedSocketCode(error) || error == kWsaConnReset) CloseSocket();
      throw ESocketError(error);
    }
    ClosedByPeer = n == 0;
    CheckPeerClosed(true, false);
    sent += static_cast<size_t>(n);
    if (TIdleHook* hook = TIdleHook::InUse()) hook->Step(false);
    DoWork(TWorkMode::wmWrite, n);
  }
}

void TTcpConnection::WriteText(const std::string& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int>(text.size()));
}

void TTcpConnection::WriteLine(const std::string& text) { WriteText(text + "\r\n"); }

void TTcpConnection::WriteNetInteger(int32_t value, bool convert) {
  uint32_t raw = convert ? htonl(static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
  char bytes[4];
  std::memcpy(bytes, &raw, 4);
  WriteBytes(bytes, 4);
}

void TTcpConnection::WriteFromStream(TByteStream& stream, bool whole, bool with_size,
                                     int64_t count) {
  if (whole) stream.SetPosition(0);
  int64_t end = count != 0 ? stream.Position() + count : stream.Size();
  int64_t total = end - stream.Position();
  if (with_size) WriteNetInteger(static_cast<int32_t>(total));
  BeginWork(TWorkMode::wmWrite, total);
  TScopeGuard end_work([this] { EndWork(TWorkMode::wmWrite); });
  std::string block;
  while (stream.Position() < end) {
    block.resize(static_cast<size_t>(std::min<int64_t>(SendBufferSize, end - stream.Position())));
    int64_t n = stream.Read(block.data(), static_cast<int64_t>(block.size()));
    if (n == 0) throw ENoDataToRead("No data to read.");
    WriteBytes(block.data(), static_cast<int>(n));
  }
}

int64_t TTcpConnection::SendFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  if (!file) throw EFileNotFound("File \"" + name + "\" not found");
  int64_t total = 0;
  std::string block(static_cast<size_t>(std::max(SendBufferSize, 1)), '\0');
  while (file.read(block.data(), static_cast<std::streamsize>(block.size())) || file.gcount() > 0) {
    int n = static_cast<int>(file.gcount());
    WriteBytes(block.data(), n);
    total += n;
  }
  return total;
}

void TTcpConnection::OpenWriteBatch(int threshold) {
  write_batch_.emplace();
  batch_threshold_ = threshold;
}

void TTcpConnection::FlushWriteBatch(int count) {
  if (!write_batch_ || write_batch_->empty()) return;
  size_t n = write_batch_->size();
  if (count != -1 && n >= static_cast<size_t>(count)) n = static_cast<size_t>(count);
  std::string head = write_batch_->substr(0, n);
  write_batch_->erase(0, n);
  WriteBytes(head.data(), static_cast<int>(head.size()), true);
}

void TTcpConnection::CloseWriteBatch() {
  TScopeGuard drop_batch([this] { write_batch_.reset(); });
  FlushWriteBatch();
}

void TTcpConnection::DiscardWriteBatch() {
  if (write_batch_) write_batch_->clear();
  write_batch_.reset();
}

void TTcpClient::Connect(int timeout_ms) {
  if (!Transport()) {
    AdoptTransport(std::make_unique<TSocketTransport>());
  } else if (Transport()->IsOpen()) {
    throw EAlreadyConnected("Already connected.");
  }
  // A connect that fails half-way leaves no socket behind.
  TScopeGuard close_on_failure([this] { CloseSocket(); });
  Transport()->Open();
  ResetInputState();
  TConnectTarget target;
  target.Host = host_;
  target.Port = port_;
  target.BoundIP = BoundIP;
  target.BoundPort = BoundPort;
  target.BoundPortMin = BoundPortMin;
  target.BoundPortMax = BoundPortMax;
  target.Timeout = timeout_ms;
  target.ReplyTimeout = ReadTimeout;
  Transport()->ConnectTransport(target);
  if (Intercept) Intercept->Connect();
  DoStatus(TStatus::hsConnected);
  if (OnConnected) OnConnected();
  close_on_failure.Release();
}

std::string TTcpClient::ConnectAndReadAll(int timeout_ms) {
  Connect(timeout_ms);
  TScopeGuard disconnect([this] { Disconnect(); });
  return ReadUntilClosed();
}

}  // namespace qelvu
