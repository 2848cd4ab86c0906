// The camcorder panel: a borderless window shaped like a remote control that stays above
// the others. Its image buttons drive the play device's transport, its display shows the
// tape's time code, and its capture and automatic buttons take a picture into the album
// or start automatic capture. It makes the link's objects when it is made, starts the
// link (port, devices, polling thread) each time it is shown and stops it when closed.
#pragma once

#include <QPoint>
#include <QString>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "capture/link_objects.h"
#include "capture/link_settings.h"
#include "capture/varn_vtr.h"
#include "platform/form.h"

class QLabel;
class QMenu;
class QTimer;

namespace Ui {
class frmAvCtl;
}

namespace capture {

class CVarnIO;
class VarnSys;
class VarnCpt;
class CVarnReg;

// Sent by the panel to itself from the polling thread: one step of automatic capture
// (wParam: 0 a decoded status, 1 the camcorder is gone).
inline constexpr uint32_t WM_AUTO_STEP = platform::WM_USER + 141;

// What the panel shows for a transport mode: the lit buttons and what becomes of the
// capture and automatic buttons.
struct ModeView {
  enum class Capture { ByDevice, Off, AfterDelay };
  std::vector<const char*> lit;
  Capture capture = Capture::Off;
};
std::optional<ModeView> ModeViewOf(int mode);

// The command of a transport button for the mode shown (fast forward and rewind become
// cue in pause and play); 0 for a button that is not a transport command.
int CommandOfButton(const QString& name, int shownMode);

class TfrmAvCtl final : public platform::Form, public AutoHost {
  Q_OBJECT

 public:
  TfrmAvCtl();
  ~TfrmAvCtl() override;

  uint8_t OlderDevice = 0;     // the play device is an older model (no automatic capture in stop)
  uint8_t ControlsOn = 1;
  uint8_t FrameStepReady = 0;
  uint8_t ShownMode = kModeNone;

  void StopLink();
  void RestartLink();
  void SetOnline(bool on);
  bool DoCommand(int code);
  void ShowModeIfChanged(int mode);
  void ShowMode(int mode);
  void ShowCaptureButtons();
  bool CheckLink();
  // Takes one picture into the album; true when one came.
  bool CaptureOne() override;
  // The button's state (bit 0 pressed, bit 1 lit; 4 disabled).
  int ButtonState(const QString& name) const;
  QLabel* Button(const QString& name) const;
  QTimer* TimerShow() const { return timerShow_; }
  QTimer* TimerCpt() const { return timerCpt_; }
  QTimer* TimerPause() const { return timerPause_; }

  // ---- handlers -------------------------------------------------------------------------
  void Action(const QString& name);
  void btnCaptClick();
  void btnAutoClick();
  void pmDeviceClick(QObject* sender);
  void ButtonMouseDown(platform::EventArgs& a);
  void ButtonMouseMove(platform::EventArgs& a);
  void ButtonMouseUp(platform::EventArgs& a);
  void TimerShowTimer(QObject* sender);
  void TimerCptTimer(QObject* sender);
  void TimerPauseTimer(QObject* sender);

  // ---- what automatic capture asks of the program ------------------------------------------
  bool PanelCommand(int code) override { return DoCommand(code); }
  bool AbortFlag() override;
  void SetAbortFlag(bool on) override;
  bool WaitShown() override;
  void ShowWait() override;
  void CloseWait() override;
  int AlbumCount() override;
  void ReportAutoError() override;
  void RunEnded() override;

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;
  void FormHide() override;

 private:
  platform::LRESULT WMVtrStatus(platform::WPARAM mode, platform::LPARAM bits);
  platform::LRESULT WMCaptureState(platform::WPARAM, platform::LPARAM state);
  platform::LRESULT WMAutoError(platform::WPARAM, platform::LPARAM l);
  platform::LRESULT WMAutoStep(platform::WPARAM step, platform::LPARAM);
  // On the polling thread: hands a step to the GUI thread and waits until it is done.
  void HandOver(AutoStep step, std::stop_token stop);
  void SetButton(const QString& name, bool enabled, std::optional<bool> lit = std::nullopt,
                 std::optional<bool> pressed = std::nullopt);
  void SetCaptureButtons(bool on);
  void UpdateCaptureRecord();
  void DragTo(const QPoint& pos);
  bool AlbumFull();

  struct LinkObjects;
  std::unique_ptr<Ui::frmAvCtl> ui_;
  std::unique_ptr<LinkObjects> link_;
  QMenu* pmCtl_ = nullptr;
  QTimer* timerShow_ = nullptr;
  QTimer* timerCpt_ = nullptr;
  QTimer* timerPause_ = nullptr;
  struct ButtonInfo {
    std::array<QPixmap, 5> pictures;
    bool pressed = false;
    bool lit = false;
  };
  std::map<QString, ButtonInfo> buttons_;
  QString pressedButton_;       // the button a press began on, for the buttons that act on release
  uint8_t dragging_ = 0;
  QPoint dragOrigin_;
  int busy_ = 0;                // a bus operation of the GUI thread is running
  std::atomic<bool> handOver_{false};
};

}  // namespace capture
