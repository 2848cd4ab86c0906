// Whole captures against the simulator in this process, on virtual time.
#include "capture_cases.h"

namespace captest {
namespace {

class CaptureTransfer : public testing::TestWithParam<Transfer> {};
TEST_P(CaptureTransfer, GivesTheFileTheSimulatorSent) { runTransfer(GetParam()); }
INSTANTIATE_TEST_SUITE_P(InProcess, CaptureTransfer, testing::ValuesIn(transfers(Line::InProcess)), transferName);

class CaptureFault : public testing::TestWithParam<FaultCase> {};
TEST_P(CaptureFault, GivesItsResultAndNeverAWrongFile) { runFault(GetParam()); }
INSTANTIATE_TEST_SUITE_P(InProcess, CaptureFault, testing::ValuesIn(faultCases(Line::InProcess)), faultName);

TEST(Capture, DiagnosticDumpsGoToTheWorkFolder) {
  auto rig = InProcessRig({"--yuv", "96x64", "--fault", "drop,at=1,value=5"});
  setUp(*rig, 115200);
  rig->cpt().settings().diagnostic = true;
  ASSERT_EQ(rig->cpt().CaptureSequence(), kCaptured);
  for (const char* f : {"pct2.dat", "err_pct.dat", "err_dat.dat"}) EXPECT_TRUE(fs::exists(captureFile(f))) << f;
}

TEST(Capture, PlayDeviceIsStoppedOrPausedBeforeTheGrab) {
  for (bool group12 : {false, true}) {
    auto rig = InProcessRig({"--device", "3:deck", "--device", "10:capture", "--yuv", "64x48"});
    rig->cpt().SetId(10);
    rig->cpt().settings().baud = 38400;
    rig->cpt().settings().havePlayDevice = true;
    rig->cpt().settings().playId = 3;
    rig->cpt().settings().playGroup12 = group12;
    ASSERT_EQ(rig->cpt().CaptureSequence(), kCaptured);
    rig->Finish();
    const std::string& log = rig->logText;
    if (group12) {
      EXPECT_NE(log.find("varn 10 08436D"), std::string::npos) << "pause goes to the capture device";
      EXPECT_EQ(log.find("varn 3 084460"), std::string::npos);
    } else {
      EXPECT_LT(log.find("varn 3 084460"), log.find("varn 3 084E20")) << "stop, then status until done";
      EXPECT_LT(log.find("varn 3 084E20"), log.find("varn 10 7C5670"));
    }
  }
}

TEST(Capture, TheGrabbedFrameCarriesTheTapePositionInEveryTimeCodePack) {
  // A source frame recorded with time-code packs of its own (00:00:00:00 in every slot):
  // the frame the camcorder grabs shows where the tape stands, whichever pack a reader
  // takes first.
  std::string frame(120000, '\0');
  const char recorded[5] = {0x13, 0x00, char(0x80), char(0x80), char(0xC0)};
  for (size_t s = 0; s < 10; ++s)
    for (size_t blk = 1; blk <= 2; ++blk)
      for (size_t k = 0; k < 6; ++k) frame.replace(s * 12000 + blk * 80 + 6 + 8 * k, 5, recorded, 5);
  const fs::path source = adtest::testDir() / "recorded.dv";
  adtest::writeFile(source, frame);
  auto rig = InProcessRig({"--dv", source.string(), "--tape-start", "113561"});  // 01:03:05:11
  setUp(*rig, 115200);
  ASSERT_EQ(rig->cpt().CaptureSequence(), kCaptured);
  rig->Finish();
  ASSERT_EQ(rig->frameGrabbed.size(), 120000u);
  const std::array<uint8_t, 5> tape{0x13, 0xC0 | 0x11, 0x80 | 0x05, 0x80 | 0x03, 0xC0 | 0x01};
  int otherPacks = 0;
  for (size_t s = 0; s < 10; ++s)
    for (size_t blk = 1; blk <= 2; ++blk)
      for (size_t k = 0; k < 6; ++k)
        otherPacks +=
            !std::equal(tape.begin(), tape.end(), rig->frameGrabbed.data() + s * 12000 + blk * 80 + 6 + 8 * k);
  EXPECT_EQ(otherPacks, 0) << "of 120 pack slots";
}

TEST(Capture, AFileThatCannotBeWrittenIsReportedAsSuch) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--yuv", "96x64"}, std::vector<std::string>{"--layout", "60", "--sequences", "10"}}) {
    SCOPED_TRACE(args[0]);
    auto rig = InProcessRig(args);
    setUp(*rig, 115200);
    const fs::path folder = adtest::testDir() / "full";
    rig->cpt().settings().workDir = folder.string();
    RecordingHooks hooks;
    rig->cpt().SetHooks(&hooks);
    int result;
    {
      adtest::FullDisk disk(folder, 4096);
      result = rig->cpt().CaptureSequence();
      EXPECT_EQ(result, kCaptureFileFailed) << disk.how();
      EXPECT_TRUE(fs::is_empty(folder)) << "nothing is left of the file";
    }
    EXPECT_TRUE(hooks.files.empty());
    EXPECT_TRUE(backInControl(*rig));
  }
}

TEST(Capture, APictureTheAlbumDoesNotTakeIsNotCaptured) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--yuv", "96x64"}, std::vector<std::string>{"--layout", "70"}}) {
    SCOPED_TRACE(args[0]);
    auto rig = InProcessRig(args);
    setUp(*rig, 115200);
    RecordingHooks hooks;
    hooks.albumTakes = false;
    rig->cpt().SetHooks(&hooks);
    EXPECT_EQ(rig->cpt().CaptureSequence(), kCaptureNotAdded);
    ASSERT_EQ(hooks.files.size(), 1u) << "the file was handed over";
    EXPECT_EQ(hooks.files[0], rig->cpt().lastFile());
    EXPECT_TRUE(backInControl(*rig));
    // The next capture the album takes is a capture again.
    hooks.albumTakes = true;
    EXPECT_EQ(rig->cpt().CaptureSequence(), kCaptured);
  }
}

TEST(Capture, TheCaptureDeviceMayStayBusyFor201QueriesAndNoMore) {
  struct Row {
    int busy;  // status queries the capture device answers busy
    int result;
  } rows[] = {{201, kCaptured}, {202, kCaptureRefused}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.busy);
    auto rig = InProcessRig({"--yuv", "64x48", "--fault", "busy,cmd=164E20,value=" + std::to_string(r.busy)});
    setUp(*rig, 115200);
    EXPECT_EQ(rig->cpt().CaptureSequence(), r.result);
    rig->Finish();
    EXPECT_EQ(count(rig->logText, "varn 6 164E20"), 202) << "the 202nd query ends it either way";
  }
}

TEST(Capture, ABlockThatFallsSilentForHalfASecondIsAskedForAgain) {
  // The line goes quiet inside the first block, before its data is all there, for less or
  // more than the half second a block is waited for, at each polling pace (100, 50 and 10 ms).
  struct Row {
    int silence;  // ms
    int resent;
  } rows[] = {{400, 0}, {700, 1}};
  for (uint32_t baud : {9600u, 38400u, 115200u}) {
    for (const Row& r : rows) {
      SCOPED_TRACE(std::to_string(baud) + " baud, " + std::to_string(r.silence) + " ms");
      auto rig = InProcessRig({"--yuv", "96x64", "--fault", "stall,at=1,value=" + std::to_string(r.silence)});
      setUp(*rig, baud);
      EXPECT_EQ(rig->cpt().CaptureSequence(), kCaptured);
      rig->Finish();
      EXPECT_EQ(count(rig->logText, "block-again"), r.resent) << rig->logText;
    }
  }
}

TEST(Capture, NoCaptureDeviceIsRefused) {
  auto rig = InProcessRig({});
  rig->cpt().SetId(0);
  EXPECT_EQ(rig->cpt().CaptureSequence(), kCaptureRefused);
}

}  // namespace
}  // namespace captest
