// Checks that a call fails with a given exception type and hands the exception back, so that a
// test can go on to check its message or fields.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <typeinfo>

namespace qelvu::test {

// Runs `fn`; returns what it threw as E. Throwing nothing, or something else, fails the test and
// gives nullopt (use `.value()` or check before reading it).
template <typename E, typename F>
std::optional<E> ExpectThrow(F&& fn) {
  try {
    fn();
  } catch (const E& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "expected " << typeid(E).name() << ", caught " << typeid(e).name() << ": "
                  << e.what();
    return std::nullopt;
  } catch (...) {
    ADD_FAILURE() << "expected " << typeid(E).name() << ", caught something else";
    return std::nullopt;
  }
  ADD_FAILURE() << "expected " << typeid(E).name() << ", nothing was thrown";
  return std::nullopt;
}

}  // namespace qelvu::test
