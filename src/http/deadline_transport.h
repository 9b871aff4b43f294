// `TDeadlineTransport`: the TLS transport (plain for http) with one deadline over a whole
// transfer.
//
// The client's limits count per read, so a server that sends a byte now and then would reset
// them forever; this transport measures every wait, and every connect (a redirect's, a SOCKS
// handshake's), against one point in time set for the transfer. Past it, a wait raises
// EReadTimeout with the message given at construction. One thread at a time, like the client.
#pragma once

#include <chrono>
#include <string>

#include "http/tls_transport.h"

namespace qelvu {

class TDeadlineTransport : public TTlsTransport {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TDeadlineTransport(std::string expired_message = "Read Timeout")
      : expired_message_(std::move(expired_message)) {}

  // Clock::time_point::max() (the default) is no deadline.
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }

  bool Readable(int timeout_ms) override;
  // Connects within the connect limit or the time left, whichever ends first.
  void ConnectTransport(const TConnectTarget& target) override;

 private:
  // Raises once the deadline has passed.
  int MillisecondsLeft() const;

  std::string expired_message_;
  Clock::time_point deadline_ = Clock::time_point::max();
};

}  // namespace qelvu
