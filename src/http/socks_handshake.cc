// The SOCKS 4, 4A and 5 client handshakes of the socket transport.
#include <cstdint>
#include <string>

#include "http/net_exceptions.h"
#include "http/transport.h"

namespace qelvu {
namespace {

std::string PortBytes(int port) {
  return {static_cast<char>((port >> 8) & 0xFF), static_cast<char>(port & 0xFF)};
}

// A length byte followed by the text. A longer text cannot be put into the message: cutting
// it would ask for another host or log in as another user than the caller named.
template <typename Failure>
std::string Counted(const std::string& text, const char* message) {
  if (text.size() > 255) throw Failure(message);
  return static_cast<char>(text.size()) + text;
}

[[noreturn]] void RaiseSocks4Reply(unsigned char code) {
  switch (code) {
    case 91:
      throw ESocksRequestFailed("Request rejected or failed.");
    case 92:
      throw ESocksRequestServerFailed("Request rejected because SOCKS server cannot connect.");
    case 93:
      throw ESocksRequestIdentFailed(
          "Request rejected because the client program and identd report different user-ids.");
    default:
      throw ESocksUnknownError("Unknown socks error.");
  }
}

[[noreturn]] void RaiseSocks5Reply(unsigned char code) {
  switch (code) {
    case 1:
      throw ESocksServerGeneralError("General SOCKS server failure.");
    case 2:
      throw ESocksServerPermissionError("Connection not allowed by ruleset.");
    case 3:
      throw ESocksServerNetUnreachableError("Network unreachable.");
    case 4:
      throw ESocksServerHostUnreachableError("Host unreachable.");
    case 5:
      throw ESocksServerConnectionRefusedError("Connection refused.");
    case 6:
      throw ESocksServerTTLExpiredError("TTL expired.");
    case 7:
      throw ESocksServerCommandError("Command not supported.");
    case 8:
      throw ESocksServerAddressError("Address type not supported.");
    default:
      throw ESocksUnknownError("Unknown socks error.");
  }
}

}  // namespace

void TSocketTransport::SocksSend(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    int error = 0;
    int n =
        TSocketTransport::Send(bytes.data() + sent, static_cast<int>(bytes.size() - sent), error);
    if (n < 0) throw ESocketError(error);
    if (n == 0) throw ESocksServerRespondError("Socks server did not respond.");
    sent += static_cast<size_t>(n);
  }
}

std::string TSocketTransport::SocksReceive(int count, const TStepDeadline& step) {
  // Replies may arrive split across packets; each part waits for the rest, within what is left
  // of the handshake's time, and nothing past the reply is taken from the socket, so the first
  // byte after it belongs to the caller.
  std::string reply(static_cast<size_t>(count), '\0');
  int have = 0;
  while (have < count) {
    int error = 0;
    int n = TSocketTransport::Readable(step.Remaining())
                ? TSocketTransport::Receive(reply.data() + have, count - have, error)
                : 0;
    if (n <= 0) throw ESocksServerRespondError("Socks server did not respond.");
    have += n;
  }
  return reply;
}

void RunSocksHandshake(const TSocksInfo& socks, const TConnectTarget& target,
                       const TSocksChannel& channel) {
  const std::string& host = target.Host;
  if (socks.Version == TSocksVersion::svSocks4 || socks.Version == TSocksVersion::svSocks4A) {
    bool by_name = socks.Version == TSocksVersion::svSocks4A;
    std::string request = "\x04\x01" + PortBytes(target.Port);
    uint32_t address = 1;  // 0.0.0.1: the server resolves the name that follows
    if (!by_name) ParseDottedAddress(channel.resolve(host), address);
    for (int shift = 24; shift >= 0; shift -= 8) {
      request += static_cast<char>((address >> shift) & 0xFF);
    }
    request += socks.Username.substr(0, 255);
    request += '\0';
    if (by_name) {
      request += host;
      request += '\0';
    }
    channel.send(request);
    std::string reply = channel.receive(8);
    if (static_cast<unsigned char>(reply[1]) != 90) RaiseSocks4Reply(reply[1]);
    return;
  }

  bool with_password = socks.Authentication == TSocksAuthentication::saUsernamePassword;
  char method = with_password ? 2 : 0;
  channel.send(std::string{5, 1, method});
  if (channel.receive(2)[1] != method) {
    throw ESocksAuthMethodError("Invalid socks authentication method.");
  }
  if (with_password) {
    const char* message = "Authentication error to socks server.";
    channel.send("\x01" + Counted<ESocksAuthError>(socks.Username, message) +
                 Counted<ESocksAuthError>(socks.Password, message));
    if (channel.receive(2)[1] != 0) throw ESocksAuthError(message);
  }
  channel.send(std::string{5, 1, 0, 3} +
               Counted<ESocksServerAddressError>(host, "Address type not supported.") +
               PortBytes(target.Port));
  std::string reply = channel.receive(5);
  if (reply[1] != 0) RaiseSocks5Reply(static_cast<unsigned char>(reply[1]));
  switch (reply[3]) {
    case 1:
      channel.receive(5);
      break;
    case 3:
      channel.receive(static_cast<unsigned char>(reply[4]) + 2);
      break;
    case 4:
      channel.receive(17);
      break;
    default:
      break;
  }
}

void TSocketTransport::SocksHandshake(const TConnectTarget& target, const TStepDeadline& step) {
  RunSocksHandshake(SocksInfo, target,
                    {[this](const std::string& bytes) { SocksSend(bytes); },
                     [this, &step](int count) { return SocksReceive(count, step); },
                     [&step](const std::string& host) {
                       // A lookup limit of 0 would mean none at all.
                       const int left = step.Remaining();
                       return ResolveHost(host, left == 0 ? 1 : left);
                     }});
}

}  // namespace qelvu
