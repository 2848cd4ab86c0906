// Whole captures against the camsim program on a real pseudo-terminal, at the emulated line
// rate; and the identification of a bus of several devices.
#include "capture_cases.h"

namespace captest {
namespace {

class CaptureTransferPty : public testing::TestWithParam<Transfer> {};
TEST_P(CaptureTransferPty, GivesTheFileTheSimulatorSent) {
  if (GetParam().picture != "yuv") AD_REQUIRE_TOOL("ffmpeg");
  runTransfer(GetParam());
}
INSTANTIATE_TEST_SUITE_P(Pty, CaptureTransferPty, testing::ValuesIn(transfers(Line::Pty)), transferName);

class CaptureFaultPty : public testing::TestWithParam<FaultCase> {};
TEST_P(CaptureFaultPty, GivesItsResultAndNeverAWrongFile) { runFault(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Pty, CaptureFaultPty, testing::ValuesIn(faultCases(Line::Pty)), faultName);

TEST(BusPty, IdentifiesEveryDeviceOnTheBus) {
  // Type and name bytes that a cooked line would mangle: ^C, XON, XOFF, CR, LF, FF.
  auto rig = makeRig(Line::Pty, {"--device", "3:deck", "--device", "6:camcorder,off,powerup=400", "--device",
                                 "10:capture,type=3C0311130D0A", "--device", "12:printer,name=PRN\x01\x13\x11\r\n"});
  ASSERT_TRUE(rig);
  struct Want {
    uint8_t id, flags;
    const char* name;
  };
  std::vector<Want> found;
  for (uint8_t id = 1; id <= 12; ++id) {
    if (!rig->sys().EnsureOn(id)) continue;
    VarnDev d;
    d.id = id;
    ASSERT_TRUE(rig->sys().Identify(d)) << int(id);
    found.push_back({id, d.flags, nullptr});
    if (id == 10) {
      EXPECT_EQ(d.type, (std::array<uint8_t, 6>{0x3C, 0x03, 0x11, 0x13, 0x0D, 0x0A}));
    }
    if (id == 12) {
      EXPECT_STREQ(d.name, "PRN\x01\x13\x11\r\n");
    }
    if (id == 6) {
      EXPECT_STREQ(d.name, "CAMCORDER-6");
    }
  }
  rig->Finish();
  ASSERT_EQ(found.size(), 4u) << rig->logText;
  const uint8_t ids[] = {3, 6, 10, 12}, flags[] = {1, 1 | 4, 4, 2};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(found[i].id, ids[i]);
    EXPECT_EQ(found[i].flags, flags[i]);
  }
  EXPECT_NE(rig->logText.find("varn 6 3E4070"), std::string::npos) << "the camcorder was switched on";
}

}  // namespace
}  // namespace captest
