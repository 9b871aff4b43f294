#include "app/message_pump.h"

#include <QCoreApplication>

namespace qelvu {

void TMessagePump::ProcessPendingMessages() {
  if (last_run_.isValid() && last_run_.elapsed() < kIntervalMs) return;
  QCoreApplication::processEvents();
  // Measured from the end of the run, so a slow pass (a large repaint) is not followed at once
  // by another.
  last_run_.start();
}

}  // namespace qelvu
