#include "interval_timer.h"

#include <algorithm>

namespace exporters {

IntervalTimer::IntervalTimer(QObject* parent, platform::Clock& clock) : QObject(parent), clock_(clock) {
  wake_.setSingleShot(true);
  wake_.setTimerType(Qt::PreciseTimer);
  connect(&wake_, &QTimer::timeout, this, [this] { Poll(); });
}

void IntervalTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (!on) {
    wake_.stop();
    return;
  }
  due_ = clock_.now() + interval_;
  Schedule();
}

void IntervalTimer::Poll() {
  if (!enabled_) return;
  if (clock_.now() >= due_) {
    due_ += interval_;
    // The next interval counts from now when the handler was late by more than one.
    if (due_ <= clock_.now()) due_ = clock_.now() + interval_;
    if (OnTimer) OnTimer();  // may disable the timer
  }
  if (enabled_) Schedule();
}

void IntervalTimer::Schedule() {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due_ - clock_.now());
  wake_.start(std::max(left, std::chrono::milliseconds(0)));
}

}  // namespace exporters
