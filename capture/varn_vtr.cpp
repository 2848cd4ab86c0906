#include "capture/varn_vtr.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace capture {

using namespace std::chrono_literals;

namespace {
constexpr VarnTemplate kDetailedStatus{0x48, 0x4E, 0x20, 0, 0, 0, 0};
constexpr VarnTemplate kStepForward{0x48, 0x46, 0x75, 0x01, 0, 0, 0};
constexpr VarnTemplate kStepBack{0x48, 0x46, 0x65, 0x01, 0, 0, 0};
constexpr VarnTemplate kNewerDevice{0x48, 0x53, 0x70, 0, 0, 0, 0};
// Status queries after a command until the device no longer reports it executing.
constexpr int kDoneQueries = 202;

// Holds the bus for a GUI sequence; refuses when another sequence holds it.
class BusHold {
 public:
  explicit BusHold(std::atomic<bool>& busy) : busy_(busy) {
    bool expected = false;
    held_ = busy_.compare_exchange_strong(expected, true);
  }
  ~BusHold() {
    if (held_) busy_ = false;
  }
  explicit operator bool() const { return held_; }

 private:
  std::atomic<bool>& busy_;
  bool held_ = false;
};
}  // namespace

std::optional<VarnTemplate> TransportCommand(int code) {
  switch (code) {
    case kTransportStop: return VarnTemplate{0x08, 0x44, 0x60, 0, 0, 0, 0};
    case kTransportFastForward: return VarnTemplate{0x08, 0x44, 0x75, 0, 0, 0, 0};
    case kTransportRewind: return VarnTemplate{0x08, 0x44, 0x65, 0, 0, 0, 0};
    case kTransportPause: return VarnTemplate{0x08, 0x43, 0x6D, 0, 0, 0, 0};
    case kTransportPlay: return VarnTemplate{0x08, 0x43, 0x75, 0, 0, 0, 0};
    case kTransportSlowForward: return VarnTemplate{0x08, 0x43, 0x20, 0, 0, 0, 0};
    case kTransportSlowReverse: return VarnTemplate{0x08, 0x43, 0x24, 0, 0, 0, 0};
    case kTransportCueForward: return VarnTemplate{0x08, 0x43, 0x21, 0, 0, 0, 0};
    case kTransportCueReverse: return VarnTemplate{0x08, 0x43, 0x25, 0, 0, 0, 0};
    default: return std::nullopt;
  }
}

VarnVtr::VarnVtr(CVarnIO& io) : io_(io) {}

VarnVtr::~VarnVtr() { pollThread_.reset(); }

// ---- commands ------------------------------------------------------------------------------------

bool VarnVtr::Command(int code, bool wait) {
  BusHold hold(io_.BusBusy());
  if (!hold) return false;
  auto command = TransportCommand(code);
  if (!command) return false;
  VarnReply r = io_.TransactRetry(packet(*command), 5);
  if (!r.ok) return false;
  DecodeStatus(r);
  // The transport changed: what the detailed status says is stale.
  detailSoon_ = true;
  return wait ? waitDone() : true;
}

bool VarnVtr::waitDone() {
  for (int i = 0; i < kDoneQueries; ++i) {
    VarnReply q = io_.Transact(packet(varn::kStatus));
    if (q.code != kLinkOk) return false;
    if (!(q.status() & 0x40)) return true;
  }
  return false;
}

bool VarnVtr::commandWait(int code) { return Command(code, true); }

bool VarnVtr::FrameStep(bool forward) {
  BusHold hold(io_.BusBusy());
  if (!hold) return false;
  VarnReply r = io_.Transact(packet(forward ? kStepForward : kStepBack));
  if (r.code != kLinkOk) return false;
  DecodeStatus(r);
  return true;
}

bool VarnVtr::PrepareNewerDevice() { return io_.TransactRetry(packet(kNewerDevice), 3).ok; }

// ---- status ----------------------------------------------------------------------------------------

bool VarnVtr::PollStatus() {
  bool applied = false;
  return pollStatus(applied);
}

bool VarnVtr::pollStatus(bool& applied) {
  applied = false;
  VarnReply r = io_.Transact(packet(varn::kStatus));
  // A reply that came damaged (bad head or checksum) was zeroed: it is no news, like a
  // missing one, not a stopped tape at 00:00:00:00. So is a reply of class 5.
  if (r.code != kLinkOk || StatusClass(r.status()) == 5) {
    std::lock_guard lock(mutex_);
    status_.idle = 1;
    return false;
  }
  return decode(r, &applied);
}

bool VarnVtr::DecodeStatus(const VarnReply& reply) { return decode(reply, nullptr); }

bool VarnVtr::decode(const VarnReply& r, bool* applied) {
  std::lock_guard lock(mutex_);
  VtrStatus& s = status_;
  if (r.status() & 0x40) {
    s.idle = 0;
    return true;
  }
  if (applied) *applied = true;
  const uint8_t raw = r.p(0) & 0x0F;
  const bool playFamily = raw == 6 || raw == 7;
  if (playFamily) {
    // Entering a play mode from another mode: the detailed status tells which one.
    if (s.rawMode != 6 && s.rawMode != 7) detailSoon_ = true;
    s.detailDue = 1;
    s.idle = 0;
  } else {
    s.detailDue = 0;
    s.idle = raw == 1;
    if (raw != s.mode) {
      s.mode = raw;
      changes_ |= kModeChanged;
    }
  }
  s.rawMode = raw;
  if (r.p(4) & 0x40) return false;  // no time code in this reply
  const int32_t rate = (r.p(1) & 0x04) ? 25 : 30;
  s.frameRate = uint32_t(rate);
  const int h = r.p(2) & 0x3F, m = r.p(3) & 0x3F, sec = r.p(4) & 0x3F, f = r.p(5) & 0x3F;
  const bool negative = r.p(3) & 0x40;
  const int32_t position = (negative ? -1 : 1) * (h * 3600 * rate + m * 60 * rate + sec * rate + f);
  if (position == s.position) {
    s.idle = 1;
    return false;
  }
  if (!s.online || !onlineKnown_) {
    s.online = 1;
    onlineKnown_ = true;
    changes_ |= kLinkChanged;
  }
  s.position = position;
  std::snprintf(s.timeCode.data(), s.timeCode.size(), "%c%02d:%02d:%02d:%02d", position < 0 ? '-' : ' ', h, m, sec, f);
  changes_ |= kTimeCodeChanged;
  return true;
}

bool VarnVtr::DetailedStatus(uint8_t raw) {
  {
    std::lock_guard lock(mutex_);
    status_.detailDue = 0;
  }
  if (raw != 6 && raw != 7) return false;
  VarnReply r = io_.TransactRetry(packet(kDetailedStatus), 5);
  if (!r.ok) return false;
  const uint8_t p0 = r.p(0), p1 = r.p(1), p2 = r.p(2), p3 = r.p(3);
  uint8_t mode = raw;
  if (p0 == 0x75) {
    mode = 6;
  } else if (p0 == 0x77 || p0 == 0x67) {
    const bool forward = p0 == 0x77;
    if (p1 > 0 || p2 > 1) mode = forward ? 38 : 39;
    else if (p2 == 0) mode = p3 != 0 ? (forward ? 22 : 23) : (forward ? 38 : 39);
    else mode = p3 == 0 ? (forward ? 6 : 7) : raw;
  } else {
    return false;
  }
  std::lock_guard lock(mutex_);
  if (mode != status_.mode) {
    status_.mode = mode;
    changes_ |= kModeChanged;
  }
  return true;
}

bool VarnVtr::CheckPresence() {
  {
    std::lock_guard lock(mutex_);
    status_.idle = 0;
  }
  VarnReply r = io_.TransactRetry(packet(varn::kPowerState), 5);
  const bool present = r.ok && (r.p(0) & 1);
  std::lock_guard lock(mutex_);
  if (onlineKnown_ && bool(status_.online) == present) return true;
  status_.online = present;
  onlineKnown_ = true;
  changes_ |= kLinkChanged;
  if (!present && autoOn_) lostInRun_ = true;
  return true;
}

VtrStatus VarnVtr::Snapshot() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void VarnVtr::SetMode(uint8_t mode) {
  std::lock_guard lock(mutex_);
  status_.mode = mode;
}

void VarnVtr::SetOnline(bool online) {
  std::lock_guard lock(mutex_);
  status_.online = online;
  // Set by the program, not found on the line: the next finding is reported whatever it is.
  onlineKnown_ = false;
}

// ---- the polling thread ----------------------------------------------------------------------------

void VarnVtr::report() {
  const uint8_t bits = changes_;
  if (!bits || !notify_) return;
  // One report at a time: the next goes once the window has taken this one.
  if (notifyPending_.exchange(true)) return;
  const VtrStatus s = Snapshot();
  notify_(s.mode, bits | (s.online ? kOnlineBit : 0));
}

void VarnVtr::PollPass(PollCounters& c, std::stop_token stop) {
  if (io_.BusBusy()) {
    {
      std::lock_guard lock(mutex_);
      status_.idle = 0;
    }
    while (io_.BusBusy() && !stop.stop_requested()) io_.clock().sleepFor(50ms);
  } else {
    bool applied = false;
    pollStatus(applied);
    if (applied && autoOn_ && autoStep_) autoStep_(AutoStep::Check, stop);
  }
  const VtrStatus s = Snapshot();
  if (s.detailDue) {
    if (++c.detail > kPassLimit || detailSoon_.exchange(false)) {
      DetailedStatus(s.rawMode);
      changes_ &= uint8_t(~kTimeCodeChanged);
      std::lock_guard lock(mutex_);
      status_.idle = 0;
      c.detail = 0;
    }
  } else {
    c.detail = 0;
  }
  if (Snapshot().idle) {
    if (++c.idle > kPassLimit) {
      CheckPresence();
      c.idle = 0;
      if (lostInRun_.exchange(false) && autoStep_) autoStep_(AutoStep::DeviceLost, stop);
    }
  } else {
    c.idle = 0;
  }
  report();
  io_.clock().sleepFor(5ms);
}

DefVtrCmd::DefVtrCmd(VarnVtr& vtr) : vtr_(vtr), thread_([this](std::stop_token stop) { Execute(stop); }) {}

DefVtrCmd::~DefVtrCmd() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void DefVtrCmd::Execute(std::stop_token stop) {
  // The lowest priority the thread may take; polling only fills the line's idle time.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
  VarnVtr::PollCounters counters;
  while (!stop.stop_requested()) vtr_.PollPass(counters, stop);
  vtr_.pollRunning_ = false;
}

void VarnVtr::StartPolling() {
  if (pollRunning_) return;
  pollThread_.reset();  // one that has ended
  // Running from before the thread exists: a stop right after this start finds it.
  pollRunning_ = true;
  pollThread_ = std::make_unique<DefVtrCmd>(*this);
}

void VarnVtr::StopPolling() {
  pollThread_.reset();
  pollRunning_ = false;
  io_.clock().sleepFor(5ms);
}

}  // namespace capture
