#include "http/deadline_transport.h"

#include <algorithm>
#include <cstdint>

#include "http/net_exceptions.h"

namespace qelvu {

int TDeadlineTransport::MillisecondsLeft() const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
  if (left.count() <= 0) throw EReadTimeout(expired_message_);
  return static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
}

bool TDeadlineTransport::Readable(int timeout_ms) {
  const int left = MillisecondsLeft();
  // -2 (and any other negative value) waits without a limit of its own.
  if (timeout_ms >= 0 && timeout_ms <= left) return TTlsTransport::Readable(timeout_ms);
  if (TTlsTransport::Readable(left)) return true;
  throw EReadTimeout(expired_message_);
}

void TDeadlineTransport::ConnectTransport(const TConnectTarget& target) {
  TConnectTarget bounded = target;
  const int left = MillisecondsLeft();
  if (bounded.Timeout <= 0 || bounded.Timeout > left) bounded.Timeout = left;
  TTlsTransport::ConnectTransport(bounded);
}

}  // namespace qelvu
