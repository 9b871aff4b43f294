// Failures the program drops on purpose, and where they are written down.
//
// The channel list is a convenience: a directory site that cannot be read, a cache that cannot
// be written or a refresh that cannot start leaves things as they were and shows the user
// nothing. Such a failure still goes to a log category, off by default, so that someone chasing
// a problem can see it:
//
//   QT_LOGGING_RULES="qelvu.*.info=true" qelvu
//
// Categories: "qelvu.scrape" (downloading and cutting up the directory site, saving the cache),
// "qelvu.refresh" (the background refresh and the lists it hands to the window), "qelvu.list"
// (reading the cache file into the tree). Any thread.
#pragma once

#include <QLoggingCategory>
#include <exception>

namespace qelvu {

Q_DECLARE_LOGGING_CATEGORY(lcScrape)
Q_DECLARE_LOGGING_CATEGORY(lcRefresh)
Q_DECLARE_LOGGING_CATEGORY(lcList)

// Writes "`what` failed: <the failure's text>" to `category` at info level. Never throws.
void LogDroppedFailure(const QLoggingCategory& category, const char* what,
                       std::exception_ptr failure) noexcept;

// Runs `step`; whatever it throws is logged under `what` and dropped. True when `step` ended
// normally.
template <typename F>
bool DropFailure(const QLoggingCategory& category, const char* what, F&& step) noexcept {
  try {
    step();
    return true;
  } catch (...) {
    LogDroppedFailure(category, what, std::current_exception());
    return false;
  }
}

}  // namespace qelvu
