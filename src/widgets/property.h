// Shared by the widgets' property setters, which act only when a value changes.
#pragma once

namespace qelvu {

// Stores `value` in `field`; true when that changed it.
template <typename T, typename U>
bool Assign(T& field, const U& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace qelvu
