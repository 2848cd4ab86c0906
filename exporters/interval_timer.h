// A timer that fires every interval while it is enabled, measured on a Clock. The
// program's event loop wakes it when an interval should have passed; tests with a
// ManualClock advance the clock and call Poll, so no test waits in real time.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

#include "platform/clock.h"

namespace exporters {

class IntervalTimer : public QObject {
 public:
  explicit IntervalTimer(QObject* parent = nullptr, platform::Clock& clock = platform::SystemClock::instance());

  // Takes effect from the next enabling.
  void SetInterval(std::chrono::milliseconds interval) { interval_ = interval; }
  std::chrono::milliseconds Interval() const { return interval_; }
  // Enabling a disabled timer starts a new interval from now; enabling an enabled one
  // changes nothing.
  void SetEnabled(bool on);
  bool Enabled() const { return enabled_; }
  // Fires OnTimer once when the interval has passed on the clock (then the next
  // interval begins), and arranges to be woken for the next one.
  void Poll();

  std::function<void()> OnTimer;

 private:
  void Schedule();

  platform::Clock& clock_;
  QTimer wake_;
  std::chrono::milliseconds interval_{1000};
  platform::Clock::time_point due_{};
  bool enabled_ = false;
};

}  // namespace exporters
