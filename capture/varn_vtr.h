// The play device's tape transport: transport commands, the decoding of its status
// replies into a transport mode and a signed time code, the polling thread that asks for
// the status while the link is up, and the run of automatic capture, whose decisions
// follow the statuses the polling thread decodes.
//
// Threads. The polling thread (DefVtrCmd) and the GUI thread both talk to the device;
// every exchange holds the link, so packets never interleave on the line. A GUI sequence
// of several exchanges sets BusBusy, and the polling thread does not poll while it is
// set. The decoded status is kept under a lock and read as a whole (Snapshot); what
// changed is a set of bits the polling thread adds to and the window that shows it takes
// away. The polling thread touches no window: it reports through the notify function
// (the control panel posts WM_VTR_STATUS from it) and hands each automatic-capture step
// to the GUI thread through the auto-step function, waiting until the step is done.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "capture/varn.h"

namespace capture {

// Transport command codes (also the transport modes they lead to).
enum TransportCode : int {
  kTransportStop = 1,
  kTransportFastForward = 2,
  kTransportRewind = 3,
  kTransportPause = 5,
  kTransportPlay = 6,
  kTransportSlowForward = 22,
  kTransportSlowReverse = 23,
  kTransportCueForward = 38,
  kTransportCueReverse = 39,
};
// The mode shown before any status has come.
inline constexpr uint8_t kModeNone = 15;

// The command bytes of a transport code; empty for an unknown code.
std::optional<VarnTemplate> TransportCommand(int code);

// Bits of a change report (lParam of WM_VTR_STATUS).
enum VtrChange : uint8_t {
  kLinkChanged = 1,
  kTimeCodeChanged = 2,
  kModeChanged = 4,
  kOnlineBit = 8,
};

struct VtrStatus {
  uint8_t online = 0;       // a changing time code was seen since the link started
  uint8_t rawMode = 0;      // low nibble of p0 of the last status
  uint8_t mode = kModeNone;  // the reported mode
  std::array<char, 13> timeCode{};  // sign (" " or "-"), "HH:MM:SS:FF"
  int32_t position = 0;     // frames, signed
  uint32_t frameRate = 30;  // 25 or 30
  uint8_t idle = 0;         // the last poll brought no news
  uint8_t detailDue = 0;    // the raw mode is 6 or 7: the detailed status tells more
};

// Automatic capture's settings (section "AUTO" of the settings file).
struct AutoSettings {
  uint32_t mode = 1;             // 1 interval, 2 photo search, 0 at a time code
  uint32_t targetFrames = 1500;  // mode 0
  uint32_t intervalFrames = 0;
  uint32_t intervalSeconds = 60;
  uint32_t count = 5;
  uint32_t approachSeconds = 20;  // a target further ahead is approached by cue forward
  uint32_t settleSeconds = 5;     // a target nearer (or passed) is approached by cue reverse
  bool operator==(const AutoSettings&) const = default;
};

// What automatic capture asks of the program; every call comes on the GUI thread.
class AutoHost {
 public:
  virtual ~AutoHost() = default;
  // One capture as the panel makes it; true when a picture reached the album.
  virtual bool CaptureOne() = 0;
  // A transport command through the panel, without waiting.
  virtual bool PanelCommand(int code) = 0;
  // The wait window's abort flag.
  virtual bool AbortFlag() = 0;
  virtual void SetAbortFlag(bool on) = 0;
  virtual bool WaitShown() = 0;
  // The wait window with the text of "MB_TI_AUTO" and Stop.
  virtual void ShowWait() = 0;
  virtual void CloseWait() = 0;
  virtual int AlbumCount() = 0;
  // Tells the panel that the run stopped on an error (WM_AUTO_ERROR).
  virtual void ReportAutoError() = 0;
  // The run has ended.
  virtual void RunEnded() {}
};

// Why the polling thread hands over to the GUI thread.
enum class AutoStep { Check, DeviceLost };

class VarnVtr;

// The polling thread: runs the transport's polling passes, at the lowest priority, until
// it is asked to stop.
class DefVtrCmd {
 public:
  // Starts the thread.
  explicit DefVtrCmd(VarnVtr& vtr);
  // Asks the thread to stop and waits for its end.
  ~DefVtrCmd();
  DefVtrCmd(const DefVtrCmd&) = delete;
  DefVtrCmd& operator=(const DefVtrCmd&) = delete;

 private:
  void Execute(std::stop_token stop);
  VarnVtr& vtr_;
  std::jthread thread_;
};

class VarnVtr {
 public:
  explicit VarnVtr(CVarnIO& io);
  ~VarnVtr();
  VarnVtr(const VarnVtr&) = delete;
  VarnVtr& operator=(const VarnVtr&) = delete;

  bool SetDevice(uint32_t id) {
    deviceId_ = id;
    return true;
  }
  uint32_t deviceId() const { return deviceId_; }
  // Called on the polling thread with the mode and the change bits (with 8 when online),
  // at most once until NotifyTaken.
  void SetNotify(std::function<void(int mode, int bits)> notify) { notify_ = std::move(notify); }
  // Called on the polling thread for each step of automatic capture; it returns when the
  // step is done on the GUI thread or the thread is asked to stop.
  void SetAutoStep(std::function<void(AutoStep, std::stop_token)> step) { autoStep_ = std::move(step); }
  void SetAutoHost(AutoHost* host) { host_ = host; }

  // One transport command; with wait, until the device reports it done.
  bool Command(int code, bool wait);
  bool FrameStep(bool forward);
  bool PrepareNewerDevice();
  bool PollStatus();
  // Decodes a status reply; false when it brought no new time code.
  bool DecodeStatus(const VarnReply& reply);
  bool DetailedStatus(uint8_t raw);
  bool CheckPresence();

  void StartPolling();
  void StopPolling();
  bool PollRunning() const { return pollRunning_; }

  // ---- the decoded status ------------------------------------------------------------
  VtrStatus Snapshot() const;
  uint8_t Changes() const { return changes_; }
  // Clears the given change bits; returns the bits that were set before.
  uint8_t ClearChanges(uint8_t bits) { return changes_.fetch_and(uint8_t(~bits)); }
  // The window took the last report: the next change is reported again.
  void NotifyTaken() { notifyPending_ = false; }
  void SetMode(uint8_t mode);
  // Sets the online flag as the program sees it (offline while the link is stopped); the
  // next presence check or changing time code reports what the device shows, even when
  // it is the same.
  void SetOnline(bool online);

  // ---- one pass of the polling thread ----------------------------------------------------
  struct PollCounters {
    int detail = 0;
    int idle = 0;
  };
  void PollPass(PollCounters& counters, std::stop_token stop = {});
  // More than this many passes in a row: detailed status, presence check.
  static constexpr int kPassLimit = 30;

  // ---- automatic capture ---------------------------------------------------------------------
  AutoSettings& Settings() { return auto_; }
  bool AutoOn() const { return autoOn_; }
  void SetAutoOn(bool on) { autoOn_ = on; }
  std::atomic<bool>& AutoErrorStop() { return autoErrorStop_; }
  // The start of an interval run (the tape position at OK), and of a photo search run.
  void StartInterval(int32_t startFrames);
  void StartPhotoSearch(bool rewind);
  // One decision step, after a decoded status while the run is on.
  void AutoCheck();
  void AutoStop();
  bool SeekAndCapture(int64_t target);
  void SeekToTarget(int64_t target);
  bool PhotoPrepare();
  bool PhotoCapture();
  // The polling thread found the device gone while the run was on.
  void DeviceLost();

  struct RunState {
    int64_t startFrames = 0;
    int photoState = 0;
    bool armed = false;
    int64_t lastPosition = 0;
    uint32_t done = 0;
    bool firstStep = false;
    platform::Clock::time_point photoStart{};
    bool photoStarted = false;
  };
  const RunState& Run() const { return run_; }

  // Waits of the run, in milliseconds.
  static constexpr uint32_t kAfterCueForwardMs = 100;
  static constexpr uint32_t kAfterCueReverseMs = 500;
  static constexpr uint32_t kBeforePhotoCaptureMs = 2000;
  static constexpr uint32_t kPlayBeforeSearchMs = 5000;
  // Positions beyond this are misreadings (more than 25 hours at 30 frames a second).
  static constexpr int64_t kPositionLimit = 2700000;
  // A position this far from the last one is taken only when the next status confirms it.
  static constexpr int64_t kJumpFrames = 100;
  // A capture is made this many frames before the target.
  static constexpr int64_t kCaptureLead = 6;

 private:
  friend class DefVtrCmd;
  VarnPacket packet(const VarnTemplate& t) const { return CVarnIO::Prepare(uint8_t(deviceId_), t); }
  bool waitDone();
  void report();
  bool commandWait(int code);
  bool pollStatus(bool& applied);
  // `applied`: set when the reply's data were decoded (not withheld by the executing bit).
  bool decode(const VarnReply& reply, bool* applied);

  CVarnIO& io_;
  uint32_t deviceId_ = 1;
  std::function<void(int, int)> notify_;
  std::function<void(AutoStep, std::stop_token)> autoStep_;
  AutoHost* host_ = nullptr;

  mutable std::mutex mutex_;
  VtrStatus status_;
  // The online flag is what the device last showed (a changing time code, a presence
  // check), not a value the program set: a finding that matches it is no change.
  bool onlineKnown_ = false;
  std::atomic<uint8_t> changes_{0};
  std::atomic<bool> notifyPending_{false};
  // The transport just entered a play mode, or a command changed it: the detailed status
  // is asked at the next pass rather than after the usual count.
  std::atomic<bool> detailSoon_{false};
  // The presence check found the device gone while automatic capture was on.
  std::atomic<bool> lostInRun_{false};

  std::unique_ptr<DefVtrCmd> pollThread_;
  std::atomic<bool> pollRunning_{false};

  AutoSettings auto_;
  RunState run_;
  std::atomic<bool> autoOn_{false};
  std::atomic<bool> autoErrorStop_{false};
  bool inCheck_ = false;
};

}  // namespace capture
