#include "capture/capt_th.h"

#include <QString>
#include <chrono>

#include "capture/link_objects.h"
#include "capture/varn_vtr.h"
#include "platform/messages.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace capture {

using namespace std::chrono_literals;

std::atomic<bool> CaptureDone{false};
std::atomic<uint8_t> CaptureResult{0};

namespace {
// The step of the GUI thread's wait for the capture thread.
constexpr auto kWaitStep = 20ms;

void sendToWait(uint32_t msg, platform::WPARAM w = 0, platform::LPARAM l = 0) {
  if (workspace::frmWait) platform::sendMessage(workspace::frmWait, msg, w, l);
}
void processOnGuiThread() {
  if (platform::isGuiThread()) ProcessMessages();
}
}  // namespace

CaptTh::CaptTh(std::function<int()> transfer)
    : thread_([transfer = std::move(transfer)] {
        CaptureResult = uint8_t(transfer() != 0);
        CaptureDone = true;
      }) {}

CaptTh::~CaptTh() {
  if (thread_.joinable()) thread_.join();
}

void PanelCaptureHooks::ShowWait() {
  QString caption = workspace::Lang->GetMsg("MSG_FSTRANS");
  // Stop shown but not yet enabled, progress shown at 0.
  sendToWait(platform::WM_WAIT_SHOW, reinterpret_cast<platform::WPARAM>(&caption), 7);
  processOnGuiThread();
}

void PanelCaptureHooks::AllowAbort(bool allow) {
  sendToWait(platform::WM_WAIT_ABORT, allow ? 1 : 0);
  processOnGuiThread();
}

void PanelCaptureHooks::Progress(int percent) { sendToWait(platform::WM_WAIT_PROGRESS, percent); }

bool PanelCaptureHooks::AbortRequested() { return workspace::frmWait && workspace::frmWait->AbortFlag != 0; }

bool PanelCaptureHooks::TakeBlockError() {
  return workspace::frmWait && workspace::frmWait->BlockErrFlag.exchange(0) != 0;
}

bool PanelCaptureHooks::CaptureFileReady(CaptureFile kind, const std::string&) {
  // The main window adds the picture to the album before the transfer goes on, and says
  // whether it did.
  const bool added = workspace::frmMain &&
                     platform::sendMessage(workspace::frmMain, platform::WM_CAPTURE_FRAME, platform::WPARAM(kind)) != 0;
  processOnGuiThread();
  return added;
}

void PanelCaptureHooks::CloseWait() {
  sendToWait(platform::WM_WAIT_CLOSE);
  processOnGuiThread();
}

bool PanelCaptureHooks::StopPlayDevice(CVarnIO&, uint8_t) { return Vtr && Vtr->Command(kTransportStop, true); }

int PanelCaptureHooks::RunTransfer(const std::function<int()>& transfer) {
  // Reset before the thread is made: a thread that ends at once is not missed.
  CaptureDone = false;
  auto thread = std::make_unique<CaptTh>(transfer);
  // A wait for another thread, not part of the line's timing: it runs on the real clock.
  while (!CaptureDone.exchange(false)) {
    ProcessMessages();
    std::this_thread::sleep_for(kWaitStep);
  }
  thread.reset();
  return CaptureResult;
}

}  // namespace capture
