#include "app/message_pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <thread>

namespace qelvu {
namespace {

// Queues a call on the window thread's loop; `ran` counts the calls that have run.
void Post(QObject& context, int& ran) {
  QMetaObject::invokeMethod(
      &context, [&ran] { ++ran; }, Qt::QueuedConnection);
}

TEST(MessagePumpTest, RunsPendingMessagesOnTheFirstRequestAndAfterTheInterval) {
  QObject context;
  TMessagePump pump;
  int ran = 0;
  Post(context, ran);
  pump.ProcessPendingMessages();
  EXPECT_EQ(ran, 1);

  Post(context, ran);
  std::this_thread::sleep_for(std::chrono::milliseconds(TMessagePump::kIntervalMs + 5));
  pump.ProcessPendingMessages();
  EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace qelvu
