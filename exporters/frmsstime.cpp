#include "frmsstime.h"

#include <QPushButton>

#include "controls.h"
#include "ui_frmsstime.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;

TfrmSSTime::TfrmSSTime() : ui_(std::make_unique<Ui::frmSSTime>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmSSTime::~TfrmSSTime() = default;

LimitSpinBox* TfrmSSTime::csTime() const { return ui_->csTime; }

void TfrmSSTime::FormCreate() {
  workspace::Lang->ApplyCaptions(this);
  setWindowTitle(workspace::Lang->GetMsg("TI_SSTIME"));
  ui_->csTime->SetLimits(kMinSeconds, kMaxSeconds);
  ui_->csTime->SetValue(5);
  bindHandlers({
      {"csTime", Event::Change, handler(&TfrmSSTime::csTimeChange)},
      {"csTime", Event::KeyDown, handler(&TfrmSSTime::csTimeKeyDown)},
      {"btnOk", Event::Click, handler(&TfrmSSTime::btnOkClick)},
  });
}

void TfrmSSTime::FormShow() {
  Cancelled = 1;
  csTimeChange(ui_->csTime);
  ui_->csTime->setFocus();
  ui_->csTime->selectAll();
}

void TfrmSSTime::csTimeChange(QObject*) { ui_->btnOk->setEnabled(ui_->csTime->ShowValidity()); }

void TfrmSSTime::csTimeKeyDown(platform::EventArgs& a) {
  if (a.key != Qt::Key_Return && a.key != Qt::Key_Enter) return;
  // Enter accepts a valid value and does nothing else (the default button included).
  a.key = 0;
  if (ui_->csTime->Valid()) btnOkClick(ui_->btnOk);
}

void TfrmSSTime::btnOkClick(QObject*) {
  Cancelled = 0;
  setModalResult(platform::mrOk);
}

}  // namespace exporters
