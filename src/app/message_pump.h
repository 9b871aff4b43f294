// `TMessagePump`: runs the window thread's pending messages for a caller that asks very often.
//
// A scrape on the window's thread asks after every channel link. Running the queue each time
// would cost more than the matching (every pass lays out and paints the growing tree), so the
// pump runs it on the first request and then whenever `kIntervalMs` have passed since the last
// run: often enough to keep the window painting and its timers ticking. Window thread only.
#pragma once

#include <QElapsedTimer>

namespace qelvu {

class TMessagePump {
 public:
  static constexpr int kIntervalMs = 10;

  // Runs the messages already pending, without waiting for more, unless the last run was less
  // than kIntervalMs ago.
  void ProcessPendingMessages();

 private:
  QElapsedTimer last_run_;
};

}  // namespace qelvu
