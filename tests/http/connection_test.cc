#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "http/net_exceptions.h"
#include "http/socket_errors.h"
#include "http/tcp_connection.h"
#include "support/expect_throw.h"
#include "support/loopback_server.h"

namespace qelvu {
namespace {

// A connection over scripted in-memory input: each chunk arrives as one receive.
class MemoryConnectionTest : public ::testing::Test {
 protected:
  void Open(std::initializer_list<std::string> chunks, bool close_at_end = true) {
    for (const std::string& chunk : chunks) transport_.AddInput(chunk);
    transport_.CloseAtEnd = close_at_end;
    client_.SetTransport(&transport_);
    client_.Connect();
  }

  TMemoryTransport transport_;
  TTcpClient client_;
};

TEST_F(MemoryConnectionTest, ReadLineStripsLineEndsAndFindsSplitTerminators) {
  Open({"one\r\ntwo\nthr\re", "e\r", "\nfour"});
  EXPECT_EQ(client_.ReadLine(), "one");
  EXPECT_EQ(client_.ReadLine(), "two");
  EXPECT_EQ(client_.ReadLine(), "thr\ree");
  EXPECT_THROW(client_.ReadLine(), EConnClosedGracefully);
}

TEST_F(MemoryConnectionTest, MultiByteTerminatorSplitAcrossReceives) {
  Open({"abc<E", "ND>def<END>"});
  EXPECT_EQ(client_.ReadLine("<END>"), "abc");
  EXPECT_EQ(client_.ReadLine("<END>"), "def");
}

TEST_F(MemoryConnectionTest, LineLengthLimit) {
  struct Case {
    const char* name;
    int line_length;
    TMaxLineAction action;
    bool throws;
  } cases[] = {
      {"exactly the limit", 16, TMaxLineAction::maException, false},
      {"one over, exception", 17, TMaxLineAction::maException, true},
      {"one over, split", 17, TMaxLineAction::maSplit, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryTransport transport;
    transport.AddInput(std::string(c.line_length, 'x') + "\r\nnext\r\n");
    TTcpClient client;
    client.SetTransport(&transport);
    client.Connect();
    client.MaxLineLength = 16;
    client.MaxLineAction = c.action;
    if (c.throws) {
      EXPECT_THROW(client.ReadLine(), EReadLnMaxLineLengthExceeded);
      continue;
    }
    std::string line = client.ReadLine();
    EXPECT_EQ(line.size(), std::min(c.line_length, 16));
    EXPECT_EQ(client.LineWasSplit, c.line_length > 16);
    if (client.LineWasSplit) {
      EXPECT_EQ(client.ReadLine(), "x");
    }
    EXPECT_EQ(client.ReadLine(), "next");
  }
}

TEST_F(MemoryConnectionTest, UnterminatedGarbageIsBoundedByTheLimit) {
  Open({std::string(20000, 'g'), std::string(20000, 'g')}, false);
  EXPECT_THROW(client_.ReadLine(), EReadLnMaxLineLengthExceeded);
  EXPECT_LE(client_.InputBuffer.Size(), 40000u);
}

TEST_F(MemoryConnectionTest, LastLineWithoutTerminatorFailsButStreamReadKeepsIt) {
  Open({"full\nhalf"});
  EXPECT_EQ(client_.ReadLine(), "full");
  EXPECT_THROW(client_.ReadLine(), EConnClosedGracefully);
  TStringStream stream;
  client_.ReadIntoStream(stream, -1, true);
  EXPECT_EQ(stream.DataString(), "half");
  EXPECT_FALSE(client_.IsConnected());
}

TEST_F(MemoryConnectionTest, ExplicitTimeoutReturnsEmptyLine) {
  Open({"partial"}, false);
  EXPECT_EQ(client_.ReadLine("\n", 10), "");
  EXPECT_TRUE(client_.LineTimedOut);
  EXPECT_THROW(client_.ReadLine("\n", -1), EReadTimeout);
}

TEST_F(MemoryConnectionTest, ReadIntoStreamCounts) {
  Open({"0123456789"});
  TStringStream stream;
  client_.ReadIntoStream(stream, 0);
  EXPECT_EQ(stream.Size(), 0);
  client_.ReadIntoStream(stream, 4);
  EXPECT_EQ(stream.DataString(), "0123");
  // Asked for 9, the peer closes after 6: the 6 arrive and the failure propagates.
  EXPECT_THROW(client_.ReadIntoStream(stream, 9), EConnClosedGracefully);
  EXPECT_EQ(stream.DataString(), "0123456789");
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST_F(MemoryConnectionTest, AsciiFilterMasksEveryByte) {
  Open({"\xC1\xC2\n", "\xC1\n"});
  client_.ASCIIFilter = true;
  EXPECT_EQ(client_.ReadLine(), "AB");
  EXPECT_EQ(client_.ReadLine(), "A");
}

TEST_F(MemoryConnectionTest, InterceptsFilterBothWaysInChainOrder) {
  TConnectionIntercept outer, inner;
  outer.SetIntercept(&inner);
  EXPECT_THROW(inner.SetIntercept(&outer), EInterceptCircularLink);
  std::string order;
  inner.OnReceive = [&](std::string& block) {
    order += "inner ";
    block += "!";
  };
  outer.OnReceive = [&](std::string& block) {
    order += "outer";
    block += "\n";
  };
  outer.OnSend = [](std::string& block) { block = "[" + block + "]"; };
  client_.Intercept = &outer;
  Open({"hi"}, false);
  EXPECT_EQ(client_.ReadLine(), "hi!");
  EXPECT_EQ(order, "inner outer");
  client_.WriteText("x");
  EXPECT_EQ(transport_.Output(), "[x]");
}

TEST_F(MemoryConnectionTest, WriteBatchSendsOnceOrNothing) {
  Open({}, false);
  client_.OpenWriteBatch();
  client_.WriteLine("a");
  client_.WriteLine("b");
  EXPECT_EQ(transport_.Output(), "");
  client_.CloseWriteBatch();
  EXPECT_EQ(transport_.Output(), "a\r\nb\r\n");
  client_.OpenWriteBatch();
  client_.WriteText("dropped");
  client_.DiscardWriteBatch();
  EXPECT_FALSE(client_.WriteBatchOpen());
  EXPECT_EQ(transport_.Output(), "a\r\nb\r\n");
}

TEST(ManagedBufferTest, CompactsOnlyAfterThreshold) {
  TManagedBuffer buffer;
  std::string block(40000, 'a');
  buffer.Append(block.data(), block.size());
  buffer.Remove(30000);
  EXPECT_EQ(buffer.ReadOffset(), 30000u);
  buffer.Remove(3000);
  EXPECT_EQ(buffer.ReadOffset(), 0u);
  EXPECT_EQ(buffer.Size(), 7000u);
  EXPECT_THROW(buffer.Remove(7001), ENotEnoughDataInBuffer);
  buffer.Remove(7000);
  EXPECT_EQ(buffer.Size(), 0u);
}

TEST(AddressTest, ParsesTheFourDottedForms) {
  struct Case {
    const char* text;
    bool valid;
    uint32_t address;
  } cases[] = {
      {"1.2.3.4", true, 0x01020304},
      {"1.2.772", true, 0x01020304},
      {"1.131844", true, 0x01020304},
      {"16909060", true, 0x01020304},
      {"4294967295", true, 0xFFFFFFFF},
      {"4294967296", false, 0},
      {"1.2.3.256", false, 0},
      {"1.2.65536", false, 0},
      {"256.1.1.1", false, 0},
      {"1.2.3.4.5", false, 0},
      {"1..2", false, 0},
      {"h.example", false, 0},
      {"", false, 0},
      {"-1", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t address = 0;
    EXPECT_EQ(ParseDottedAddress(c.text, address), c.valid);
    if (c.valid) {
      EXPECT_EQ(address, c.address);
    }
  }
  TStackReference stack;
  EXPECT_EQ(ResolveHost("LocalHost"), "127.0.0.1");
  EXPECT_EQ(ResolveHost("1.2.772"), "1.2.772");
  // A limit never sends these two to a lookup thread.
  EXPECT_EQ(ResolveHost("localhost", 1), "127.0.0.1");
  EXPECT_EQ(ResolveHost("10.1.2.3", 1), "10.1.2.3");
}

// A loopback port that refuses every connect while this lives: bound but never listening, and
// without address reuse, so no server of a test running alongside can be given the port.
class TRefusingPort {
 public:
  TRefusingPort() : handle_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    if (::bind(handle_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::getsockname(handle_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
      ADD_FAILURE() << "cannot bind a loopback port";
    }
    port_ = ntohs(sa.sin_port);
  }
  ~TRefusingPort() { ::close(handle_); }
  TRefusingPort(const TRefusingPort&) = delete;
  TRefusingPort& operator=(const TRefusingPort&) = delete;

  uint16_t Port() const { return port_; }

 private:
  int handle_;
  uint16_t port_ = 0;
};

TEST(SocketConnectionTest, RefusedConnectReadsLikeTheWindowsMessage) {
  TRefusingPort refusing;
  TTcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(refusing.Port());
  auto failure = test::ExpectThrow<ESocketError>([&] { client.Connect(); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->ErrorCode(), kWsaConnRefused);
  EXPECT_STREQ(failure->what(), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_FALSE(client.IsConnected());
}

TEST(SocketConnectionTest, ConnectTimeLimitOnAFullListener) {
  test::TFullBacklogListener listener;
  TTcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(listener.Port());
  auto failure = test::ExpectThrow<EConnectTimeout>([&] { client.Connect(300); });
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->what(), "Connect timed out.");
  EXPECT_FALSE(client.IsConnected());
}

// Keeps the socket from the moment it exists, as a transport that is aborted from another
// thread does.
class TRecordingTransport : public TSocketTransport {
 public:
  std::atomic<int> handle{-1};

 protected:
  void SocketAllocated(int allocated) override { handle = allocated; }
};

// True once the connect on `handle` has sent its SYN and waits for an answer.
bool IsConnecting(int handle) {
  tcp_info info{};
  socklen_t length = sizeof info;
  return ::getsockopt(handle, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
         info.tcpi_state == TCP_SYN_SENT;
}

TEST(SocketConnectionTest, ShutdownFromAnotherThreadEndsAConnectInProgress) {
  using Clock = std::chrono::steady_clock;
  // With a limit the connect runs on a helper thread; without one, on the caller's.
  for (int limit : {20000, 0}) {
    SCOPED_TRACE(limit);
    test::TFullBacklogListener listener;
    TRecordingTransport transport;
    TTcpClient client;
    client.SetTransport(&transport);
    client.SetHost("127.0.0.1");
    client.SetPort(listener.Port());
    std::thread aborter([&transport] {
      // The shutdown must find the connect under way; a bounded wait for that, not a guess.
      const auto give_up = Clock::now() + std::chrono::seconds(5);
      while (Clock::now() < give_up &&
             (transport.handle == -1 || !IsConnecting(transport.handle))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (transport.handle != -1) TSocketStack::Instance().ShutdownBoth(transport.handle);
    });
    const auto start = Clock::now();
    test::ExpectThrow<ESocketError>([&] { client.Connect(limit); });
    aborter.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(SocketConnectionTest, AnIdleHookThatRaisesDuringAConnectEndsItCleanly) {
  class EHookAbort : public std::runtime_error {
   public:
    EHookAbort() : std::runtime_error("aborted by the host") {}
  };
  class AbortingHook : public TIdleHook {
   protected:
    void ProcessStep(bool) override { throw EHookAbort(); }
  };
  // With a limit, and without one (where only the hook can end the wait).
  for (int limit : {20000, -2}) {
    SCOPED_TRACE(limit);
    test::TFullBacklogListener listener;
    TTcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(listener.Port());
    AbortingHook hook;
    hook.IdleTimeOut = 10;
    const auto start = std::chrono::steady_clock::now();
    auto failure = test::ExpectThrow<EHookAbort>([&] { client.Connect(limit); });
    // The connector was cut, not waited out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(failure.has_value());
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(SocketConnectionTest, BoundedLookupFailsWithinItsLimit) {
  TStackReference stack;
  // No resolver knows the name; a slow one is given up on when the limit passes.
  const auto start = std::chrono::steady_clock::now();
  try {
    ResolveHost("qelvu-no-such-host.invalid", 1000);
    ADD_FAILURE() << "the name resolved";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.ErrorCode(), kWsaHostNotFound);
  } catch (const EConnectTimeout&) {
    // The resolver was slow to answer; the limit ended the wait.
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

TEST(SocketConnectionTest, ProbeNoticesAPeerThatClosedAnIdleConnection) {
  test::TLoopbackServer server;
  server.AddConnection(test::TServerScript().Send("hello\n").Close());
  TTcpClient client;
  client.SetHost("localhost");
  client.SetPort(server.Port());
  client.Connect(1000);
  EXPECT_EQ(client.ReadLine(), "hello");
  EXPECT_TRUE(client.IsConnected());
  for (int i = 0; i < 200 && client.IsConnected(); ++i) client.ProbePeerClosed(false);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_THROW(client.ReadLine(), EConnClosedGracefully);
}

TEST(SocketConnectionTest, ReportsStatusAndWorkAndServesTheIdleHook) {
  class CountingHook : public TIdleHook {
   public:
    int steps = 0;

   protected:
    void ProcessStep(bool) override { ++steps; }
  };
  test::TLoopbackServer server;
  server.AddConnection(test::TServerScript().Delay(100).Send("0123456789"));
  TTcpClient client;
  std::vector<std::string> events;
  client.OnStatus = [&](TStatus, const std::string& text) { events.push_back(text); };
  int64_t work_total = 0;
  int work_pairs = 0;
  client.OnWorkBegin = [&](TWorkMode, int64_t) { ++work_pairs; };
  client.OnWork = [&](TWorkMode, int64_t total) { work_total = total; };
  client.SetHost("localhost");
  client.SetPort(server.Port());
  CountingHook hook;
  hook.IdleTimeOut = 10;
  client.Connect();
  TStringStream stream;
  client.ReadIntoStream(stream, 10);
  client.Disconnect();
  EXPECT_EQ(stream.DataString(), "0123456789");
  EXPECT_GT(hook.steps, 0);
  EXPECT_EQ(work_pairs, 1);
  EXPECT_EQ(work_total, 10);
  EXPECT_EQ(events,
            (std::vector<std::string>{"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                      "Connected.", "Disconnecting.", "Disconnected."}));
}

TEST(SocketConnectionTest, ResetMidStreamRaisesTheSocketError) {
  test::TLoopbackServer server;
  server.AddConnection(test::TServerScript().Send("abc").Delay(50).Reset());
  TTcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.Connect();
  TStringStream stream;
  auto failure = test::ExpectThrow<ESocketError>([&] { client.ReadIntoStream(stream, 100); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->ErrorCode(), kWsaConnReset);
  EXPECT_EQ(stream.DataString(), "abc");
  EXPECT_FALSE(client.IsConnected());
}

TEST(StringStreamTest, WritesOverwriteAtThePositionAndExtendPastTheEnd) {
  const struct {
    const char* name;
    int64_t position;
    const char* bytes;
    const char* expected;
  } cases[] = {
      {"append at the end", 6, "gh", "abcdefgh"},
      {"inside", 1, "XY", "aXYdef"},
      {"across the end", 4, "XYZ", "abcdXYZ"},
      {"at the start, whole", 0, "123456", "123456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TStringStream stream("abcdef");
    stream.SetPosition(c.position);
    stream.Write(c.bytes, static_cast<int64_t>(std::strlen(c.bytes)));
    EXPECT_EQ(stream.DataString(), c.expected);
    EXPECT_EQ(stream.Position(), c.position + static_cast<int64_t>(std::strlen(c.bytes)));
  }
}

}  // namespace
}  // namespace qelvu

namespace qelvu {
namespace {

// A client connected to a loopback server that runs `script`.
class NumericReplyTest : public ::testing::Test {
 protected:
  void Connect(test::TServerScript script) {
    server_.AddConnection(std::move(script));
    client_.SetHost("127.0.0.1");
    client_.SetPort(server_.Port());
    client_.ReadTimeout = 5000;
    client_.Connect(5000);
  }

  test::TLoopbackServer server_;
  TTcpClient client_;
};

TEST(NumericReplyFormTest, RepliesEndWhereTheirProtocolSays) {
  struct Case {
    const char* name;
    std::string answer;
    int code;
    std::vector<std::string> lines;
  } cases[] = {
      {"one line", "220 ready\r\n", 220, {"220 ready"}},
      {"blank lines before it", "\r\n  \r\n220 ready\r\nnext\r\n", 220, {"220 ready"}},
      {"several lines",
       "250-one\r\n250-two\r\n250 end\r\nnext\r\n",
       250,
       {"250-one", "250-two", "250 end"}},
      {"a line of another code inside",
       "250-one\r\n251 not the end\r\n250 end\r\n",
       250,
       {"250-one", "251 not the end", "250 end"}},
      {"ended by a short line", "250-one\r\nok\r\nnext\r\n", 250, {"250-one", "ok"}},
      {"no number", "hello there\r\n", 0, {"hello there"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TLoopbackServer server;
    server.AddConnection(test::TServerScript().Send(c.answer));
    TTcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.ReadTimeout = 5000;
    client.Connect(5000);
    TNumericReply reply = client.ReadReply();
    EXPECT_EQ(reply.Code, c.code);
    EXPECT_EQ(reply.Lines, c.lines);
    // Nothing past the reply was taken.
    if (c.answer.ends_with("next\r\n")) {
      EXPECT_EQ(client.ReadLine(), "next");
    }
  }
}

TEST_F(NumericReplyTest, ACommandGetsItsReplyCheckedAgainstTheAllowedCodes) {
  Connect(test::TServerScript()
              .ReadBytes(9)
              .Send("250 hello\r\n")
              .ReadBytes(11)
              .Send("550-no such user\r\n550 go away\r\n"));
  TNumericReply reply = client_.SendCommand("HELO me", {250, 251});
  EXPECT_EQ(reply.Code, 250);
  auto failure =
      test::ExpectThrow<EProtocolReplyError>([&] { client_.SendCommand("RCPT to:x", {250}); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->ErrorCode(), 550);
  EXPECT_STREQ(failure->what(), "550-no such user\n550 go away");
  EXPECT_EQ(server_.Requests(), (std::vector<std::string>{"HELO me\r\n", "RCPT to:x\r\n"}));
  // A command with a line break would be two commands.
  EXPECT_THROW(client_.SendCommand("QUIT\r\nDELE 1"), EInvalidHeaderText);
}

TEST_F(NumericReplyTest, AReplyThatNeverEndsIsBounded) {
  Connect(test::TServerScript().SendRepeated("250-more\r\n", 200000));
  EXPECT_THROW(client_.ReadReply(), EProtocolReplyError);
  EXPECT_LE(client_.InputBuffer.Size(), TTcpConnection::kMaxReplyBytes);
}

TEST(ConnectAndReadAllTest, TakesEverythingUntilThePeerCloses) {
  test::TLoopbackServer server;
  server.AddConnection(
      test::TServerScript().Send("banner\r\n").Delay(50).Send("last words").Close());
  TTcpClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.Port());
  client.ReadTimeout = 5000;
  EXPECT_EQ(client.ConnectAndReadAll(5000), "banner\r\nlast words");
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
}  // namespace qelvu
