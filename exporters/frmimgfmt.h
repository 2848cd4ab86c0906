// The output picture settings dialog: how a picture is written when it leaves the album
// (format, size, JPEG quality, rotation). It shows and edits the program's one record
// of output settings (workspace/output_format.h), which the picture engine's export
// reads. Every command that writes pictures resets the record first (SetDefaults),
// sets the source size and what it allows, then shows the dialog modally or fills the
// record itself; after a showing, Cancelled tells OK (0) from Cancel or closing (1).
//
// Setting a radio button, the aspect check box or a radio group from code runs the same
// handler as a click whenever the state changes; setting the preset list from code
// runs none; a size edit set from code is held to its limits and runs its change
// handler when the shown value changes. The steps below rely on this, as the user's
// clicks do.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/form.h"
#include "workspace/output_format.h"

namespace Ui {
class frmImgFmt;
}

namespace exporters {

class LimitSpinBox;
class RadioGroup;

class TfrmImgFmt : public platform::Form {
  Q_OBJECT

 public:
  // The edits' limits: 16 at least, and at most 4000 (2000 before the first showing).
  static constexpr int kMinSide = 16;
  static constexpr int kMaxSide = 4000;
  static constexpr int kDesignMaxSide = 2000;
  // The wide format of size mode 3.
  static constexpr int kWideWidth = 720;
  static constexpr int kWideHeight = 540;

  explicit TfrmImgFmt(workspace::OutputFormatSettings& settings = workspace::OutputFormat());
  ~TfrmImgFmt() override;

  workspace::OutputFormatSettings& Settings() const { return s_; }

  // Resets the record and the dialog: source 640 x 480, keeping the size allowed,
  // rotation not offered, JPEG at quality 75, free size, preset list at 640 x 480 (the
  // preset index and the output size are kept), the correction group's item 1 (and
  // its code), no rotation.
  void SetDefaults();
  // Format 0 JPEG, 1 BMP, 2 title picture file (from code only); the quality is
  // offered for JPEG only.
  void SetFormat(int format);
  // Takes preset `index` (0..7; others are ignored) into the edits, held to their
  // limits, and the output size.
  void SetSizePreset(int index);
  // 0..100; other values are ignored.
  void SetJpegQuality(int quality);
  // 0 keep the source size, 1 free size, 2 preset size, 3 the 720 x 540 wide format:
  // checks its radio button and enables the controls it uses.
  void SetSizeMode(int mode);

  LimitSpinBox* csW() const;
  LimitSpinBox* csH() const;
  RadioGroup* rgRevImage() const;
  RadioGroup* rgRotate() const;

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  void rbSizeClick(QObject* sender);
  void cbAspClick(QObject* sender);
  void csWChange(QObject* sender);
  void csHChange(QObject* sender);
  void cbFmtChange(QObject* sender);
  void tbJpegChange(QObject* sender);
  void btnOkClick(QObject* sender);

  // The reset's step for the preset list: 640x480, selected without its handler.
  void ResetPresetList();
  // The edits' limits by the aspect box and the source's shape.
  void RecomputeLimits();
  // The aspect lock: one edit follows the other while free size and the aspect box
  // are both chosen, the follower taking leader x num / den unless that passes its
  // upper limit.
  void Follow(LimitSpinBox* leader, LimitSpinBox* follower, int32_t num, int32_t den);
  void HeightFollowsWidth();
  void WidthFollowsHeight();
  // A change of a size edit: a valid value becomes that output side, and the other
  // edit follows.
  void SizeChanged(LimitSpinBox* edit, int32_t& output, uint8_t& adjusting, uint8_t otherAdjusting,
                   void (TfrmImgFmt::*follow)());
  // Red text for an edit outside its limits; OK only while both edits are valid.
  void ShowValidity();
  // The controls take what the record says (for callers that set the record only).
  void MirrorRecord();
  void EnableSizeControls();

  std::unique_ptr<Ui::frmImgFmt> ui_;
  workspace::OutputFormatSettings& s_;
  bool rotationOffered_ = false;  // the caller of this showing offered rotation
  uint32_t resetsSeen_ = 0;  // the record's resets that the controls follow
};

}  // namespace exporters
