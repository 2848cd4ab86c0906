// The title card dialog: its preview follows the selection, the levels start where they
// should and follow the controls, and OK checks the card.
#include "exporters/frmtiview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>

#include <QCoreApplication>

#include "cards_fixture.h"
#include "exporters/card_pictures.h"
#include "exporters/title_preview.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/profile.h"
#include "workspace/program.h"

namespace {

using namespace cardstest;
using exporters::PreviewPlace;
using platform::MsgAnswer;
namespace fs = std::filesystem;

class TitleDialog : public CardsProgram {
 protected:
  // Shows the dialog (not modally) and waits for its first preview.
  exporters::TfrmTiView* open() {
    exporters::TfrmTiView* d = tiView();
    d->show();
    for (int i = 0; i < 20 && d->Shown().isNull(); ++i) QCoreApplication::processEvents();
    return d;
  }
  static bool near(QRgb a, QColor b, int tolerance = 12) {
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
  }
  // The sample picture behind the cut-out preview.
  static QImage sample() {
    exporters::OwnedPicture bg(exporters::LoadPreviewBackground(workspace::WorkDir));
    return exporters::PictureImage(bg.get());
  }
};

TEST_F(TitleDialog, PreviewFollowsTheSelectionOverTheCameraSample) {
  start();
  const QColor ink(20, 40, 160);
  addPicture(640, 480, ink);
  addPicture(720, 480, ink);
  addPicture(50, 50, Qt::red);  // not selected
  addPicture(480, 640, ink);
  select({0, 1, 3});
  exporters::TfrmTiView* d = open();
  ASSERT_FALSE(d->Shown().isNull()) << "a preview without a sample picture in the work folder";
  const QImage behind = sample();
  struct Step {
    PreviewPlace place;
    const char* caption;
    bool prev, next;
    QPoint outside;  // a point of the preview beside the picture, -1: none
  } steps[] = {
      {{0, 0, 320, 240}, "Title Image [ Image001  ]", false, true, {-1, -1}},
      {{0, 13, 320, 213}, "Title Image [ Image002  ]", true, true, {160, 5}},
      {{70, 0, 180, 240}, "Title Image [ Image004  ]", true, false, {20, 120}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.caption);
    EXPECT_EQ(d->Place(), s.place);
    EXPECT_EQ(d->windowTitle().toStdString(), s.caption);
    EXPECT_EQ(d->btnPrev()->isEnabled(), s.prev);
    EXPECT_EQ(d->btnNext()->isEnabled(), s.next);
    EXPECT_TRUE(near(d->Shown().pixel(160, 120), ink)) << "the dark picture is not cut at 245";
    if (s.outside.x() >= 0) {
      EXPECT_EQ(d->Shown().pixel(s.outside), behind.pixel(s.outside));
    }
    if (s.next) d->btnNext()->click();
  }
  d->btnPrev()->click();
  EXPECT_EQ(d->CurrentIndex, 1);
  d->closeForm();
  EXPECT_TRUE(d->Shown().isNull()) << "the pictures are released when the dialog closes";
}

TEST_F(TitleDialog, LevelsStartFromTitleNumbersAndFollowTheControls) {
  start();
  for (int i = 0; i < 4; ++i) addPicture(320, 240, QColor(250, 250, 250));
  workspace::Flames->Record(1)->titleNo = 100;
  workspace::Flames->Record(2)->titleNo = 255;
  workspace::Flames->Record(3)->titleNo = 7;  // not selected: left at the default
  select({0, 1, 2});
  exporters::TfrmTiView* d = open();
  EXPECT_EQ(d->CutLevels[0], 245);
  EXPECT_EQ(d->CutLevels[1], 100);
  EXPECT_EQ(d->CutLevels[2], 255);
  EXPECT_EQ(d->CutLevels[3], 245);
  EXPECT_EQ(d->tbSlice()->value(), 11);
  // The bright picture is cut out at 245 (the sample shows through) and stands on white without cutting.
  const QImage behind = sample();
  EXPECT_EQ(d->Shown().pixel(160, 120), behind.pixel(160, 120));
  struct Change {
    std::function<void()> act;
    int level;
    bool sliderEnabled;
  } changes[] = {
      {[&] { d->tbSlice()->setValue(255); }, 1, true},
      {[&] { d->tbSlice()->setValue(0); }, 0, true},
      {[&] { d->tbSlice()->setValue(40); }, 216, true},
      {[&] { d->cbWOCut()->click(); }, 0, false},
      {[&] { d->cbWOCut()->click(); }, 216, true},
      {[&] { d->cbWOCut()->click(); }, 0, false},
  };
  for (const Change& c : changes) {
    c.act();
    EXPECT_EQ(d->CutLevels[0], c.level);
    EXPECT_EQ(d->tbSlice()->isEnabled(), c.sliderEnabled);
  }
  EXPECT_TRUE(near(d->Shown().pixel(160, 120), QColor(250, 250, 250), 3));
  // The next picture shows its own level; this one's stays.
  d->btnNext()->click();
  EXPECT_EQ(d->tbSlice()->value(), 156);
  EXPECT_FALSE(d->cbWOCut()->isChecked());
  EXPECT_EQ(d->CutLevels[0], 0);
  d->btnPrev()->click();
  EXPECT_TRUE(d->cbWOCut()->isChecked());
  EXPECT_FALSE(d->tbSlice()->isEnabled());
  d->closeForm();
}

TEST_F(TitleDialog, OnePictureLeavesNothingToStepTo) {
  start();
  addPicture(320, 240, Qt::blue);
  addPicture(320, 240, Qt::blue);
  select({1});
  exporters::TfrmTiView* d = open();
  EXPECT_EQ(d->CurrentIndex, 1);
  EXPECT_FALSE(d->btnPrev()->isEnabled());
  EXPECT_FALSE(d->btnNext()->isEnabled());
  d->closeForm();
}

TEST_F(TitleDialog, SamplePictureFromTheWorkFolder) {
  start();
  addPicture(480, 640, QColor(20, 20, 20));
  select({0});
  exporters::OwnedPicture green(ImageCreate(64, 48, 24, 30, 160, 60));
  ASSERT_TRUE(ImageFileSaveBmp((workspace::WorkDir + "WRO_TI.DAT").c_str(), green.get()));
  exporters::TfrmTiView* d = open();
  EXPECT_EQ(d->Shown().pixel(20, 120), qRgb(30, 160, 60));
  d->closeForm();
}

TEST_F(TitleDialog, OkChecksTheCard) {
  const std::string disk = volumes.Add("disk", false);
  const std::string cardA = volumes.Add("cardA", true);
  const std::string cardB = volumes.Add("cardB", true);
  adtest::writeFile(fs::path(cardB) / "TITLES", "a file where the folder should be");
  start();
  addPicture(320, 240, Qt::blue);
  select({0});
  exporters::TfrmTiView* d = open();
  ASSERT_NE(d->DriveList(), nullptr);
  EXPECT_EQ(d->DriveList()->count(), 3);
  EXPECT_EQ(d->ChosenVolume()->root, cardA) << "the first card is proposed";
  struct Case {
    int volume;
    std::vector<MsgAnswer> answers;
    std::vector<std::string> boxes;
    bool closed;
  } cases[] = {
      {0, {}, {"The chosen drive is not a memory card. Choose the card that the camcorder uses."}, false},
      {1, {MsgAnswer::No}, {"The card has no folder TITLES for title pictures.\nMake it now?"}, false},
      {2,
       {MsgAnswer::Yes},
       {"The card has no folder TITLES for title pictures.\nMake it now?",
        "The folder TITLES could not be made on the card. Is the card write-protected?"},
       false},
      {1, {MsgAnswer::Yes}, {"The card has no folder TITLES for title pictures.\nMake it now?"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.volume);
    platform::ScriptedMessageBoxes scripted;
    for (MsgAnswer a : c.answers) scripted.queue(a);
    d->DriveList()->setCurrentIndex(c.volume);
    d->btnOk()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(texts(scripted), c.boxes);
    EXPECT_EQ(d->isVisible(), !c.closed);
    EXPECT_EQ(d->Cancelled, c.closed ? 0 : 1);
  }
  EXPECT_TRUE(fs::is_directory(fs::path(cardA) / "TITLES"));
  EXPECT_FALSE(fs::exists(fs::path(disk) / "TITLES"));
  EXPECT_EQ(d->TitleFolder, cardA + "/TITLES");
  std::string stored;
  int32_t size = -1;
  ASSERT_TRUE(workspace::Profile->ReadString("INIT", "TITLE", stored));
  EXPECT_EQ(stored, cardA);
  ASSERT_TRUE(workspace::Profile->ReadInt("INIT", "TITLESIZE", size));
  EXPECT_EQ(size, 1);
  EXPECT_EQ(d->DriveList(), nullptr) << "the drive list lives while the dialog is shown";

  // The card chosen last is chosen again; a stored drive letter of old matches none.
  for (auto [value, chosen] : {std::pair{cardB, cardB}, {std::string("E"), cardA}}) {
    workspace::Profile->WriteString("INIT", "TITLE", value);
    d = open();
    EXPECT_EQ(d->ChosenVolume()->root, chosen);
    d->closeForm();
  }
}

}  // namespace
