#include "capture/frmauto.h"

#include <QCheckBox>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "capture/link_objects.h"
#include "ui_frmauto.h"
#include "workspace/flame_info.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/frmwait.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace capture {

using platform::Event;

namespace {
const char* const kSection = "AUTO";
constexpr uint32_t kModeInterval = 1, kModePhoto = 2, kModePhotoRewind = 3;
}  // namespace

TfrmAuto::TfrmAuto() : ui_(std::make_unique<Ui::frmAuto>()) { ui_->setupUi(this); }

TfrmAuto::~TfrmAuto() = default;

void TfrmAuto::FormCreate() {
  workspace::Lang->ApplyCaptions(this);
  setWindowTitle(workspace::Lang->GetMsg("TI_AUTO"));
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
  bindHandlers({
      {"rbPhoto", Event::Click, handler(&TfrmAuto::rbPhotoClick)},
      {"rbInterval", Event::Click, handler(&TfrmAuto::rbIntervalClick)},
      {"seM2", Event::Change, handler(&TfrmAuto::seIntervalChange)},
      {"seS2", Event::Change, handler(&TfrmAuto::seIntervalChange)},
      {"seNum", Event::Change, handler(&TfrmAuto::seNumChange)},
      {"btnExR", Event::Click, handler(&TfrmAuto::btnExRClick)},
  });
  onMessage(platform::WM_VTR_STATUS, [this](platform::WPARAM w, platform::LPARAM l) { return WMVtrStatus(w, l); });
}

void TfrmAuto::LoadSettings() {
  Saved = AutoSettings{};
  if (workspace::Profile) {
    auto read = [](const char* key, uint32_t& field) {
      int32_t v = 0;
      if (workspace::Profile->ReadInt(kSection, key, v) && v >= 0) field = uint32_t(v);
    };
    read("MODE", Saved.mode);
    read("TIMECODE", Saved.targetFrames);
    read("INTERVALSEC", Saved.intervalSeconds);
    read("NUM_PICT", Saved.count);
  }
  Working = Saved;
}

void TfrmAuto::SaveSettings() {
  Saved = Working;
  if (!workspace::Profile) return;
  workspace::Profile->WriteInt(kSection, "MODE", int32_t(Saved.mode));
  workspace::Profile->WriteInt(kSection, "TIMECODE", int32_t(Saved.targetFrames));
  workspace::Profile->WriteInt(kSection, "INTERVALSEC", int32_t(Saved.intervalSeconds));
  workspace::Profile->WriteInt(kSection, "NUM_PICT", int32_t(Saved.count));
}

void TfrmAuto::FormShow() {
  LoadSettings();
  if (Vtr) Vtr->SetAutoOn(false);
  Confirmed = 0;
  FrameRate = Vtr ? Vtr->Snapshot().frameRate : 30;
  const uint32_t stored = Working.mode;
  {
    QSignalBlocker quiet(ui_->cbRewind);
    ui_->cbRewind->setChecked(stored == kModePhotoRewind);
  }
  // The mode follows the radio buttons.
  const bool photo = stored == kModePhoto || stored == kModePhotoRewind;
  {
    QSignalBlocker p(ui_->rbPhoto), i(ui_->rbInterval);
    (photo ? ui_->rbPhoto : ui_->rbInterval)->setChecked(true);
  }
  if (photo) rbPhotoClick(ui_->rbPhoto);
  else rbIntervalClick(ui_->rbInterval);
  {
    QSignalBlocker m(ui_->seM2), s(ui_->seS2);
    ui_->seM2->setValue(int(Working.intervalSeconds % 3600 / 60));
    ui_->seS2->setValue(int(Working.intervalSeconds % 60));
  }
  Working.intervalFrames = Working.intervalSeconds * FrameRate;
  {
    QSignalBlocker quiet(ui_->seNum);
    ui_->seNum->setValue(int(std::min<uint32_t>(Working.count, 200)));
  }
  UpdateOk();
}

void TfrmAuto::rbPhotoClick(QObject*) {
  Working.mode = kModePhoto;
  NumMinimum = 1;
  for (QWidget* w : {static_cast<QWidget*>(ui_->seM2), static_cast<QWidget*>(ui_->seS2),
                     static_cast<QWidget*>(ui_->lblMin), static_cast<QWidget*>(ui_->lblSec)})
    w->setEnabled(false);
  UpdateOk();
}

void TfrmAuto::rbIntervalClick(QObject*) {
  Working.mode = kModeInterval;
  for (QWidget* w : {static_cast<QWidget*>(ui_->seM2), static_cast<QWidget*>(ui_->seS2),
                     static_cast<QWidget*>(ui_->lblMin), static_cast<QWidget*>(ui_->lblSec)})
    w->setEnabled(true);
  NumMinimum = 2;
  if (ui_->seNum->value() < NumMinimum) ui_->seNum->setValue(NumMinimum);
  UpdateOk();
}

void TfrmAuto::Recompute() {
  if (Working.mode != kModeInterval) return;
  Working.intervalSeconds = uint32_t(ui_->seM2->value() * 60 + ui_->seS2->value());
  Working.intervalFrames = Working.intervalSeconds * FrameRate;
}

void TfrmAuto::seIntervalChange(QObject*) {
  Recompute();
  UpdateOk();
}

void TfrmAuto::seNumChange(QObject*) { UpdateOk(); }

bool TfrmAuto::OkAllowed() const {
  const uint8_t mode = Vtr ? uint8_t(Vtr->Snapshot().mode & 0x0F) : 0;
  if (mode != kTransportPause && mode != kTransportPlay) return false;
  if (ui_->seNum->value() < NumMinimum) return false;
  // An interval of no time would take the same frame again and again.
  if (Working.mode == kModeInterval && ui_->seM2->value() * 60 + ui_->seS2->value() == 0) return false;
  return true;
}

void TfrmAuto::UpdateOk() {
  ui_->btnExR->setEnabled(OkAllowed());
  QPalette p = ui_->seNum->palette();
  p.setColor(QPalette::Text, ui_->seNum->value() < NumMinimum ? Qt::red : Qt::black);
  ui_->seNum->setPalette(p);
}

platform::LRESULT TfrmAuto::WMVtrStatus(platform::WPARAM, platform::LPARAM) {
  UpdateOk();
  return 0;
}

void TfrmAuto::btnExRClick(QObject*) {
  if (!OkAllowed()) return;
  const int count = workspace::Flames ? workspace::Flames->Count() : 0;
  if (count + ui_->seNum->value() > workspace::kAlbumLimit) {
    if (workspace::frmMain) workspace::frmMain->ShowFrameOver(this);
    return;
  }
  Working.count = uint32_t(ui_->seNum->value());
  setModalResult(platform::mrOk);
  Confirmed = 1;
  Recompute();
  SaveSettings();
  if (Vtr) {
    Vtr->Settings() = Saved;
    if (Saved.mode == kModeInterval) Vtr->StartInterval(Vtr->Snapshot().position);
    else Vtr->StartPhotoSearch(ui_->cbRewind->isChecked());
  }
  if (workspace::frmWait) workspace::frmWait->AbortFlag = 0;
}

}  // namespace capture
