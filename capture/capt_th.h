// The capture thread and the way a capture reaches the program's windows.
//
// The picture transfer runs on its own thread (CaptTh) while the GUI thread waits for it
// in a loop that keeps processing events, so that the thread's messages to the wait
// window and to the main window (sent: the thread stands still until each is handled)
// are answered, and Stop can be pressed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "capture/varn_cpt.h"

namespace capture {

// Set by the capture thread when its transfer has ended (reset before each thread is
// made), and the transfer's verdict (not 0: success).
extern std::atomic<bool> CaptureDone;
extern std::atomic<uint8_t> CaptureResult;

class CaptTh {
 public:
  // Starts the thread at once.
  explicit CaptTh(std::function<int()> transfer);
  // Waits for the thread's end.
  ~CaptTh();
  CaptTh(const CaptTh&) = delete;
  CaptTh& operator=(const CaptTh&) = delete;

 private:
  std::jthread thread_;
};

// The capture's hooks into the program: the wait window, the main window and the
// transport of the play device.
class PanelCaptureHooks final : public CaptureHooks {
 public:
  void ShowWait() override;
  void AllowAbort(bool allow) override;
  void Progress(int percent) override;
  bool AbortRequested() override;
  bool TakeBlockError() override;
  bool CaptureFileReady(CaptureFile kind, const std::string& path) override;
  void CloseWait() override;
  bool StopPlayDevice(CVarnIO& io, uint8_t playId) override;
  int RunTransfer(const std::function<int()>& transfer) override;
};

}  // namespace capture
