#include "capture/frmavctl.h"

#include <QLabel>
#include <QMenu>
#include <QRegion>
#include <QTimer>
#include <chrono>
#include <thread>

#include "capture/capt_th.h"
#include "capture/frmauto.h"
#include "capture/frmvarndev.h"
#include "capture/panel_art.h"
#include "capture/varn_cpt.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "ui_frmavctl.h"
#include "workspace/flame_info.h"
#include "workspace/flames.h"
#include "workspace/form_position.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/name_list.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace capture {

using namespace std::chrono_literals;
using platform::Event;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;
using workspace::Lang;

namespace {

const char* const kTransportButtons[] = {"imgPlay", "imgRev", "imgFF", "imgRSlow", "imgPause",
                                         "imgFSlow", "imgRFrame", "imgStop", "imgFFrame"};
const char* const kAllButtons[] = {"imgPlay", "imgRev",  "imgFF",  "imgRSlow", "imgPause", "imgFSlow",
                                   "imgRFrame", "imgStop", "imgFFrame", "imgCpt",  "imgAuto",  "imgClose"};

constexpr int kShowDelayMs = 50;
constexpr int kCaptureDelayMs = 2000;
constexpr int kPauseDelayMs = 1000;
constexpr uint32_t kAfterCloseMs = 50;

// Counts a bus operation of the GUI thread while it runs.
struct Busy {
  int& n;
  explicit Busy(int& count) : n(count) { ++n; }
  ~Busy() { --n; }
};

bool actsOnRelease(const QString& name) { return name == "imgCpt" || name == "imgAuto" || name == "imgClose"; }

}  // namespace

std::optional<ModeView> ModeViewOf(int mode) {
  using C = ModeView::Capture;
  switch (mode) {
    case 0:
    case 1:
    case 13:
    case 14:
    case 15: return ModeView{{"imgStop"}, C::ByDevice};
    case 2: return ModeView{{"imgFF"}, C::Off};
    case 3: return ModeView{{"imgRev"}, C::Off};
    case 5: return ModeView{{"imgPause"}, C::AfterDelay};
    case 6:
    case 7: return ModeView{{"imgPlay"}, C::AfterDelay};
    case 22: return ModeView{{"imgPlay", "imgFSlow"}, C::AfterDelay};
    case 23: return ModeView{{"imgPlay", "imgRSlow"}, C::AfterDelay};
    case 38: return ModeView{{"imgPlay", "imgFF"}, C::Off};
    case 39: return ModeView{{"imgRev", "imgPlay"}, C::Off};
    default: return std::nullopt;
  }
}

int CommandOfButton(const QString& name, int shownMode) {
  const int m = shownMode & 15;
  const bool playing = m == 5 || m == 6 || m == 7;
  if (name == "imgPlay") return kTransportPlay;
  if (name == "imgPause") return kTransportPause;
  if (name == "imgStop") return kTransportStop;
  if (name == "imgFSlow") return kTransportSlowForward;
  if (name == "imgRSlow") return kTransportSlowReverse;
  if (name == "imgFF") return playing ? kTransportCueForward : kTransportFastForward;
  if (name == "imgRev") return playing ? kTransportCueReverse : kTransportRewind;
  return 0;
}

struct TfrmAvCtl::LinkObjects {
  std::unique_ptr<CVarnIO> io;
  std::unique_ptr<VarnVtr> vtr;
  std::unique_ptr<VarnSys> sys;
  std::unique_ptr<VarnCpt> cpt;
  std::unique_ptr<CVarnReg> reg;
};

TfrmAvCtl::TfrmAvCtl() : ui_(std::make_unique<Ui::frmAvCtl>()) { ui_->setupUi(this); }

TfrmAvCtl::~TfrmAvCtl() {
  if (link_) {
    link_->vtr->StopPolling();
    VarnIO = nullptr;
    Vtr = nullptr;
    DevSys = nullptr;
    Cpt = nullptr;
    VarnReg = nullptr;
  }
}

// ---- making and showing ----------------------------------------------------------------------------

void TfrmAvCtl::FormCreate() {
  setBorderStyle(platform::BorderStyle::None);
  setStayOnTop(true);
  setFixedSize(kPanelWidth, kPanelHeight);
  setMask(QRegion(0, 0, kPanelWidth, kPanelHeight, QRegion::Ellipse));

  // The link's objects; no port is opened and no thread started here.
  const LinkLine line = CurrentLinkLine();
  link_ = std::make_unique<LinkObjects>();
  link_->io = std::make_unique<CVarnIO>(*line.port, *line.clock, line.resolve);
  link_->vtr = std::make_unique<VarnVtr>(*link_->io);
  link_->sys = std::make_unique<VarnSys>(*link_->io);
  link_->cpt = std::make_unique<VarnCpt>(*link_->io);
  link_->reg = std::make_unique<CVarnReg>();
  VarnIO = link_->io.get();
  Vtr = link_->vtr.get();
  DevSys = link_->sys.get();
  Cpt = link_->cpt.get();
  VarnReg = link_->reg.get();
  VarnIO->SetIdle(ProcessMessagesNoInput);
  ControlsOn = 1;

  Lang->ApplyCaptions(this);
  Vtr->SetMode(kModeNone);
  Vtr->SetNotify([this](int mode, int bits) { platform::postMessage(this, platform::WM_VTR_STATUS, mode, bits); });
  Vtr->SetAutoHost(this);
  Vtr->SetAutoStep([this](AutoStep step, std::stop_token stop) { HandOver(step, stop); });
  setWindowTitle(Lang->GetMsg("TI_DVCTL"));
  Button("imgCpt")->setToolTip(Lang->GetMsg("HINT_CAPT"));
  Button("imgAuto")->setToolTip(Lang->GetMsg("HINT_AUTO"));

  ui_->imgMain->setPixmap(PanelBody());
  QFont counter = ui_->lblCounter->font();
  counter.setPixelSize(15);
  ui_->lblCounter->setFont(counter);
  for (const char* name : kAllButtons) {
    QLabel* b = Button(name);
    buttons_[name].pictures = ButtonPictures(name, b->size());
    b->raise();
    SetButton(name, true);
  }
  ui_->lblCounter->raise();

  pmCtl_ = new QMenu(this);
  pmCtl_->setObjectName("pmCtl");
  pmCtl_->addAction(ui_->pmDevice);
  connect(ui_->imgMain, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { pmCtl_->popup(ui_->imgMain->mapToGlobal(p)); });

  auto timer = [this](const char* name, int ms, bool once) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(ms);
    t->setSingleShot(once);
    return t;
  };
  timerShow_ = timer("TimerShow", kShowDelayMs, true);
  timerCpt_ = timer("TimerCpt", kCaptureDelayMs, true);
  timerPause_ = timer("TimerPause", kPauseDelayMs, true);

  for (const char* name : kAllButtons) {
    bind(name, Event::MouseDown, handler(&TfrmAvCtl::ButtonMouseDown));
    bind(name, Event::MouseMove, handler(&TfrmAvCtl::ButtonMouseMove));
    bind(name, Event::MouseUp, handler(&TfrmAvCtl::ButtonMouseUp));
  }
  bindHandlers({
      {"imgMain", Event::MouseDown, handler(&TfrmAvCtl::ButtonMouseDown)},
      {"imgMain", Event::MouseMove, handler(&TfrmAvCtl::ButtonMouseMove)},
      {"imgMain", Event::MouseUp, handler(&TfrmAvCtl::ButtonMouseUp)},
      {"pmDevice", Event::Click, handler(&TfrmAvCtl::pmDeviceClick)},
      {"TimerShow", Event::Timer, handler(&TfrmAvCtl::TimerShowTimer)},
      {"TimerCpt", Event::Timer, handler(&TfrmAvCtl::TimerCptTimer)},
      {"TimerPause", Event::Timer, handler(&TfrmAvCtl::TimerPauseTimer)},
  });
  onMessage(platform::WM_VTR_STATUS, [this](WPARAM w, LPARAM l) { return WMVtrStatus(w, l); });
  onMessage(platform::WM_CAPTURE_STATE, [this](WPARAM w, LPARAM l) { return WMCaptureState(w, l); });
  onMessage(platform::WM_AUTO_ERROR, [this](WPARAM w, LPARAM l) { return WMAutoError(w, l); });
  onMessage(WM_AUTO_STEP, [this](WPARAM w, LPARAM l) { return WMAutoStep(w, l); });
}

void TfrmAvCtl::FormShow() {
  dragging_ = 0;
  if (workspace::Profile) workspace::LoadFormPosition(this, *workspace::Profile);
  SetOnline(false);
  timerShow_->start();
}

void TfrmAvCtl::FormHide() {
  if (workspace::Profile) workspace::SaveFormPosition(this, *workspace::Profile);
}

void TfrmAvCtl::FormClose(platform::CloseAction&) {
  if (Vtr->AutoOn()) Vtr->AutoStop();
  StopLink();
  VarnIO->Pause(kAfterCloseMs);
  VarnIO->Close();
}

void TfrmAvCtl::TimerShowTimer(QObject*) {
  timerShow_->stop();
  TfrmVarnDev* dev = DeviceForm();
  if (dev) {
    dev->LoadSettings();
    dev->FillPortList();
    if (!CheckLink()) dev->showModal();
    else dev->Active = dev->Edited;
    const LinkSettings& a = dev->Active;
    if (a.port >= 1 && a.port <= 8) RestartLink();
    if (a.deviceCount && a.playId) {
      const VarnDev* play = dev->Record(a.playIndex);
      OlderDevice = play ? VarnSys::IsVersionAtMost394(*play) : 1;
      if (!OlderDevice) {
        Busy busy(busy_);
        Vtr->PrepareNewerDevice();
      }
    } else {
      OlderDevice = 1;
    }
  }
  platform::restoreCursor();
}

bool TfrmAvCtl::CheckLink() {
  TfrmVarnDev* dev = DeviceForm();
  Busy busy(busy_);
  const LinkSettings& e = dev->Edited;
  if (e.port < 1 || e.port > 8 || !e.playId || !e.deviceCount) return dev->FactorySetup();
  dev->RefreshDevices(e.deviceCount);
  const VarnDev* play = dev->Record(dev->Edited.playIndex);
  if (play && play->present) return true;
  const VarnDev* only = dev->Records.size() == 1 ? dev->Record(0) : nullptr;
  return only && only->present && VarnSys::IsMovie(*only);
}

// ---- the link ------------------------------------------------------------------------------------

void TfrmAvCtl::StopLink() {
  Vtr->StopPolling();
  Vtr->SetOnline(false);
  SetOnline(false);
}

void TfrmAvCtl::RestartLink() {
  const LinkSettings& a = DeviceForm()->Active;
  VarnIO->SetupVarn();
  Vtr->SetMode(kModeNone);
  Vtr->SetDevice(a.playId);
  DevSys->SetTarget(a.playId);
  UpdateCaptureRecord();
  CaptureSettings& c = Cpt->settings();
  const VarnDev* play = DeviceForm()->Record(a.playIndex);
  c.baud = a.rate;
  c.havePlayDevice = a.playIndex >= 0;
  c.playId = a.playId;
  c.playGroup12 = play && (VarnSys::IsVersionGroup1(*play) || VarnSys::IsVersionGroup2(*play));
  c.workDir = workspace::WorkDir;
  c.diagnostic = workspace::DiagnosticFlag == 1;
  if (a.playId) Vtr->StartPolling();
}

void TfrmAvCtl::UpdateCaptureRecord() {
  const LinkSettings& a = DeviceForm()->Active;
  if (!a.captureId) {
    Cpt->SetId(a.playId);
    return;
  }
  const VarnDev* unit = DeviceForm()->Record(a.captureIndex);
  if (unit && (unit->flags & 4)) {
    Cpt->SetId(a.captureId);
    ShowCaptureButtons();
  } else {
    Cpt->SetId(0);
  }
}

void TfrmAvCtl::SetOnline(bool on) {
  const bool play = DeviceForm() && DeviceForm()->Active.playId;
  if (on) {
    if (play) {
      ui_->lblCounter->setStyleSheet("color: rgb(0, 255, 255)");
      if (ControlsOn)
        for (const char* name : kTransportButtons) SetButton(name, true);
    }
    ShowCaptureButtons();
    return;
  }
  for (const char* name : kTransportButtons) SetButton(name, false);
  ui_->lblCounter->setStyleSheet("color: rgb(128, 128, 128)");
  ShownMode = kModeNone;
  SetCaptureButtons(false);
}

void TfrmAvCtl::ShowCaptureButtons() {
  // While automatic capture runs, the panel's own controls stay off.
  if (!ControlsOn) {
    SetCaptureButtons(false);
    return;
  }
  const LinkSettings* a = DeviceForm() ? &DeviceForm()->Active : nullptr;
  if (a && !a->playId && a->captureId) {
    SetButton("imgCpt", true);
    SetButton("imgAuto", false);
    return;
  }
  ShowMode(Vtr->Snapshot().mode);
}

void TfrmAvCtl::SetCaptureButtons(bool on) {
  SetButton("imgCpt", on);
  SetButton("imgAuto", on);
}

void TfrmAvCtl::ShowMode(int mode) {
  const auto view = ModeViewOf(mode);
  if (!view) return;
  for (const char* name : kTransportButtons) {
    bool lit = false;
    for (const char* l : view->lit) lit = lit || QString(l) == name;
    SetButton(name, Button(name)->isEnabled(), lit);
  }
  if (!ControlsOn) {
    SetCaptureButtons(false);
    return;
  }
  switch (view->capture) {
    case ModeView::Capture::ByDevice:
      if (!OlderDevice) {
        SetButton("imgCpt", true);
        SetButton("imgAuto", false);
      } else {
        SetCaptureButtons(false);
        timerCpt_->stop();
      }
      break;
    case ModeView::Capture::Off:
      // A delay started by an earlier mode must not bring the buttons back now.
      SetCaptureButtons(false);
      timerCpt_->stop();
      break;
    case ModeView::Capture::AfterDelay:
      SetCaptureButtons(false);
      if (!timerCpt_->isActive()) timerCpt_->start();
      break;
  }
}

void TfrmAvCtl::ShowModeIfChanged(int mode) {
  if (mode == ShownMode || !ControlsOn) return;
  ShowMode(mode);
  FrameStepReady = 0;
  if (mode == kTransportPause) timerPause_->start();
  ShownMode = uint8_t(mode);
}

bool TfrmAvCtl::DoCommand(int code) {
  Busy busy(busy_);
  if (!Vtr->Command(code, false)) return false;
  ShowModeIfChanged(code);
  return true;
}

void TfrmAvCtl::TimerCptTimer(QObject*) {
  timerCpt_->stop();
  if (ControlsOn) SetCaptureButtons(true);
}

void TfrmAvCtl::TimerPauseTimer(QObject*) {
  timerPause_->stop();
  FrameStepReady = 1;
}

// ---- buttons ----------------------------------------------------------------------------------------

QLabel* TfrmAvCtl::Button(const QString& name) const { return component<QLabel>(name); }

int TfrmAvCtl::ButtonState(const QString& name) const {
  auto it = buttons_.find(name);
  if (it == buttons_.end()) return 0;
  if (!Button(name)->isEnabled()) return kButtonDisabled;
  return (it->second.pressed ? kButtonPressed : 0) | (it->second.lit ? kButtonLit : 0);
}

void TfrmAvCtl::SetButton(const QString& name, bool enabled, std::optional<bool> lit, std::optional<bool> pressed) {
  ButtonInfo& b = buttons_[name];
  if (lit) b.lit = *lit;
  if (pressed) b.pressed = *pressed;
  QLabel* label = Button(name);
  label->setEnabled(enabled);
  label->setPixmap(b.pictures[size_t(ButtonState(name))]);
}

void TfrmAvCtl::ButtonMouseDown(platform::EventArgs& a) {
  if (a.button != Qt::LeftButton) return;
  auto* w = qobject_cast<QWidget*>(a.sender);
  const QString name = w ? w->objectName() : QString();
  const bool button = buttons_.count(name) > 0;
  if (!button || !w->isEnabled() || !InHitArea(HitAreaOf(name), a.pos.x(), a.pos.y(), w->width(), w->height())) {
    // Outside a button: the press moves the window.
    dragging_ = 1;
    dragOrigin_ = a.pos;
    return;
  }
  SetButton(name, true, std::nullopt, true);
  if (actsOnRelease(name)) {
    pressedButton_ = name;
    return;
  }
  Action(name);
}

void TfrmAvCtl::ButtonMouseMove(platform::EventArgs& a) {
  if (dragging_) DragTo(a.pos);
}

void TfrmAvCtl::DragTo(const QPoint& pos) { move(this->pos() + (pos - dragOrigin_)); }

void TfrmAvCtl::ButtonMouseUp(platform::EventArgs& a) {
  if (a.button != Qt::LeftButton) return;
  auto* w = qobject_cast<QWidget*>(a.sender);
  const QString name = w ? w->objectName() : QString();
  dragging_ = 0;
  if (buttons_.count(name) && buttons_[name].pressed) SetButton(name, w->isEnabled(), std::nullopt, false);
  const QString pressed = pressedButton_;
  pressedButton_.clear();
  if (pressed.isEmpty() || pressed != name || !w->isEnabled()) return;
  if (!InHitArea(HitAreaOf(name), a.pos.x(), a.pos.y(), w->width(), w->height())) return;
  if (name == "imgClose") closeForm();
  else Action(name);
}

void TfrmAvCtl::Action(const QString& name) {
  if (busy_) return;
  if (int code = CommandOfButton(name, ShownMode)) {
    DoCommand(code);
  } else if (name == "imgFFrame" || name == "imgRFrame") {
    if (!FrameStepReady) return;
    Busy busy(busy_);
    Vtr->FrameStep(name == "imgFFrame");
  } else if (name == "imgCpt") {
    btnCaptClick();
  } else if (name == "imgAuto") {
    btnAutoClick();
  }
}

bool TfrmAvCtl::AlbumFull() { return AlbumCount() >= workspace::kAlbumLimit; }

void TfrmAvCtl::btnCaptClick() {
  ProcessMessages();
  if (AlbumFull()) {
    workspace::frmMain->ShowFrameOver(this);
    return;
  }
  StopLink();
  CaptureOne();
  RestartLink();
}

void TfrmAvCtl::btnAutoClick() {
  if (AlbumFull()) {
    workspace::frmMain->ShowFrameOver(this);
    return;
  }
  DoCommand(kTransportPause);
  if (!OlderDevice) {
    Busy busy(busy_);
    Vtr->PrepareNewerDevice();
  }
  ProcessMessages();
  TfrmAuto* dialog = AutoForm();
  dialog->showModal();
  ProcessMessages();
  if (!dialog->Confirmed) {
    ShowCaptureButtons();
    return;
  }
  // The run decides from now on: the panel's own controls stay off until it ends.
  ControlsOn = 0;
  for (const char* name : kTransportButtons) SetButton(name, false);
  SetCaptureButtons(false);
  Vtr->SetAutoOn(true);
}

void TfrmAvCtl::pmDeviceClick(QObject*) {
  if (busy_ || Vtr->AutoOn()) return;
  StopLink();
  ProcessMessages();
  TfrmVarnDev* dev = DeviceForm();
  dev->showModal();
  ProcessMessages();
  if (dev->Active.port >= 1 && dev->Active.port <= 8) {
    VarnIO->Open(dev->Active.port);
    RestartLink();
  }
}

// ---- one capture --------------------------------------------------------------------------------------

bool TfrmAvCtl::CaptureOne() {
  Busy busy(busy_);
  platform::postMessage(this, platform::WM_CAPTURE_STATE, 0, 0);
  ProcessMessages();
  const LinkSettings& a = DeviceForm()->Active;
  if (!a.playId && a.captureId) Cpt->SelectStandalone();
  const VtrStatus s = Vtr->Snapshot();
  Cpt->settings().tape = {s.position, s.mode, s.frameRate};
  PanelCaptureHooks hooks;
  Cpt->SetHooks(&hooks);
  const int r = Cpt->CaptureSequence();
  Cpt->SetHooks(nullptr);
  // A picture the album did not take because it is full was told so by the album itself.
  if (r >= 16 && !(r == kCaptureNotAdded && AlbumFull())) {
    std::string text;
    if (r == kCaptureNoSignal) text = Lang->GetMsg("MSG_NOSIG").toStdString();
    else if (r == kCaptureRefused) text = Lang->GetMsg("MSG_CANTCPT").toStdString();
    else if (r == kCaptureFileFailed) text = Lang->GetMsg("MSG_SAVE_ERR").toStdString();
    else if (r == kCaptureNotAdded)
      text = workspace::NamesMessage(*Lang, Lang->GetMsg("MSG_NOTADDED").toStdString(), {Cpt->lastFile()});
    else text = (Lang->GetMsg("MSG_COMERR") + "[" + QString::number(r) + "]").toStdString();
    platform::messageBox(nullptr, text, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
  }
  platform::postMessage(this, platform::WM_CAPTURE_STATE, 0, 1);
  return r == kCaptured;
}

// ---- messages ------------------------------------------------------------------------------------------

LRESULT TfrmAvCtl::WMVtrStatus(WPARAM, LPARAM) {
  Vtr->NotifyTaken();
  // Each change is taken away before the status is read, so a change that comes in
  // between is reported again rather than lost.
  if (Vtr->ClearChanges(kLinkChanged) & kLinkChanged) {
    SetOnline(Vtr->Snapshot().online);
    return 0;  // the time code and the mode come with the next report
  }
  const uint8_t changes = Vtr->ClearChanges(kTimeCodeChanged | kModeChanged);
  const VtrStatus s = Vtr->Snapshot();
  if (changes & kTimeCodeChanged) ui_->lblCounter->setText(QString::fromLatin1(s.timeCode.data()).left(12));
  if (changes & kModeChanged) {
    if (TfrmAuto* dialog = AutoForm(); dialog && dialog->isVisible())
      platform::postMessage(dialog, platform::WM_VTR_STATUS, 0, 0);
    ShowModeIfChanged(s.mode);
  }
  return 0;
}

LRESULT TfrmAvCtl::WMCaptureState(WPARAM, LPARAM state) {
  // Controls back on after a capture: the panel shows the camcorder as the link knows it
  // (offline until it has answered since the link restarted), not as it was before. A
  // capture unit without a play device has no transport to poll: its controls simply return.
  const bool play = DeviceForm() && DeviceForm()->Active.playId;
  SetOnline(state != 0 && (!play || Vtr->Snapshot().online));
  return 0;
}

LRESULT TfrmAvCtl::WMAutoError(WPARAM, LPARAM l) {
  if (l == 1)
    platform::messageBox(nullptr, Lang->GetMsg("MSG_AUTOERRSTOP").toStdString(), platform::MsgButtons::Ok,
                         platform::MsgIcon::Warning);
  return 0;
}

void TfrmAvCtl::HandOver(AutoStep step, std::stop_token stop) {
  handOver_ = true;
  platform::postMessage(this, WM_AUTO_STEP, step == AutoStep::Check ? 0 : 1, 0);
  // A wait for the GUI thread, not part of the line's timing: on the real clock.
  while (handOver_ && !stop.stop_requested()) std::this_thread::sleep_for(2ms);
}

LRESULT TfrmAvCtl::WMAutoStep(WPARAM step, LPARAM) {
  if (busy_) {
    // The GUI thread is inside an exchange of its own: the step comes after it.
    QTimer::singleShot(20, this, [this, step] { WMAutoStep(step, 0); });
    return 0;
  }
  {
    Busy busy(busy_);
    if (step == 0) Vtr->AutoCheck();
    else Vtr->DeviceLost();
  }
  handOver_ = false;
  return 0;
}

// ---- what automatic capture asks ------------------------------------------------------------------

bool TfrmAvCtl::AbortFlag() { return workspace::frmWait && workspace::frmWait->AbortFlag != 0; }

void TfrmAvCtl::SetAbortFlag(bool on) {
  if (workspace::frmWait) workspace::frmWait->AbortFlag = on ? 1 : 0;
}

bool TfrmAvCtl::WaitShown() { return workspace::frmWait && workspace::frmWait->isVisible(); }

void TfrmAvCtl::ShowWait() {
  QString caption = Lang->GetMsg("MB_TI_AUTO");
  if (workspace::frmWait)
    platform::sendMessage(workspace::frmWait, platform::WM_WAIT_SHOW, reinterpret_cast<WPARAM>(&caption), 1);
}

void TfrmAvCtl::CloseWait() {
  if (workspace::frmWait) platform::sendMessage(workspace::frmWait, platform::WM_WAIT_CLOSE);
}

int TfrmAvCtl::AlbumCount() { return workspace::Flames ? workspace::Flames->Count() : 0; }

void TfrmAvCtl::ReportAutoError() { platform::postMessage(this, platform::WM_AUTO_ERROR, 0, 1); }

void TfrmAvCtl::RunEnded() {
  ControlsOn = 1;
  if (TfrmAuto* dialog = AutoForm()) dialog->Confirmed = 0;
  const VtrStatus s = Vtr->Snapshot();
  SetOnline(s.online);
  ShownMode = s.mode;
}

}  // namespace capture
