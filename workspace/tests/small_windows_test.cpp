// The splash and about window, the picture properties and the auto-save results, on
// offscreen widgets with tables and program folders of the test's own.
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include <gtest/gtest.h>

#include "album_fixtures.h"
#include "platform/cursor.h"
#include "workspace/clip_view.h"
#include "workspace/flames.h"
#include "workspace/frmautosave.h"
#include "workspace/frmimgprop.h"
#include "workspace/frmtitle.h"
#include "workspace/lang.h"
#include "workspace/profile.h"
#include "workspace/program.h"

using namespace workspace;
namespace fs = std::filesystem;

namespace {

class SmallWindows : public ::testing::Test {
 protected:
  SmallWindows() {
    programDir = adtest::testDir() / "app";
    fs::create_directories(programDir);
    Profile = new CProfile((adtest::testDir() / "ZEB").string() + "/", programDir.string());
    Lang = new MLang;
    Lang->ParseCaptions(
        "PrgLevel\tTI_IMGPROP\tProps\r\n"
        "PrgLevel\tLBL_UN\tUnknown\r\n"
        "PrgLevel\tLBL_NONE\tNone\r\n"
        "PrgLevel\tTI_AUTOSAVE\tSaved\r\n"
        "PrgLevel\tMSG_AUTOSAVE1\tPicture \r\n"
        "PrgLevel\tMSG_AUTOSAVE2\t as \r\n"
        "PrgLevel\tMSG_AUTOSAVE3\t.\r\n"
        "frmTitle\tlblVerNum\tVersion 1.5.0.2\r\n");
  }
  ~SmallWindows() override {
    platform::restoreCursor();
    Flames = nullptr;
    delete Lang;
    Lang = nullptr;
    delete Profile;
    Profile = nullptr;
  }
  void ship(const char* name, const char* as = nullptr) {
    fs::copy_file(fs::path(AD_BIN_DIR) / name, programDir / (as ? as : name));
  }
  fs::path programDir;
};

// ---- splash and about -------------------------------------------------------------------------

TEST_F(SmallWindows, SplashPictureFollowsTheLanguageAndFallsBackToEnglish) {
  struct Case {
    int language;
    bool japaneseShipped;
    const char* expected;
  };
  ship("wro10_e.dat");
  for (const Case& c : {Case{kJapanese, false, "wro10_e.dat"}, Case{kEnglish, true, "wro10_e.dat"},
                        Case{kJapanese, true, "wro10_j.dat"}, Case{kFrench, true, "wro10_e.dat"}}) {
    SCOPED_TRACE(std::to_string(c.language) + (c.japaneseShipped ? " with j" : " without j"));
    fs::remove(programDir / "wro10_j.dat");
    if (c.japaneseShipped) ship("wro10_j.dat");
    Lang->SetLanguage(c.language);
    TfrmTitle title;
    title.create();
    EXPECT_EQ(title.PictureFile(), (programDir / c.expected).string());
    EXPECT_EQ(title.Image1()->size(), QSize(430, 210));
    EXPECT_FALSE(fs::exists(Profile->WorkDir() + "splash.bmp"));
  }
}

TEST_F(SmallWindows, SplashClosesItselfAndAboutWaitsForTheUser) {
  ship("wro10_e.dat");
  ship("wro10_m.dat");
  TfrmTitle title;
  title.create();
  ASSERT_EQ(title.anmSp()->Clip().FrameCount(), 11);

  // The splash: the picture only; the clip starts after Timer1, Timer2 closes.
  title.SplashFlag = 1;
  title.show();
  EXPECT_EQ(title.size(), QSize(430, 210));
  EXPECT_TRUE(platform::hourglassShown());
  EXPECT_TRUE(title.Timer1()->isActive());
  EXPECT_EQ(title.Timer1()->interval(), 800);
  EXPECT_EQ(title.anmSp()->CurrentFrame(), 1);
  title.Timer1Timer(title.Timer1());
  EXPECT_TRUE(title.anmSp()->Playing());
  EXPECT_TRUE(title.Timer2()->isActive());
  EXPECT_EQ(title.Timer2()->interval(), 2000);
  for (int i = 0; i < 20; ++i) title.anmSp()->Step();
  EXPECT_EQ(title.anmSp()->CurrentFrame(), 10);
  EXPECT_FALSE(title.anmSp()->Playing());
  title.Timer2Timer(title.Timer2());
  EXPECT_FALSE(title.isVisible());
  EXPECT_EQ(title.SplashFlag, 0);
  EXPECT_FALSE(platform::hourglassShown());

  // The about window: taller by the panel with the version and OK, no closing timer.
  title.show();
  EXPECT_EQ(title.size(), QSize(430, 246));
  auto* ok = title.findChild<QPushButton*>("btnOk");
  EXPECT_TRUE(ok->isVisible());
  EXPECT_EQ(title.findChild<QLabel*>("lblVerNum")->text(), "Version 1.5.0.2");
  title.Timer1Timer(title.Timer1());
  EXPECT_FALSE(title.Timer2()->isActive());
  for (int i = 0; i < 20; ++i) title.anmSp()->Step();
  // The hot spot plays the clip again.
  QTest::mousePress(title.findChild<QLabel*>("Image2"), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_TRUE(title.anmSp()->Playing());
  EXPECT_EQ(title.anmSp()->CurrentFrame(), 1);
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_FALSE(title.isVisible());

  // A click on the picture closes the splash at once, and nothing of it stays behind.
  title.SplashFlag = 1;
  title.show();
  title.Timer1Timer(title.Timer1());
  QTest::mouseClick(title.Image1(), Qt::LeftButton, {}, QPoint(300, 150));
  EXPECT_FALSE(title.isVisible());
  EXPECT_FALSE(title.Timer2()->isActive());
  EXPECT_FALSE(platform::hourglassShown());
}

TEST_F(SmallWindows, ModalSplashEndsByItselfAndMissingFilesGiveAnEmptyPicture) {
  TfrmTitle title;  // no picture, no clip
  title.create();
  EXPECT_TRUE(title.PictureFile().empty());
  EXPECT_TRUE(title.anmSp()->Clip().IsEmpty());
  title.Timer1()->setInterval(0);
  title.Timer2()->setInterval(0);
  title.SplashFlag = 1;
  title.showModal();
  EXPECT_FALSE(title.isVisible());
  EXPECT_EQ(title.SplashFlag, 0);
}

// ---- picture properties ----------------------------------------------------------------------

TEST(PictureProperties, SizeTexts) {
  struct Case {
    uint32_t bytes;
    const char* text;
  };
  for (const Case& c : {Case{0, "0B"}, Case{1024, "1024B"}, Case{1025, "1.0KB"}, Case{1536, "1.5KB"},
                        Case{2047, "1.9KB"}, Case{1048576, "1024.0KB"}, Case{1048577, "1.0MB"},
                        Case{1572864, "1.5MB"}, Case{2097151, "1.9MB"}, Case{4294967295u, "4095.9MB"}}) {
    EXPECT_EQ(TfrmImgProp::FormatSize(c.bytes), c.text) << c.bytes;
  }
}

TEST_F(SmallWindows, PropertiesShowTheRecordOfTheChosenPicture) {
  QScrollArea area;
  IFlames album(&area);
  Flames = &album;
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(album.AddItem(i, ""));
  const QDateTime when(QDate(2024, 3, 9), QTime(14, 5, 7));
  FlameInfo& dv = *album.Record(4);
  dv = {720, 480, kTypeDvFrame, {}, kNoTitle, 144000, when.toMSecsSinceEpoch() * 1000000, "w", "t"};
  std::snprintf(dv.timeCode.data(), dv.timeCode.size(), "01:02:--:04");
  album.Record(1)->type = 4;
  album.Record(1)->sourceSize = 1536;
  album.Record(2)->type = 20;

  TfrmImgProp props;
  props.create();
  props.Index = 4;
  props.show();
  EXPECT_EQ(props.windowTitle(), "Props [ Image005  ]");
  EXPECT_EQ(props.Value("lblWidthV")->text(), "720");
  EXPECT_EQ(props.Value("lblHeightV")->text(), "480");
  EXPECT_EQ(props.Value("lblTypeV")->text(), "DV");
  EXPECT_EQ(props.Value("lblTimecodeV")->text(), "01:02:--:04");
  EXPECT_EQ(props.Value("lblFSizeV")->text(), "140.6KB");
  const QLocale locale = QLocale::system();
  QString timeFormat = locale.timeFormat(QLocale::LongFormat).remove(QRegularExpression("\\bt+\\b")).simplified();
  EXPECT_EQ(props.Value("lblFileTimeV")->text(),
            locale.toString(when.date(), QLocale::ShortFormat) + " " + locale.toString(when.time(), timeFormat));
  props.hide();

  props.Index = 1;
  props.show();
  EXPECT_EQ(props.windowTitle(), "Props [ Image002  ]");
  EXPECT_EQ(props.Value("lblTypeV")->text(), "JPEG");
  EXPECT_EQ(props.Value("lblTimecodeV")->text(), "None");
  EXPECT_EQ(props.Value("lblFSizeV")->text(), "1.5KB");
  props.hide();
  props.Index = 2;
  props.show();
  EXPECT_EQ(props.Value("lblTypeV")->text(), "Unknown");

  struct Type {
    uint16_t type;
    const char* name;
  };
  for (const Type& t : {Type{1, "BMP"}, Type{3, "BMP"}, Type{5, "JPEG"}, Type{23, "JPEG"}, Type{7, "GIF"},
                        Type{8, "TIFF"}, Type{14, "TIFF"}, Type{15, "PNG"}, Type{18, "FPX"}, Type{19, "PCX"},
                        Type{273, "YUV"}, Type{0, "Unknown"}, Type{22, "Unknown"}, Type{256, "Unknown"}}) {
    EXPECT_EQ(props.TypeName(t.type), t.name) << t.type;
  }
}

// ---- auto-save results -------------------------------------------------------------------------

TEST_F(SmallWindows, ResultsHaveOneLinePerSavedFile) {
  TfrmAutoSave results;
  results.create();
  EXPECT_EQ(results.windowTitle(), "Saved");
  results.memo()->clear();
  results.SetInfo(2, "IMAGE001");
  results.SetInfo(7, "IMAGE002");
  results.SetInfo(120, "IMAGE003");
  EXPECT_EQ(results.memo()->toPlainText(),
            "Picture 002 as IMAGE001.\nPicture 007 as IMAGE002.\nPicture 120 as IMAGE003.");
  EXPECT_TRUE(results.memo()->isReadOnly());
}

}  // namespace
