// The title card dialog: the user chooses the card and, picture by picture, the cut
// level from which a pixel counts as background (the camcorder leaves it out and shows
// its video there), watching a 320 x 240 preview of the result over a sample camera
// picture. The title command (title_command.h) shows it modally and then writes the
// files with the levels chosen here.
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exporters/card_pictures.h"
#include "exporters/card_volumes.h"
#include "exporters/title_preview.h"
#include "platform/form.h"
#include "workspace/flame_info.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSlider;
class QTimer;

namespace Ui {
class frmTiView;
}

namespace exporters {

class TfrmTiView : public platform::Form {
  Q_OBJECT

 public:
  TfrmTiView();
  ~TfrmTiView() override;

  // ---- what the title command reads ----------------------------------------------------
  // One cut level per album index: 0 without cutting-out, 1..255 pixels at least this
  // bright are cut out.
  std::array<int32_t, workspace::kAlbumLimit> CutLevels{};
  // 1 until OK succeeds.
  uint8_t Cancelled = 1;
  // The chosen card's folder of title pictures: its mount point + "/TITLES".
  std::string TitleFolder;
  // The album index of the picture in the preview.
  int CurrentIndex = 0;

  // Builds the preview of album picture `index` and shows it; false when the picture
  // cannot be read or prepared (the previous preview stays).
  bool ShowPreview(int index);
  // Recomposes the shown preview from the preview source and the current cut level.
  void RenderPreview();
  // True when the chosen volume is removable and has (or, when the user agrees, now has)
  // a TITLES folder.
  bool CheckCard();
  // Makes the list of volumes to choose the card from.
  void CreateDriveList();

  // The volume chosen in the drive list; none when the list is empty.
  const CardVolume* ChosenVolume() const;
  // The preview as drawn (null while there is none), and where the picture lies in it.
  const QImage& Shown() const { return shownImage_; }
  const PreviewPlace& Place() const { return place_; }

  QSlider* tbSlice() const;
  QCheckBox* cbWOCut() const;
  QPushButton* btnPrev() const;
  QPushButton* btnNext() const;
  QPushButton* btnOk() const;
  QComboBox* cbSize() const;
  QWidget* pbImg() const;
  QTimer* Timer1() const { return timer1_; }
  // The visible drive list, made at each showing (nullptr while the dialog is hidden).
  QComboBox* DriveList() const { return driveList_; }

 protected:
  void FormCreate() override;
  void FormShow() override;
  void FormClose(platform::CloseAction& action) override;

 private:
  void Timer1Timer(QObject*);
  void pbImgPaint(platform::EventArgs&);
  void tbSliceChange(QObject*);
  void cbWOCutClick(QObject*);
  void btnPrevClick(QObject*);
  void btnNextClick(QObject*);
  void btnOkClick(QObject*);
  void btnCancelClick(QObject*);
  void ReleasePictures();

  std::unique_ptr<Ui::frmTiView> ui_;
  QTimer* timer1_;
  QString baseCaption_;
  OwnedPicture background_;  // the sample camera picture, 320 x 240
  OwnedPicture white_;       // a white 320 x 240 canvas, made on first need
  OwnedPicture source_;      // the current picture prepared at preview size
  OwnedPicture shown_;       // the composed preview
  QImage shownImage_;
  PreviewPlace place_;
  QComboBox* driveList_ = nullptr;
  std::vector<CardVolume> volumes_;
};

}  // namespace exporters
