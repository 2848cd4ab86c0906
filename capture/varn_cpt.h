// One capture: prepare the capture device over the control protocol, switch it into the
// picture transfer at the chosen rate, receive the picture block by block, rebuild it and
// write the capture file ("temp.dvf" for DV, "temp.yuv" for an uncompressed picture), and
// return the camcorder to the control protocol.
//
// Nothing here touches a window: the wait window, the album and the thread that runs the
// transfer are reached through CaptureHooks.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/sptp.h"
#include "capture/sptp_block.h"
#include "capture/varn.h"

namespace capture {

// Results of CaptureSequence.
enum CaptureResult : int {
  kCaptured = 0,
  kCaptureStopped = 1,        // the user pressed Stop
  kCaptureNoSignal = 129,     // "MSG_NOSIG"
  kCaptureRefused = 130,      // "MSG_CANTCPT"
  kCaptureEnterFailed = 132,  // "MSG_COMERR" [132]
  kCaptureRateFailed = 136,   // "MSG_COMERR" [136]
  kCaptureTransferFailed = 144,  // "MSG_COMERR" [144]
  kCaptureFileFailed = 160,  // "MSG_SAVE_ERR": the picture came whole, its file could not be written
  kCaptureNotAdded = 192,    // "MSG_NOTADDED" naming the capture file: written, but the album did not take it
};

// Results of Prepare.
inline constexpr int kPrepareReady = 0;
inline constexpr int kPrepareFailed = 0x100;
inline constexpr int kPrepareNoSignal = 0x101;

enum class CaptureFile { Dvf = 0, Yuv = 1 };

// The transport status at the moment of the capture.
struct TapeStatus {
  int32_t position = 0;     // frames, signed
  uint8_t mode = 0;         // transport mode (6 = play)
  uint32_t frameRate = 30;  // 25 or 30
};

struct CaptureSettings {
  uint32_t baud = 115200;       // the configured line rate of the transfer
  bool havePlayDevice = false;  // the device grid has a play device
  uint8_t playId = 0;
  bool playGroup12 = false;     // the play device is of version group 1 or 2
  TapeStatus tape;
  std::string workDir;          // where the capture files go; "" = the program's work folder
  bool diagnostic = false;      // keep raw dumps of the blocks
};

// How a capture reaches the rest of the program. Every function has a harmless default.
class CaptureHooks {
 public:
  virtual ~CaptureHooks() = default;
  // The wait window with "MSG_FSTRANS": Stop shown but disabled, progress at 0.
  virtual void ShowWait() {}
  // Stop enabled (and focused) or disabled.
  virtual void AllowAbort(bool /*allow*/) {}
  virtual void Progress(int /*percent*/) {}
  // The wait window's Stop was pressed.
  virtual bool AbortRequested() { return false; }
  // The wait window's block-error button was pressed (diagnostics); reading clears it.
  virtual bool TakeBlockError() { return false; }
  // A capture file is complete: the main window adds it at the end of the album. True
  // when the album took the picture.
  virtual bool CaptureFileReady(CaptureFile /*kind*/, const std::string& /*path*/) { return true; }
  virtual void CloseWait() {}
  // Stops the play device before the transfer and waits until it has stopped.
  virtual bool StopPlayDevice(CVarnIO& io, uint8_t playId);
  // Runs the transfer (on the capture thread) and gives its verdict.
  virtual int RunTransfer(const std::function<int()>& transfer) { return transfer(); }
};

class VarnCpt {
 public:
  explicit VarnCpt(CVarnIO& io);

  bool SetId(uint8_t id) {
    deviceId_ = id;
    return true;
  }
  uint8_t deviceId() const { return deviceId_; }
  CaptureSettings& settings() { return settings_; }
  void SetHooks(CaptureHooks* hooks) { hooks_ = hooks ? hooks : &defaultHooks_; }

  // The whole capture; a CaptureResult.
  int CaptureSequence();
  // 16 4C 60 to the capture device, when there is no play device; the exchange's code.
  uint32_t SelectStandalone();

  int Prepare();
  bool EnterTransfer();
  bool SetRate();
  int Transfer();
  bool LeaveTransfer();
  void MakeTimeCodePack();

  bool ReceiveBlock();
  bool ParseBlock();
  bool WriteDvf();
  bool WriteYuv();

  const PictureAssembly& assembly() const { return picture_; }
  PictureAssembly& assembly() { return picture_; }
  const std::array<uint8_t, 5>& timeCodePack() const { return timeCodePack_; }
  const std::vector<uint8_t>& dvFrame() const { return dvFrame_; }
  uint32_t pace() const { return pace_; }
  uint32_t rawCount() const { return rawCount_; }
  // The path of the last capture file written.
  const std::string& lastFile() const { return lastFile_; }
  CSptpIO& sptpIO() { return sptp_; }

  // Waits of the sequence, in milliseconds.
  static constexpr uint32_t kBlockWaitMs = 150;
  static constexpr uint32_t kResendWaitMs = 1000;
  static constexpr uint32_t kAfterFileMs = 1000;
  static constexpr uint32_t kLeaveFailedMs = 3500;
  static constexpr int kBusyQueries = 201;

 private:
  std::string folder() const;
  bool writeCaptureFile(const std::string& name, const std::vector<std::pair<const void*, size_t>>& parts);
  void dump(const std::string& name, const void* data, size_t n) const;

  CVarnIO& io_;
  CSptpIO sptp_;
  CaptureSettings settings_;
  CaptureHooks defaultHooks_;
  CaptureHooks* hooks_ = &defaultHooks_;
  PictureAssembly picture_;
  std::vector<uint8_t> blockBuffer_;
  std::vector<uint8_t> dvFrame_;
  std::array<uint8_t, 5> timeCodePack_{};
  std::string lastFile_;
  std::atomic<bool> fileFailed_{false};  // the last transfer's capture file could not be written
  std::atomic<bool> notAdded_{false};    // the last transfer's capture file was not taken into the album
  uint32_t rawCount_ = 0;
  uint32_t pace_ = 50;
  uint8_t deviceId_ = 0;
  bool firstBlock_ = false;
  // How far the switch to the transfer got, so that a failure can still leave it.
  bool sptpSent_ = false;
  bool rateSent_ = false;
  bool transferLine_ = false;
};

}  // namespace capture
