// The error the widgets raise, carrying their fixed messages.
#ifndef QELVU_WIDGETS_WIDGET_ERROR_H_
#define QELVU_WIDGETS_WIDGET_ERROR_H_

#include <stdexcept>

namespace qelvu {

class EWidgetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qelvu

#endif  // QELVU_WIDGETS_WIDGET_ERROR_H_
