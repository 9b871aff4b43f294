#include "channels/dropped_failure.h"

// Info level: off until a logging rule turns it on, so the program stays silent by default.
Q_LOGGING_CATEGORY(qelvu::lcScrape, "qelvu.scrape", QtWarningMsg)
Q_LOGGING_CATEGORY(qelvu::lcRefresh, "qelvu.refresh", QtWarningMsg)
Q_LOGGING_CATEGORY(qelvu::lcList, "qelvu.list", QtWarningMsg)

namespace qelvu {

void LogDroppedFailure(const QLoggingCategory& category, const char* what,
                       std::exception_ptr failure) noexcept {
  if (!category.isInfoEnabled()) return;
  try {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      qCInfo(category, "%s failed: %s", what, e.what());
    } catch (...) {
      qCInfo(category, "%s failed: unknown failure", what);
    }
  } catch (...) {
    // Writing the log line itself failed (out of memory): there is nowhere left to report it.
  }
}

}  // namespace qelvu
