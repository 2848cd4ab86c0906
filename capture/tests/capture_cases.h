// The capture cases that run on both lines: in this process on virtual time (unit tests)
// and as the camsim program on a pseudo-terminal at the emulated line rate (e2e tests).
#pragma once
#include <filesystem>

#include "capture/dv_rebuild.h"
#include "capture/varn_cpt.h"
#include "platform/testsupport/testsupport.h"
#include "testkit.h"

namespace captest {

using namespace capture;
namespace fs = std::filesystem;

enum class Line { InProcess, Pty };

inline std::unique_ptr<Rig> makeRig(Line line, const std::vector<std::string>& args) {
  if (line == Line::InProcess) return captest::InProcessRig(args);
  std::string why;
  auto rig = captest::PtyRig(args, &why);
  if (!rig) ADD_FAILURE() << why;
  return rig;
}

inline const std::array<uint8_t, 5> kPack{0x13, 0xD7, 0x82, 0x80, 0xC1};

inline void setUp(Rig& rig, uint32_t baud) {
  rig.cpt().SetId(6);
  rig.cpt().settings().baud = baud;
  rig.cpt().settings().tape = {90061, 6, 25};  // gives kPack
}

inline std::string captureFile(const char* name) { return (adtest::testDir() / "work" / name).string(); }

inline std::string yuvExpected(const Rig& rig, uint16_t w, uint16_t h) {
  return YuvHead(uint32_t(rig.pictureSent.size()), w, h) + std::string(rig.pictureSent.begin(), rig.pictureSent.end());
}

inline bool backInControl(Rig& rig) { return rig.io().TransactRetry(CVarnIO::Prepare(6, varn::kPresence), 3).ok; }

inline int count(const std::string& text, const std::string& what) { return captest::Count(text, what); }

// ---- transfers of each picture kind at each rate ----------------------------------------------

struct Transfer {
  Line line;
  std::string picture;  // "dv40", "dv60", "dv70", "yuv"
  int sequences;        // DV: 10 or 12
  uint32_t baud;
};

inline std::string transferName(const testing::TestParamInfo<Transfer>& i) {
  return i.param.picture + (i.param.picture == "yuv" ? "" : "_" + std::to_string(i.param.sequences)) + "_" +
         std::to_string(i.param.baud);
}

inline void runTransfer(const Transfer& t) {
  const bool dv = t.picture != "yuv";
  std::vector<std::string> args;
  std::string source;
  if (dv) {
    args = {"--layout", t.picture.substr(2)};
    if (t.line == Line::Pty) {
      // A real DV frame, so that the rebuilt one can be decoded and compared.
      source = captest::MakeDvFrameWithFfmpeg(t.sequences, adtest::testDir().string());
      ASSERT_FALSE(source.empty()) << "ffmpeg made no DV frame";
      adtest::writeFile(adtest::testDir() / "source.dv", source);
      args.insert(args.end(), {"--dv", (adtest::testDir() / "source.dv").string()});
    } else {
      args.insert(args.end(), {"--sequences", std::to_string(t.sequences)});
    }
  } else {
    // On the real line the picture shrinks with the rate, to keep the runs short.
    const char* size = t.line == Line::InProcess ? "720x480" : t.baud >= 115200 ? "320x240" : t.baud >= 38400 ? "160x120" : "64x48";
    args = {"--yuv", size};
  }
  auto rig = makeRig(t.line, args);
  ASSERT_TRUE(rig);
  setUp(*rig, t.baud);
  captest::RecordingHooks hooks;
  rig->cpt().SetHooks(&hooks);
  const int result = rig->cpt().CaptureSequence();
  const bool control = backInControl(*rig);
  rig->Finish();
  ASSERT_EQ(result, kCaptured) << rig->logText;
  EXPECT_TRUE(control);
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"show", "abort-on", "abort-off", "close"}));
  ASSERT_FALSE(hooks.progress.empty());
  EXPECT_TRUE(std::is_sorted(hooks.progress.begin(), hooks.progress.end()));
  EXPECT_EQ(hooks.progress.back(), 100);
  // The rate command went at 9600, the blocks at the new rate, and the end brought the control line back.
  const std::string& log = rig->logText;
  const size_t rate = log.find("sptp 2"), switched = log.find("line " + std::to_string(t.baud) + " 8N1", rate);
  EXPECT_LT(rate, switched);
  EXPECT_LT(switched, log.find("sptp :"));
  EXPECT_NE(log.find("sptp ;\nline 9600 8O1"), std::string::npos) << log;

  ASSERT_EQ(hooks.files.size(), 1u);
  if (!dv) {
    EXPECT_EQ(hooks.files[0], captureFile("temp.yuv"));
    const auto& h = rig->cpt().assembly().header();
    EXPECT_TRUE(adtest::readFile(hooks.files[0]) == yuvExpected(*rig, h.width, h.height));
    return;
  }
  EXPECT_EQ(hooks.files[0], captureFile("temp.dvf"));
  const std::string dvf = adtest::readFile(hooks.files[0]);
  const uint8_t layout = uint8_t(std::stoi(t.picture.substr(2), nullptr, 16));
  EXPECT_EQ(dvf.size(), t.sequences == 12 ? 143072u : 119232u);
  EXPECT_TRUE(dvf == captest::ExpectedDvf(rig->frameGrabbed, layout, kPack)) << "the rebuilt frame differs";
  if (!source.empty()) {
    // The frame in the file is a DV frame that decodes to the picture the simulator sent.
    std::unique_ptr<captest::DvDecoder> decoders[] = {captest::FfmpegDvDecoder(adtest::testDir().string()),
                                                      captest::CodecDvDecoder()};
    for (auto& decoder : decoders) {
      const std::string sent = decoder->Decode(source);
      const std::string got = decoder->Decode(captest::DvFrameFromDvf(dvf));
      ASSERT_EQ(sent.size(), size_t(720) * (t.sequences == 12 ? 576 : 480) * 3) << decoder->name();
      EXPECT_TRUE(got == sent) << decoder->name() << " decodes another picture";
    }
  }
}

inline std::vector<Transfer> transfers(Line line) {
  std::vector<Transfer> v;
  for (uint32_t baud : {9600u, 38400u, 115200u}) {
    for (const char* p : {"dv40", "dv60", "dv70"})
      for (int n : {10, 12})
        if (line == Line::InProcess || n == 10 || (baud == 115200 && std::string(p) == "dv70"))
          v.push_back({line, p, n, baud});
    v.push_back({line, "yuv", 0, baud});
  }
  return v;
}

// ---- faults ----------------------------------------------------------------------------------------

struct FaultRow {
  const char* name;
  std::vector<std::string> args;
  int result;
  const char* file;        // "sent": the file equals what was sent; "none": no capture file; "differs"
  int control = 1;         // the camcorder answers the control protocol afterwards (1), does not (0), either (-1)
  int abortAfter = -1;
  int blockErrorAt = -1;
  int minResends = 0;
};

inline const std::vector<FaultRow>& faultRows() {
  static const std::vector<FaultRow> rows = {
      {"Clean", {}, kCaptured, "sent"},
      {"NoSignal", {"--fault", "nosignal"}, kCaptureNoSignal, "none"},
      {"PrepareUnanswered", {"--fault", "noreply,cmd=164271,times=0"}, kCaptureRefused, "none"},
      {"PrepareRefused", {"--fault", "refuse,cmd=164271"}, kCaptureRefused, "none"},
      // Late past every try's wait, the pseudo-terminal's longer ones too.
      {"PrepareLate", {"--fault", "late,cmd=164271,times=0,value=3000"}, kCaptureRefused, "none", -1},
      {"PrepareTruncated", {"--fault", "truncate,cmd=164271,times=0,value=7"}, kCaptureRefused, "none"},
      {"PrepareBadChecksum", {"--fault", "badsum,cmd=164271"}, kCaptureRefused, "none"},
      {"PrepareNotYetTwice", {"--fault", "notyet,cmd=164271,times=2"}, kCaptured, "sent"},
      {"CaptureBusyTooLong", {"--fault", "busy,cmd=164E20,value=400"}, kCaptureRefused, "none"},
      {"CaptureBusyAWhile", {"--fault", "busy,cmd=164E20,value=5"}, kCaptured, "sent"},
      {"CamcorderGone", {"--fault", "gone,cmd=16,times=0"}, kCaptureRefused, "none", 0},
      {"EnterRefused", {"--fault", "refuse,cmd=7C5670"}, kCaptureEnterFailed, "none"},
      {"SwitchUnanswered", {"--fault", "noreply,cmd=7C7053,times=0"}, kCaptureEnterFailed, "none"},
      {"RateRefused", {"--fault", "rate-refuse,times=0"}, kCaptureRateFailed, "none"},
      {"RateTakenAckLost", {"--fault", "rate-noack,times=0"}, kCaptureRateFailed, "none"},
      {"StartUnacknowledged", {"--fault", "start-noack,times=0"}, kCaptureTransferFailed, "none"},
      {"BytesLostInABlock", {"--fault", "drop,at=2,value=5"}, kCaptured, "sent", 1, -1, -1, 1},
      {"EndCodeDamaged", {"--fault", "badtail,at=1"}, kCaptured, "sent", 1, -1, -1, 1},
      {"HeadByteWrong", {"--fault", "headbyte,at=3"}, kCaptured, "sent", 1, -1, -1, 1},
      {"PauseInsideABlock", {"--fault", "pause,at=1,value=300"}, kCaptured, "sent", 1, -1, -1, 1},
      {"ReaderFallsBehind", {"--fault", "queue,at=2,value=1000"}, kCaptured, "sent", 1, -1, -1, 1},
      {"BlockSentAgain", {"--fault", "repeat,at=2"}, kCaptured, "sent"},
      {"BlockSkipped", {"--fault", "skip,at=2"}, kCaptureTransferFailed, "none"},
      {"CamcorderVanishes", {"--fault", "vanish,at=2"}, kCaptureTransferFailed, "none", 0},
      // Every sending of the block carries the changed byte, so that a block asked for
      // again (as the program may on a busy machine) brings no clean copy.
      {"PayloadByteCorrupted", {"--fault", "corrupt,at=1,times=0"}, kCaptured, "differs"},
      {"EveryByteStuffed", {"--fill", "16"}, kCaptured, "sent"},
      {"BlockErrorButton", {}, kCaptured, "sent", 1, -1, 3, 1},
      {"StopPressed", {}, kCaptureStopped, "none", 1, 2},
      {"SizeBeyondTheBuffer", {"--size", "800000"}, kCaptureTransferFailed, "none"},
      {"SizeBelowThePicture", {"--size", "1000"}, kCaptureTransferFailed, "none"},
  };
  return rows;
}

struct FaultCase {
  Line line;
  size_t row;
};

inline void runFault(const FaultCase& c) {
  const FaultRow& r = faultRows()[c.row];
  std::vector<std::string> args{"--yuv", "96x64"};  // five blocks
  args.insert(args.end(), r.args.begin(), r.args.end());
  auto rig = makeRig(c.line, args);
  ASSERT_TRUE(rig);
  setUp(*rig, 115200);
  captest::RecordingHooks hooks;
  hooks.abortAfterBlocks = r.abortAfter;
  hooks.blockErrorAt = r.blockErrorAt;
  rig->cpt().SetHooks(&hooks);
  const int result = rig->cpt().CaptureSequence();
  const bool control = backInControl(*rig);
  rig->Finish();
  EXPECT_EQ(result, r.result) << rig->logText;
  if (r.control >= 0) {
    EXPECT_EQ(control, r.control == 1) << rig->logText;
  }
  EXPECT_GE(count(rig->logText, "block-again"), r.minResends) << rig->logText;
  const std::string file = captureFile("temp.yuv");
  if (std::string(r.file) == "none") {
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(hooks.files.empty());
    return;
  }
  ASSERT_EQ(hooks.files, std::vector<std::string>{file});
  const bool same = adtest::readFile(file) == yuvExpected(*rig, 96, 64);
  // A changed payload byte is not detected: the block frame carries no check the program reads.
  EXPECT_EQ(same, std::string(r.file) == "sent");
}

inline std::vector<FaultCase> faultCases(Line line) {
  std::vector<FaultCase> v;
  for (size_t i = 0; i < faultRows().size(); ++i) v.push_back({line, i});
  return v;
}
inline std::string faultName(const testing::TestParamInfo<FaultCase>& i) { return faultRows()[i.param.row].name; }

// The cases as test listings show them (without a printer, the bytes of the struct, padding
// included, which change from build to build and rename the tests).
inline void PrintTo(const Transfer& t, std::ostream* os) {
  *os << t.picture << " " << t.sequences << " sequences at " << t.baud;
}
inline void PrintTo(const FaultCase& c, std::ostream* os) { *os << faultRows()[c.row].name; }

}  // namespace captest
