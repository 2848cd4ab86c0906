// Writing a sheet: cells that cannot be read stay background, capture frames are
// decoded, and a stopped or failed sheet leaves the target as it was.
#include "exporters/sheet_composer.h"

#include "engine_fixture.h"
#include "exporters/sheet_layout.h"

namespace {

using namespace enginetest;
using exporters::ComposeSheet;
using exporters::SheetJob;
using exporters::SheetResult;
using pictest::Rgb;

class SheetWrite : public EngineTest {
 protected:
  SheetJob job(std::vector<std::string> cells, int format = 1) {
    SheetJob j;
    j.width = 120;
    j.height = 90;
    j.grid = 2;
    j.background = 0x102030;  // red 0x30, green 0x20, blue 0x10
    j.format = format;
    j.cells = std::move(cells);
    return j;
  }
  const Rgb background{0x30, 0x20, 0x10};
};

TEST_F(SheetWrite, UnreadableCellsStayBackgroundAndCaptureFramesAreDecoded) {
  const std::string red = solidBmp("red.bmp", 40, 30, Rgb{255, 0, 0});
  const std::string yuv = yuvFile("grey.yuv", 720, 480, 128, 128, 128);
  const std::string text = (adtest::testDir() / "notes.txt").string();
  adtest::writeFile(text, "no picture");
  const std::string target = (adtest::testDir() / "sheet.bmp").string();
  ASSERT_EQ(ComposeSheet(job({red, text, "", yuv}), target, *engine), SheetResult::Written);
  const pictest::Pixels p = filePixels(target);
  ASSERT_EQ(p.width, 120);
  ASSERT_EQ(p.height, 90);
  EXPECT_EQ(p.at(30, 22), (Rgb{255, 0, 0}));  // cell 0
  EXPECT_EQ(p.at(90, 22), background);        // cell 1: not a picture
  EXPECT_EQ(p.at(30, 67), background);        // cell 2: empty
  const Rgb decoded = p.at(90, 67);           // cell 3: the YUV0 frame, mid grey
  EXPECT_NEAR(decoded.r, 128, 6);
  EXPECT_NEAR(decoded.g, 128, 6);
  EXPECT_EQ(p.at(90, 45), background) << "the 3:2 frame leaves a band in its 4:3 cell";
}

TEST_F(SheetWrite, StoppedOrFailedSheetsLeaveTheTargetAsItWas) {
  const std::string red = solidBmp("red.bmp", 40, 30, Rgb{255, 0, 0});
  const std::string target = (adtest::testDir() / "sheet.jpg").string();
  adtest::writeFile(target, "the old sheet");
  int asked = 0;
  // Stop pressed while the first cell was drawn.
  EXPECT_EQ(ComposeSheet(job({red, red, red, red}, 0), target, *engine, [&] { return ++asked > 1; }),
            SheetResult::Stopped);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(adtest::readFile(target), "the old sheet");
  // A folder that does not exist takes no sheet.
  const std::string nowhere = (adtest::testDir() / "missing" / "sheet.jpg").string();
  EXPECT_EQ(ComposeSheet(job({red}, 0), nowhere, *engine), SheetResult::Failed);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
  // Without anything to stop it, the sheet replaces the old one whole.
  int pending = 0;
  EXPECT_EQ(ComposeSheet(job({red, "", red}, 0), target, *engine, {}, [&] { ++pending; }), SheetResult::Written);
  EXPECT_EQ(pending, 2) << "events are let through after each drawn cell";
  EXPECT_EQ(filePixels(target).width, 120);
}

}  // namespace
