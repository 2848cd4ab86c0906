// The automatic-capture dialog: one picture at each photo scene the camcorder's photo
// search finds (optionally rewinding the tape first), or one picture every fixed interval
// of tape time; and how many pictures. Its settings live in section "AUTO" of the
// settings file. The run itself is the transport's (VarnVtr); OK sets it up.
#pragma once

#include <memory>

#include "capture/varn_vtr.h"
#include "platform/form.h"

namespace Ui {
class frmAuto;
}

namespace capture {

class TfrmAuto final : public platform::Form {
  Q_OBJECT

 public:
  TfrmAuto();
  ~TfrmAuto() override;

  AutoSettings Working;     // edited by the dialog
  AutoSettings Saved;       // what OK confirmed, used by the run
  uint8_t Confirmed = 0;    // the dialog was closed with OK
  uint32_t FrameRate = 30;  // of the tape, when the dialog was shown
  int NumMinimum = 1;       // the least number of pictures of the mode

  void LoadSettings();
  void SaveSettings();
  // Whether OK may be pressed now.
  bool OkAllowed() const;

  void rbPhotoClick(QObject* sender);
  void rbIntervalClick(QObject* sender);
  void seIntervalChange(QObject* sender);
  void seNumChange(QObject* sender);
  void btnExRClick(QObject* sender);

 protected:
  void FormCreate() override;
  void FormShow() override;

 private:
  platform::LRESULT WMVtrStatus(platform::WPARAM, platform::LPARAM);
  void UpdateOk();
  void Recompute();

  std::unique_ptr<Ui::frmAuto> ui_;
};

}  // namespace capture
