#include "exporters/frmhtml.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QSpinBox>
#include <algorithm>

#include "exporters/controls.h"
#include "ui_frmhtml.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;

TfrmHTML::TfrmHTML() : ui_(std::make_unique<Ui::frmHTML>()) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmHTML::~TfrmHTML() = default;

QLineEdit* TfrmHTML::edTitle() const { return ui_->edTitle; }
QCheckBox* TfrmHTML::cbImgSize() const { return ui_->cbImgSize; }
QSpinBox* TfrmHTML::seMax() const { return ui_->seMax; }
QLabel* TfrmHTML::lblMax() const { return ui_->lblMax; }
QString TfrmHTML::Title() const { return ui_->edTitle->text(); }

void TfrmHTML::FormCreate() {
  workspace::Lang->ApplyCaptions(this);
  setWindowTitle(workspace::Lang->GetMsg("TI_HTALBUM"));
  bindHandlers({
      {"btnBColor", Event::Click, handler(&TfrmHTML::btnBColorClick)},
      {"btnFColor", Event::Click, handler(&TfrmHTML::btnFColorClick)},
      {"cbImgSize", Event::Click, handler(&TfrmHTML::cbImgSizeClick)},
      {"seMax", Event::Change, handler(&TfrmHTML::seMaxChange)},
      {"btnOk", Event::Click, handler(&TfrmHTML::btnOkClick)},
  });
  SetEditColors(editBack_, editText_);
  cbImgSizeClick(ui_->cbImgSize);
}

void TfrmHTML::FormShow() {
  Cancelled = 1;
  const workspace::CProfile& profile = *workspace::Profile;
  int32_t value = 0;
  uint32_t back = editBack_, text = editText_;
  if (profile.ReadInt("INIT", "HTML_BG", value)) back = static_cast<uint32_t>(value);
  if (profile.ReadInt("INIT", "HTML_TX", value)) text = static_cast<uint32_t>(value);
  SetEditColors(back, text);
  if (profile.ReadInt("INIT", "HTML_SIZE", value)) {
    ui_->seMax->setValue(std::clamp(value, ui_->seMax->minimum(), ui_->seMax->maximum()));
  }
  std::string title;
  if (profile.ReadString("INIT", "HTML_TITLE", title)) ui_->edTitle->setText(QString::fromStdString(title));
  seMaxChange(ui_->seMax);
}

void TfrmHTML::SetEditColors(uint32_t back, uint32_t text) {
  editBack_ = back;
  editText_ = text;
  QPalette palette = ui_->edTitle->palette();
  palette.setColor(QPalette::Base, FromColorRef(static_cast<int32_t>(back)));
  palette.setColor(QPalette::Text, FromColorRef(static_cast<int32_t>(text)));
  ui_->edTitle->setPalette(palette);
}

namespace {
// The colour dialog starting at a stored colour; true with the chosen one in `colour`.
bool chooseColour(QWidget* owner, uint32_t& colour) {
  QColor chosen = FromColorRef(static_cast<int32_t>(colour));
  if (!colourDialogs().choose(owner, chosen)) return false;
  colour = static_cast<uint32_t>(ToColorRef(chosen));
  return true;
}
}  // namespace

void TfrmHTML::btnBColorClick(QObject*) {
  uint32_t colour = editBack_;
  if (chooseColour(this, colour)) SetEditColors(colour, editText_);
}

void TfrmHTML::btnFColorClick(QObject*) {
  uint32_t colour = editText_;
  if (chooseColour(this, colour)) SetEditColors(editBack_, colour);
}

void TfrmHTML::cbImgSizeClick(QObject*) {
  const bool limited = ui_->cbImgSize->isChecked();
  // A disabled label shows in the grey text colour.
  ui_->seMax->setEnabled(limited);
  ui_->lblMax->setEnabled(limited);
  MaxWidth = limited ? ui_->seMax->value() : kUnlimitedWidth;
}

void TfrmHTML::seMaxChange(QObject*) { MaxWidth = ui_->cbImgSize->isChecked() ? ui_->seMax->value() : kUnlimitedWidth; }

void TfrmHTML::btnOkClick(QObject*) {
  workspace::CProfile& profile = *workspace::Profile;
  TextColor = editText_;
  profile.WriteInt("INIT", "HTML_TX", static_cast<int32_t>(TextColor));
  PageColor = editBack_;
  profile.WriteInt("INIT", "HTML_BG", static_cast<int32_t>(PageColor));
  profile.WriteInt("INIT", "HTML_SIZE", ui_->seMax->value());
  profile.WriteString("INIT", "HTML_TITLE", ui_->edTitle->text().toStdString());
  Cancelled = 0;
  setModalResult(platform::mrOk);
}

}  // namespace exporters
