#include "frmtiview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "toolkit/effect/qm6effect.h"
#include "ui_frmtiview.h"
#include "workspace/file_name.h"
#include "workspace/flames.h"
#include "workspace/image_ope.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"
#include "workspace/sframe.h"

namespace exporters {

using platform::Event;
using workspace::Flames;
using workspace::Lang;

namespace {
// Where the visible drive list is made at each showing.
constexpr QRect kDriveListPlace(80, 300, 188, 22);

std::string titleFolderOf(const CardVolume& volume) {
  return (volume.root == "/" ? std::string() : volume.root) + "/TITLES";
}
}  // namespace

TfrmTiView::TfrmTiView() : ui_(std::make_unique<Ui::frmTiView>()), timer1_(new QTimer(this)) {
  ui_->setupUi(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(50);
  timer1_->setSingleShot(true);
  // The designed drive list is not used, and the size list stays hidden: titles are 1280 x 960.
  ui_->cbDrive->hide();
  ui_->cbSize->hide();
  ui_->lblSize->hide();
  setBorderStyle(platform::BorderStyle::Dialog);
  setFormPosition(platform::FormPosition::OwnerCenter);
  bindHandlers({
      {"Timer1", Event::Timer, handler(&TfrmTiView::Timer1Timer)},
      {"pbImg", Event::Paint, handler(&TfrmTiView::pbImgPaint)},
      {"tbSlice", Event::Change, handler(&TfrmTiView::tbSliceChange)},
      {"cbWOCut", Event::Click, handler(&TfrmTiView::cbWOCutClick)},
      {"btnPrev", Event::Click, handler(&TfrmTiView::btnPrevClick)},
      {"btnNext", Event::Click, handler(&TfrmTiView::btnNextClick)},
      {"btnOk", Event::Click, handler(&TfrmTiView::btnOkClick)},
      {"btnCancel", Event::Click, handler(&TfrmTiView::btnCancelClick)},
  });
}

TfrmTiView::~TfrmTiView() = default;

QSlider* TfrmTiView::tbSlice() const { return ui_->tbSlice; }
QCheckBox* TfrmTiView::cbWOCut() const { return ui_->cbWOCut; }
QPushButton* TfrmTiView::btnPrev() const { return ui_->btnPrev; }
QPushButton* TfrmTiView::btnNext() const { return ui_->btnNext; }
QPushButton* TfrmTiView::btnOk() const { return ui_->btnOk; }
QComboBox* TfrmTiView::cbSize() const { return ui_->cbSize; }
QWidget* TfrmTiView::pbImg() const { return ui_->pbImg; }

void TfrmTiView::FormCreate() {
  Lang->ApplyCaptions(this);
  baseCaption_ = Lang->GetMsg("TI_TITLE");
  setWindowTitle(baseCaption_);
  ui_->tbSlice->setTickPosition(QSlider::NoTicks);
  ui_->cbSize->setCurrentIndex(1);
}

void TfrmTiView::FormShow() {
  Cancelled = 1;
  CutLevels.fill(kDefaultCutLevel);
  // A picture that came from a title file starts with its own level.
  Flames->CountSelected();
  for (int i = 0; i < Flames->Count(); ++i) {
    if (Flames->Cell(i)->selected()) CutLevels[static_cast<size_t>(i)] = InitialCutLevel(Flames->Record(i)->titleNo);
  }
  // Without a sample picture of its own the program shows its built-in one, so the
  // preview (and with it the level of the right picture) is always there.
  background_.reset(LoadPreviewBackground(workspace::WorkDir));
  platform::showHourglass();
  ui_->btnPrev->setEnabled(false);
  ui_->btnNext->setEnabled(false);
  timer1_->start();
  CreateDriveList();
  std::string root;
  if (workspace::Profile->ReadString("INIT", "TITLE", root)) {
    for (size_t i = 0; i < volumes_.size(); ++i) {
      if (volumes_[i].root == root) driveList_->setCurrentIndex(static_cast<int>(i));
    }
  }
  ui_->cbSize->setCurrentIndex(1);
}

void TfrmTiView::CreateDriveList() {
  delete driveList_;
  volumes_ = volumeList().Volumes();
  driveList_ = new QComboBox(this);
  driveList_->setObjectName("DriveList");
  driveList_->setGeometry(kDriveListPlace);
  for (const CardVolume& v : volumes_) driveList_->addItem(QString::fromStdString(v.label));
  // A card is what the user most likely means: the first removable volume comes first.
  for (size_t i = 0; i < volumes_.size(); ++i) {
    if (volumes_[i].removable) {
      driveList_->setCurrentIndex(static_cast<int>(i));
      break;
    }
  }
  driveList_->show();
}

const CardVolume* TfrmTiView::ChosenVolume() const {
  const int i = driveList_ ? driveList_->currentIndex() : -1;
  return i >= 0 && i < static_cast<int>(volumes_.size()) ? &volumes_[static_cast<size_t>(i)] : nullptr;
}

void TfrmTiView::Timer1Timer(QObject*) {
  timer1_->stop();
  const int first = Flames->FirstSelected();
  if (first >= 0 && first < Flames->Count()) ShowPreview(first);
  else platform::restoreCursor();
}

bool TfrmTiView::ShowPreview(int index) {
  if (index < 0 || index >= Flames->Count()) return false;
  platform::showHourglass();
  ui_->btnPrev->setEnabled(false);
  ui_->btnNext->setEnabled(false);
  ui_->pbImg->hide();
  source_.reset();
  CurrentIndex = index;

  // The controls show the picture's level; their handlers store the same level again
  // and draw nothing, as there is no preview source yet.
  const int level = CutLevels[static_cast<size_t>(index)];
  ui_->tbSlice->setValue(SliderOfLevel(level));
  ui_->tbSlice->setEnabled(level != 0);
  ui_->cbWOCut->setChecked(level == 0);

  bool ok = false;
  {
    OwnedPicture picture(LoadAlbumPicture(*workspace::ImageOpe, Flames->Record(index)->workPath));
    PreviewPlace place;
    OwnedPicture source(picture ? MakePreviewSource(picture.get(), workspace::WorkDir, place) : 0);
    if (source) {
      source_ = std::move(source);
      place_ = place;
      RenderPreview();
      ok = true;
    }
  }
  ui_->btnPrev->setEnabled(Flames->FirstSelected() < CurrentIndex);
  ui_->btnNext->setEnabled(Flames->LastSelected() > CurrentIndex);
  setWindowTitle(baseCaption_ + QString::asprintf(" [ Image%03d  ]", index + 1));
  ui_->pbImg->show();
  platform::restoreCursor();
  return ok;
}

void TfrmTiView::RenderPreview() {
  if (!source_) return;
  const int level = CutLevels[static_cast<size_t>(CurrentIndex)];
  if (level == 0 && !white_) white_.reset(ImageCreate(kPreviewWidth, kPreviewHeight, 24, 255, 255, 255));
  const QmHandle behind = level != 0 ? background_.get() : white_.get();
  OwnedPicture composed(ComposePreview(behind, source_.get(), level, place_));
  if (!composed) return;
  shown_ = std::move(composed);
  shownImage_ = PictureImage(shown_.get());
  ui_->pbImg->update();
}

void TfrmTiView::pbImgPaint(platform::EventArgs&) {
  if (shownImage_.isNull()) return;
  QPainter painter(ui_->pbImg);
  painter.drawImage(QRect(1, 1, kPreviewWidth, kPreviewHeight), shownImage_);
}

void TfrmTiView::tbSliceChange(QObject*) {
  CutLevels[static_cast<size_t>(CurrentIndex)] = LevelOfSlider(ui_->tbSlice->value());
  RenderPreview();
}

void TfrmTiView::cbWOCutClick(QObject*) {
  const bool without = ui_->cbWOCut->isChecked();
  ui_->tbSlice->setEnabled(!without);
  CutLevels[static_cast<size_t>(CurrentIndex)] = without ? 0 : LevelOfSlider(ui_->tbSlice->value());
  RenderPreview();
}

void TfrmTiView::btnPrevClick(QObject*) { ShowPreview(Flames->PrevSelected(CurrentIndex)); }

void TfrmTiView::btnNextClick(QObject*) { ShowPreview(Flames->NextSelected(CurrentIndex)); }

bool TfrmTiView::CheckCard() {
  const CardVolume* volume = ChosenVolume();
  if (!volume || !volume->removable) {
    platform::showError(this, Lang->GetMsg("MSG_NOTCARD").toStdString());
    return false;
  }
  const std::string folder = titleFolderOf(*volume);
  if (!workspace::FileName(folder + "/Dummy").CheckDirs(false)) {
    const QString question = Lang->GetMsg("MSG_NOTIFOLDER1") + "\n" + Lang->GetMsg("MSG_NOTIFOLDER2");
    if (!platform::askYesNo(this, question.toStdString())) return false;
    // A write-protected card cannot take the folder: say so here, not at the first file.
    if (!workspace::FileName(folder + "/Dummy").CheckDirs(true)) {
      platform::showError(this, Lang->GetMsg("MSG_TITLEDIR_ERR").toStdString());
      return false;
    }
  }
  return true;
}

void TfrmTiView::btnOkClick(QObject*) {
  if (!CheckCard()) return;
  const CardVolume* volume = ChosenVolume();
  TitleFolder = titleFolderOf(*volume);
  workspace::Profile->WriteString("INIT", "TITLE", volume->root);
  workspace::Profile->WriteInt("INIT", "TITLESIZE", ui_->cbSize->currentIndex());
  Cancelled = 0;
  closeForm();
}

void TfrmTiView::btnCancelClick(QObject*) { closeForm(); }

void TfrmTiView::ReleasePictures() {
  background_.reset();
  white_.reset();
  source_.reset();
  shown_.reset();
  shownImage_ = QImage();
}

void TfrmTiView::FormClose(platform::CloseAction&) {
  timer1_->stop();
  ReleasePictures();
  ui_->pbImg->hide();
  delete driveList_;
  driveList_ = nullptr;
  volumes_.clear();
  platform::restoreCursor();
}

}  // namespace exporters
