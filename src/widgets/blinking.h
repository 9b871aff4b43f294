// The one blink clock shared by every blinking-capable widget (status panes and labels).
//
// `TBlinkingControlsList` owns one repeating timer that flips a shared on/off state, waiting
// `BlinkIntervalOn` after switching on and `BlinkIntervalOff` after switching off, and hands
// each new state to every registered control that says it is blinking. The list is created
// by the first registration and destroyed when the last control unregisters, so its timer
// runs exactly while such a widget exists. Widgets hold a `TBlinkingRegistration`.
// User-interface thread only.
#pragma once

#include <QTimer>
#include <cstdint>
#include <vector>

namespace qelvu {

class TBlinkingControl {
 public:
  virtual bool IsBlinking() const = 0;
  // The shared state has just flipped to `on` (the blink colour) or back.
  virtual void BlinkStateChanged(bool on) = 0;

 protected:
  ~TBlinkingControl() = default;
};

class TBlinkingControlsList {
 public:
  // The live list, or nullptr while nothing is registered.
  static TBlinkingControlsList* Instance();

  bool BlinkState() const { return state_; }
  std::uint16_t BlinkIntervalOn() const { return interval_on_; }
  std::uint16_t BlinkIntervalOff() const { return interval_off_; }
  void SetBlinkIntervalOn(std::uint16_t ms) { interval_on_ = ms; }
  void SetBlinkIntervalOff(std::uint16_t ms) { interval_off_ = ms; }
  int Count() const { return static_cast<int>(controls_.size()); }
  bool TimerActive() const { return timer_.isActive(); }

  // One timer tick: flip, set the next interval, tell the blinking controls.
  void Tick();

 private:
  friend class TBlinkingRegistration;
  TBlinkingControlsList();
  static void Register(TBlinkingControl* control);
  static void Unregister(TBlinkingControl* control);

  QTimer timer_;
  std::vector<TBlinkingControl*> controls_;
  bool state_ = false;
  std::uint16_t interval_on_ = 500;
  std::uint16_t interval_off_ = 500;
};

// Keeps one control registered with the shared list for its own lifetime.
class TBlinkingRegistration {
 public:
  explicit TBlinkingRegistration(TBlinkingControl* control);
  ~TBlinkingRegistration();
  TBlinkingRegistration(const TBlinkingRegistration&) = delete;
  TBlinkingRegistration& operator=(const TBlinkingRegistration&) = delete;

  // The list this registration keeps alive.
  TBlinkingControlsList& List() const { return *TBlinkingControlsList::Instance(); }

 private:
  TBlinkingControl* control_;
};

}  // namespace qelvu
