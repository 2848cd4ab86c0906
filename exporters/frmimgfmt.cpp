#include "frmimgfmt.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "controls.h"
#include "ui_frmimgfmt.h"
#include "workspace/lang.h"
#include "workspace/program.h"

namespace exporters {

using platform::Event;
using workspace::kCorrectionCodes;
using workspace::kDefaultCorrectionItem;
using workspace::kSizePresets;
using Fmt = workspace::OutputFormatSettings;

namespace {
// A group's title in the window-text colour, or greyed.
void setTitleGreyed(QWidget* group, bool greyed) {
  QPalette p = group->parentWidget()->palette();
  if (greyed) {
    const QColor grey = p.color(QPalette::Disabled, QPalette::WindowText);
    p.setColor(QPalette::Active, QPalette::WindowText, grey);
    p.setColor(QPalette::Inactive, QPalette::WindowText, grey);
  }
  group->setPalette(p);
}

// The limits divide by the source size, which callers keep at 1 or more.
int32_t atLeastOne(int32_t v) { return std::max<int32_t>(v, 1); }
}  // namespace

TfrmImgFmt::TfrmImgFmt(workspace::OutputFormatSettings& settings)
    : ui_(std::make_unique<Ui::frmImgFmt>()), s_(settings) {
  ui_->setupUi(this);
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
}

TfrmImgFmt::~TfrmImgFmt() = default;

LimitSpinBox* TfrmImgFmt::csW() const { return ui_->csW; }
LimitSpinBox* TfrmImgFmt::csH() const { return ui_->csH; }
RadioGroup* TfrmImgFmt::rgRevImage() const { return ui_->rgRevImage; }
RadioGroup* TfrmImgFmt::rgRotate() const { return ui_->rgRotate; }

void TfrmImgFmt::FormCreate() {
  workspace::Lang->ApplyCaptions(this);
  setWindowTitle(workspace::Lang->GetMsg("TI_FORMAT"));
  const QString none = workspace::Lang->GetMsg("RB_NONE");
  ui_->rgRevImage->SetItems({none, workspace::Lang->GetMsg("RB_MOVE"), workspace::Lang->GetMsg("RB_FIELD")});
  ui_->rgRotate->SetItems({none, workspace::Lang->GetMsg("RB_CLK"), workspace::Lang->GetMsg("RB_CNTCLK")});
  for (LimitSpinBox* edit : {ui_->csW, ui_->csH}) {
    edit->SetLimits(kMinSide, kDesignMaxSide);
    edit->SetValue(kMinSide);
  }

  bindHandlers({
      {"rbOrg", Event::Click, handler(&TfrmImgFmt::rbSizeClick)},
      {"rbExed", Event::Click, handler(&TfrmImgFmt::rbSizeClick)},
      {"rbGen", Event::Click, handler(&TfrmImgFmt::rbSizeClick)},
      {"rbPDA", Event::Click, handler(&TfrmImgFmt::rbSizeClick)},
      {"cbAsp", Event::Click, handler(&TfrmImgFmt::cbAspClick)},
      {"csW", Event::Change, handler(&TfrmImgFmt::csWChange)},
      {"csH", Event::Change, handler(&TfrmImgFmt::csHChange)},
      {"cbFmt", Event::Change, handler(&TfrmImgFmt::cbFmtChange)},
      {"tbJpeg", Event::Change, handler(&TfrmImgFmt::tbJpegChange)},
      {"btnOk", Event::Click, handler(&TfrmImgFmt::btnOkClick)},
  });
  // Only the user's choice in the preset list takes a preset; setting it from code does not.
  connect(ui_->cbSize, &QComboBox::activated, this, [this](int index) { SetSizePreset(index); });
  ui_->rgRevImage->OnClick = [this] {
    const int item = ui_->rgRevImage->ItemIndex();
    if (item >= 0 && item < static_cast<int>(kCorrectionCodes.size())) s_.CorrectionCode = kCorrectionCodes[item];
  };
  ui_->rgRotate->OnClick = [this] { s_.Rotation = std::max(0, ui_->rgRotate->ItemIndex()); };
  SetDefaults();
}

// ---- operations ------------------------------------------------------------------------------------

void TfrmImgFmt::SetDefaults() {
  workspace::SetDefaults(s_);
  ResetPresetList();
  SetJpegQuality(75);
  SetFormat(Fmt::kJpeg);
  SetSizeMode(Fmt::kFreeSize);
  // The group shows the item whose code the reset stored.
  ui_->rgRevImage->SetItemIndexSilently(kDefaultCorrectionItem);
  s_.Rotation = Fmt::kNoRotation;
  ui_->rgRotate->SetItemIndex(0);
  ui_->rgRevImage->setEnabled(false);
}

void TfrmImgFmt::ResetPresetList() {
  {
    const QSignalBlocker quiet(ui_->cbSize);
    ui_->cbSize->setCurrentIndex(3);
  }
  resetsSeen_ = s_.Resets;
}

void TfrmImgFmt::SetFormat(int format) {
  if (format < Fmt::kJpeg || format > Fmt::kTitle) return;
  if (format != Fmt::kTitle && ui_->cbFmt->currentIndex() != format) ui_->cbFmt->setCurrentIndex(format);
  s_.Format = format;
  if (format == Fmt::kJpeg) {
    setTitleGreyed(ui_->gbJpeg, false);
    ui_->tbJpeg->setEnabled(true);
  } else if (format == Fmt::kBmp) {
    setTitleGreyed(ui_->gbJpeg, true);
    ui_->tbJpeg->setEnabled(false);
  }
}

void TfrmImgFmt::SetSizePreset(int index) {
  if (index < 0 || index >= static_cast<int>(kSizePresets.size())) return;
  s_.PresetIndex = index;
  ui_->csW->SetValue(kSizePresets[static_cast<size_t>(index)].width);
  ui_->csH->SetValue(kSizePresets[static_cast<size_t>(index)].height);
  s_.OutputWidth = ui_->csW->value();
  s_.OutputHeight = ui_->csH->value();
}

void TfrmImgFmt::SetJpegQuality(int quality) {
  if (quality < 0 || quality > 100) return;
  if (ui_->tbJpeg->value() != quality) ui_->tbJpeg->setValue(quality);
  ui_->lblJpeg->setText(QString::number(quality));
  s_.JpegQuality = quality;
}

void TfrmImgFmt::SetSizeMode(int mode) {
  if (mode < Fmt::kKeepSize || mode > Fmt::kSize720x540) return;
  s_.SizeMode = mode;
  if (mode == Fmt::kFreeSize && !ui_->rbExed->isChecked()) ui_->rbExed->setChecked(true);
  if (mode == Fmt::kPresetSize && !ui_->rbGen->isChecked()) ui_->rbGen->setChecked(true);
  EnableSizeControls();
  if (mode == Fmt::kPresetSize) SetSizePreset(ui_->cbSize->currentIndex());
  if (mode == Fmt::kKeepSize) {
    if (!ui_->rbOrg->isChecked()) ui_->rbOrg->setChecked(true);
    ui_->csW->SetValue(s_.SourceWidth);
    ui_->csH->SetValue(s_.SourceHeight);
    ui_->cbAsp->setChecked(true);
  }
  if (mode == Fmt::kSize720x540) {
    if (!ui_->rbPDA->isChecked()) ui_->rbPDA->setChecked(true);
    ui_->cbAsp->setChecked(false);
    ui_->csW->SetValue(kWideWidth);
    ui_->csH->SetValue(kWideHeight);
  }
  ui_->rgRotate->setEnabled(s_.SizeMode != Fmt::kSize720x540 && rotationOffered_);
}

void TfrmImgFmt::EnableSizeControls() {
  const bool free = s_.SizeMode == Fmt::kFreeSize;
  ui_->csW->setEnabled(free);
  ui_->csH->setEnabled(free);
  ui_->cbAsp->setEnabled(free);
  ui_->cbSize->setEnabled(s_.SizeMode == Fmt::kPresetSize);
}

// ---- showing ---------------------------------------------------------------------------------------

void TfrmImgFmt::MirrorRecord() {
  {
    const QSignalBlocker quietFormat(ui_->cbFmt);
    if (s_.Format == Fmt::kJpeg || s_.Format == Fmt::kBmp) ui_->cbFmt->setCurrentIndex(s_.Format);
    const QSignalBlocker quietQuality(ui_->tbJpeg);
    ui_->tbJpeg->setValue(s_.JpegQuality);
    ui_->lblJpeg->setText(QString::number(s_.JpegQuality));
    QRadioButton* sizes[] = {ui_->rbOrg, ui_->rbExed, ui_->rbGen, ui_->rbPDA};
    if (s_.SizeMode >= Fmt::kKeepSize && s_.SizeMode <= Fmt::kSize720x540) {
      QRadioButton* b = sizes[s_.SizeMode];
      const QSignalBlocker quietSize(b);
      b->setChecked(true);
    }
  }
  setTitleGreyed(ui_->gbJpeg, s_.Format == Fmt::kBmp);
  ui_->tbJpeg->setEnabled(s_.Format != Fmt::kBmp);
  EnableSizeControls();
  ui_->rgRotate->SetItemIndexSilently(s_.Rotation);
}

void TfrmImgFmt::FormShow() {
  // A command that reset the record without the dialog left the preset list where an
  // earlier showing put it; the reset puts it on 640x480.
  if (s_.Resets != resetsSeen_) ResetPresetList();
  MirrorRecord();
  s_.SourceWidth = atLeastOne(s_.SourceWidth);
  s_.SourceHeight = atLeastOne(s_.SourceHeight);
  // The limits of this source first, so that the edits can show its whole size.
  RecomputeLimits();
  ui_->csW->SetValue(s_.SourceWidth);
  ui_->csH->SetValue(s_.SourceHeight);
  setTitleGreyed(ui_->gbFmt, false);
  ui_->cbFmt->setEnabled(true);
  rotationOffered_ = s_.RotationAllowed == 1;
  if (s_.KeepSizeAllowed == 1 && s_.SourceWidth <= kMaxSide && s_.SourceHeight <= kMaxSide) {
    ui_->rbOrg->setEnabled(true);
    if (!ui_->rbOrg->isChecked()) ui_->rbOrg->setChecked(true);
  } else {
    ui_->rbOrg->setEnabled(false);
    if (!ui_->rbExed->isChecked()) ui_->rbExed->setChecked(true);
  }
  s_.KeepSizeAllowed = 1;
  ui_->rgRevImage->setEnabled(false);
  ui_->rgRotate->setEnabled(rotationOffered_ && s_.SizeMode != Fmt::kSize720x540);
  s_.RotationAllowed = 1;
  s_.Cancelled = 1;
  cbAspClick(ui_->cbAsp);
}

// ---- limits and the aspect lock --------------------------------------------------------------------

void TfrmImgFmt::RecomputeLimits() {
  const int32_t sw = atLeastOne(s_.SourceWidth), sh = atLeastOne(s_.SourceHeight);
  if (!ui_->cbAsp->isChecked()) {
    ui_->csW->SetLimits(kMinSide, kMaxSide);
    ui_->csH->SetLimits(kMinSide, kMaxSide);
  } else if (sw > sh) {
    ui_->csW->SetLimits(kMinSide, kMaxSide);
    ui_->csH->SetLimits(kMinSide, sh * kMaxSide / sw);
  } else {
    ui_->csH->SetLimits(kMinSide, kMaxSide);
    ui_->csW->SetLimits(kMinSide, sw * kMaxSide / sh);
  }
}

void TfrmImgFmt::Follow(LimitSpinBox* leader, LimitSpinBox* follower, int32_t num, int32_t den) {
  if (!ui_->rbExed->isChecked() || !ui_->cbAsp->isChecked() || num == 0 || den == 0) return;
  const int64_t side = int64_t{leader->value()} * num / den;
  if (side <= follower->Hi()) follower->SetValue(static_cast<int>(side));
}

void TfrmImgFmt::HeightFollowsWidth() { Follow(ui_->csW, ui_->csH, s_.SourceHeight, s_.SourceWidth); }

void TfrmImgFmt::WidthFollowsHeight() { Follow(ui_->csH, ui_->csW, s_.SourceWidth, s_.SourceHeight); }

void TfrmImgFmt::ShowValidity() {
  const bool w = ui_->csW->ShowValidity();
  const bool h = ui_->csH->ShowValidity();
  ui_->btnOk->setEnabled(w && h);
}

// ---- handlers ----------------------------------------------------------------------------------------

void TfrmImgFmt::rbSizeClick(QObject* sender) { SetSizeMode(platform::tagOf(sender)); }

void TfrmImgFmt::cbAspClick(QObject*) {
  RecomputeLimits();
  if (ui_->cbAsp->isChecked()) HeightFollowsWidth();
  // A new limit may leave a shown value outside it: OK waits until it is corrected.
  ShowValidity();
}

void TfrmImgFmt::SizeChanged(LimitSpinBox* edit, int32_t& output, uint8_t& adjusting, uint8_t otherAdjusting,
                             void (TfrmImgFmt::*follow)()) {
  if (edit->Valid()) {
    output = edit->value();
    // Unless the other edit is adjusting this one, it follows this one.
    if (otherAdjusting != 1) {
      adjusting = 1;
      (this->*follow)();
      adjusting = 0;
    }
  }
  ShowValidity();
}

void TfrmImgFmt::csWChange(QObject*) {
  SizeChanged(ui_->csW, s_.OutputWidth, s_.WidthChanging, s_.HeightChanging, &TfrmImgFmt::HeightFollowsWidth);
}

void TfrmImgFmt::csHChange(QObject*) {
  SizeChanged(ui_->csH, s_.OutputHeight, s_.HeightChanging, s_.WidthChanging, &TfrmImgFmt::WidthFollowsHeight);
}

void TfrmImgFmt::cbFmtChange(QObject*) {
  if (ui_->cbFmt->currentIndex() >= 0) SetFormat(ui_->cbFmt->currentIndex());
}

void TfrmImgFmt::tbJpegChange(QObject*) { SetJpegQuality(ui_->tbJpeg->value()); }

void TfrmImgFmt::btnOkClick(QObject*) {
  s_.Cancelled = 0;
  setModalResult(platform::mrOk);
}

}  // namespace exporters
