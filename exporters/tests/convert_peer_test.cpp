// Pictures converted by the format command, read back with ImageMagick and djpeg.
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "exporters/controls.h"
#include "exporters/frmimgfmt.h"
#include "picture_util.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"
#include "workspace/flames.h"
#include "workspace/program.h"

namespace {

// These tests drive widgets: one application object on the offscreen platform.
class Application : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override { delete app_; }

 private:
  int argc_ = 1;
  char name_[18] = "viewer_peer_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication* app_ = nullptr;
};
const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new Application);

using viewertest::Conversion;
using workspace::Flames;

std::string identify(const std::string& path, const char* format) {
  std::string out;
  EXPECT_EQ(adtest::runProgram({"/usr/bin/identify", "-format", format, path}, &out), 0) << path;
  return out;
}

pictest::Pixels toolkitRead(const std::string& path) {
  QmHandle picture = ImageFileLoad(path.c_str());
  pictest::Pixels p = pictest::read(picture);
  ImageFree(picture);
  return p;
}

TEST_F(Conversion, ConvertedPicturesAsOutsideToolsReadThem) {
  AD_REQUIRE_TOOL("/usr/bin/identify");
  AD_REQUIRE_TOOL("/usr/bin/convert");
  AD_REQUIRE_TOOL("djpeg");
  addQuarters({"a.bmp", 640, 480});
  addQuarters({"b.jpg", 320, 240});
  select({0, 1});
  // Both turned clockwise, as JPEG at the default quality.
  script.steps = {[](exporters::TfrmImgFmt* d) { QTest::mouseClick(d->rgRotate()->Item(1), Qt::LeftButton); }};
  boxes.queue(platform::MsgAnswer::Yes);
  mainAction("mnuFmt")->trigger();
  ASSERT_EQ(boxTexts(), texts({"MSG_SAME_FMT"}));

  struct Expect {
    const char* identified;
    int w, h;
  };
  const Expect expect[] = {{"JPEG 480 640 75", 480, 640}, {"JPEG 240 320 75", 240, 320}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const workspace::FlameInfo& r = *Flames->Record(i);
    EXPECT_EQ(identify(r.workPath, "%m %w %h %Q"), expect[i].identified);
    EXPECT_EQ(adtest::runProgram({"djpeg", "-bmp", "-outfile", r.workPath + ".check.bmp", r.workPath}), 0);
    const pictest::Pixels seen = pictest::convertRead(r.workPath);
    ASSERT_EQ(seen.width, expect[i].w);
    EXPECT_LE(pictest::maxDifference(seen, toolkitRead(r.workPath)), 2);
    // Turned clockwise: the lower left quarter (blue) is now the upper left one.
    const pictest::Rgb c = seen.at(seen.width / 4, seen.height / 4);
    EXPECT_LT(c.r, 40);
    EXPECT_LT(c.g, 40);
    EXPECT_GT(c.b, 215);
    const std::string thumb = identify(r.thumbPath, "%m %w %h");
    EXPECT_EQ(thumb, "BMP3 56 75");
  }

  // The second picture again, as BMP: ImageMagick reads every pixel the toolkit reads.
  reset();
  addQuarters({"c.jpg", 200, 100});
  select({0});
  script.steps = {[](exporters::TfrmImgFmt* d) { d->component<QComboBox>("cbFmt")->setCurrentIndex(1); }};
  mainAction("mnuFmt")->trigger();
  const workspace::FlameInfo& r = *Flames->Record(0);
  EXPECT_EQ(identify(r.workPath, "%m %w %h %z"), "BMP3 200 100 8");
  EXPECT_EQ(pictest::maxDifference(pictest::convertRead(r.workPath), toolkitRead(r.workPath)), 0);
}

}  // namespace
