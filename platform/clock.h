// Time as the program's timing code sees it: a monotonic clock and a sleep.
// Production code uses SystemClock; tests that must not wait in real time give a
// ManualClock, whose sleeps advance its time at once.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

class Clock {
 public:
  using duration = std::chrono::steady_clock::duration;
  using time_point = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual time_point now() const = 0;
  virtual void sleepFor(duration d) = 0;

  // Milliseconds since an arbitrary start, as a tick count.
  uint64_t ticksMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now().time_since_epoch()).count());
  }
};

class SystemClock final : public Clock {
 public:
  time_point now() const override { return std::chrono::steady_clock::now(); }
  void sleepFor(duration d) override { std::this_thread::sleep_for(d); }
  static SystemClock& instance() {
    static SystemClock clock;
    return clock;
  }
};

// Virtual time: starts at zero; sleepFor and advance move it forward.
class ManualClock final : public Clock {
 public:
  time_point now() const override { return time_point(duration(now_.load())); }
  void sleepFor(duration d) override { advance(d); }
  void advance(duration d) { now_.fetch_add(d.count()); }

 private:
  std::atomic<duration::rep> now_{0};
};

}  // namespace platform
