// The error the widgets raise, carrying their fixed messages.
#pragma once

#include <stdexcept>

namespace qelvu {

class EWidgetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qelvu
