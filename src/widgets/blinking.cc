#include "widgets/blinking.h"

#include <algorithm>
#include <memory>

namespace qelvu {
namespace {

std::unique_ptr<TBlinkingControlsList>& Live() {
  static std::unique_ptr<TBlinkingControlsList> list;
  return list;
}

}  // namespace

TBlinkingControlsList* TBlinkingControlsList::Instance() { return Live().get(); }

TBlinkingControlsList::TBlinkingControlsList() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  timer_.start(500);
}

void TBlinkingControlsList::Tick() {
  state_ = !state_;
  timer_.setInterval(state_ ? interval_on_ : interval_off_);
  // A control may unregister while it reacts; walk a copy.
  const std::vector<TBlinkingControl*> controls = controls_;
  for (TBlinkingControl* control : controls) {
    if (control->IsBlinking()) control->BlinkStateChanged(state_);
  }
}

void TBlinkingControlsList::Register(TBlinkingControl* control) {
  if (!Live()) Live().reset(new TBlinkingControlsList());
  Live()->controls_.push_back(control);
}

void TBlinkingControlsList::Unregister(TBlinkingControl* control) {
  if (!Live()) return;
  auto& controls = Live()->controls_;
  controls.erase(std::remove(controls.begin(), controls.end(), control), controls.end());
  if (controls.empty()) Live().reset();
}

TBlinkingRegistration::TBlinkingRegistration(TBlinkingControl* control) : control_(control) {
  TBlinkingControlsList::Register(control_);
}

TBlinkingRegistration::~TBlinkingRegistration() { TBlinkingControlsList::Unregister(control_); }

}  // namespace qelvu
