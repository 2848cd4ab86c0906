// Title files written by the Title Image command, as exiftool, exiv2, djpeg and
// ImageMagick read them: valid Exif, the title number in the maker note, a 1280 x 960
// picture letterboxed on white, and a 160 x 120 thumbnail.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <sstream>

#include "cards_fixture.h"
#include "exporters/frmtiview.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/flames.h"
#include "workspace/frmmain.h"
#include "workspace/program.h"

namespace {

using namespace cardstest;
namespace fs = std::filesystem;

// The widgets of the command need an application object; the peer tests' main makes none.
class Application : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "cards_peer";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const kApplication = ::testing::AddGlobalTestEnvironment(new Application);

std::string run(const std::vector<std::string>& argv, int exitCode = 0) {
  std::string out;
  EXPECT_EQ(adtest::runProgram(argv, &out), exitCode) << argv[0];
  return out;
}

class TitlePeer : public CardsProgram {
 protected:
  // Title files of a red 720 x 480 picture cut at 245, a portrait one cut at 1 and a
  // square one without cutting-out: TITLE001.TTL to TITLE003.TTL.
  fs::path writeTitles() {
    const fs::path titles = fs::path(volumes.Add("card", true)) / "TITLES";
    fs::create_directories(titles);
    start();
    addPicture(720, 480, QColor(220, 0, 0));
    addPicture(480, 640, QColor(0, 0, 200));
    addPicture(300, 300, QColor(0, 150, 0));
    select({0, 1, 2});
    closeResultsWhenShown();
    soon([this] {
      exporters::TfrmTiView& d = *tiView();
      d.ShowPreview(1);
      d.tbSlice()->setValue(255);
      d.ShowPreview(2);
      d.cbWOCut()->click();
      d.btnOk()->click();
    });
    workspace::frmMain->component<QAction>("mnuTitleImage")->trigger();
    EXPECT_EQ(resultsShown, 1);
    return titles;
  }
};

TEST_F(TitlePeer, FilesAreValidTitlePictures) {
  AD_REQUIRE_TOOL("exiftool");
  AD_REQUIRE_TOOL("exiv2");
  AD_REQUIRE_TOOL("djpeg");
  AD_REQUIRE_TOOL("/usr/bin/identify");
  AD_REQUIRE_TOOL("/usr/bin/convert");
  const fs::path titles = writeTitles();
  struct Expect {
    const char* name;
    int level;
    const char* trimmed;  // the picture's own area on the white 1280 x 960
  } files[] = {{"TITLE001.TTL", 245, "1280 853 +0 +53"}, {"TITLE002.TTL", 1, "720 960 +280 +0"},
               {"TITLE003.TTL", 0, "960 960 +160 +0"}};
  for (const Expect& e : files) {
    SCOPED_TRACE(e.name);
    const std::string path = (titles / e.name).string();
    const std::string validate = run({"exiftool", "-validate", "-warning", "-a", path});
    EXPECT_NE(validate.find("Validate                        : OK"), std::string::npos) << validate;
    EXPECT_EQ(run({"exiftool", "-n", "-s", "-s", "-s", "-ExifImageWidth", "-ExifImageHeight", "-YCbCrSubSampling", path}),
              "1280\n960\n2 1\n");
    // The maker note's 34 bytes carry the title number at byte 26.
    std::istringstream note(run({"exiv2", "-pa", "-g", "MakerNote", path}));
    std::string key, type;
    int count = 0;
    note >> key >> type >> count;
    ASSERT_EQ(count, 34);
    std::vector<int> values(34);
    for (int& v : values) note >> v;
    EXPECT_EQ(values[26], e.level);
    // djpeg decodes the picture at its full size; the thumbnail is 160 x 120.
    const fs::path decoded = adtest::testDir() / "decoded.bmp";
    ASSERT_EQ(adtest::runProgram({"djpeg", "-bmp", "-outfile", decoded.string(), path}), 0);
    EXPECT_EQ(run({"/usr/bin/identify", "-format", "%w %h", decoded.string()}), "1280 960");
    adtest::writeFile(adtest::testDir() / "thumb.jpg", run({"exiftool", "-b", "-ThumbnailImage", path}));
    EXPECT_EQ(run({"/usr/bin/identify", "-format", "%w %h", (adtest::testDir() / "thumb.jpg").string()}), "160 120");
    // The picture letterboxed on white.
    EXPECT_EQ(run({"/usr/bin/convert", decoded.string(), "-fuzz", "10%", "-trim", "-format", "%w %h %X %Y", "info:"}),
              e.trimmed);
  }
}

}  // namespace
