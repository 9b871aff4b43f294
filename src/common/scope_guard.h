// Cleanup that runs on every way out of a scope.
//
// `TScopeGuard` runs its callable when it goes out of scope unless `Release` was called first:
// the cleanup of a step that may fail is written once, next to what it undoes, instead of in a
// catch block that rethrows. `TScopedValue` gives a variable a value for one scope and puts the
// old one back on the way out. Both are neither copyable nor movable; the callable must not
// throw (it runs from a destructor).
#pragma once

#include <utility>

namespace qelvu {

template <typename F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F cleanup) : cleanup_(std::move(cleanup)) {}
  ~TScopeGuard() {
    if (armed_) cleanup_();
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  // The step succeeded: nothing is undone.
  void Release() { armed_ = false; }

 private:
  F cleanup_;
  bool armed_ = true;
};

template <typename T>
class TScopedValue {
 public:
  TScopedValue(T& target, T value) : target_(target), saved_(std::move(target)) {
    target_ = std::move(value);
  }
  ~TScopedValue() { target_ = std::move(saved_); }
  TScopedValue(const TScopedValue&) = delete;
  TScopedValue& operator=(const TScopedValue&) = delete;

 private:
  T& target_;
  T saved_;
};

}  // namespace qelvu
