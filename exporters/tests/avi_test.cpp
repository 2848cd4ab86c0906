// The movie writer without outside tools: the file's layout field by field, the frame
// checks, every refusal and failure (no file left, an old file kept), and what the
// monitor hears.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "exporters/avi_writer.h"
#include "exporters/export_monitor.h"
#include "frames.h"
#include "platform/testsupport/testsupport.h"
#include "workspace/lang.h"

using namespace exporters;
using namespace extest;

namespace {

fs::path dir() { return adtest::testDir(); }

std::string fourcc(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Records what the writer asks and tells; can stop before a given frame and run an
// action at a given event.
class RecordingMonitor : public ExportMonitor {
 public:
  void ProcessMessages() override {
    ++pumps;
    if (onPump) onPump(pumps);
  }
  bool Aborted() const override {
    ++const_cast<RecordingMonitor*>(this)->abortTests;
    return abortAtTest != 0 && abortTests >= abortAtTest;
  }
  void Progress(int percent) override { progress.push_back(percent); }

  int pumps = 0, abortTests = 0, abortAtTest = 0;
  std::function<void(int)> onPump;
  std::vector<int> progress;
};

}  // namespace

TEST(MovieLayout, UncompressedMovieFieldByField) {
  auto frames = writeFrames(dir(), 80, 60, 3);
  fs::path out = dir() / "MOVIE001.AVI";
  ASSERT_TRUE(MakeMovie(frames, out, 5, 1, 0));
  const std::string avi = adtest::readFile(out);
  ASSERT_EQ(avi.size(), 43504u);  // 224 + 3 x (8 + 14400) + 8 + 48
  Chunk riff = walkRiff(avi);
  ASSERT_EQ(shape(riff), "RIFF AVI  {LIST hdrl {avih LIST strl {strh strf}} LIST movi {00db 00db 00db} idx1}");

  struct Field {
    size_t offset;
    uint32_t value;
    const char* name;
  } fields[] = {
      {4, 43496, "RIFF size"},     {16, 192, "hdrl size"},       {28, 56, "avih size"},
      {32, 5000000, "us a frame"}, {36, 2880, "bytes a second"}, {40, 0, "padding"},
      {44, 0x10, "has index"},     {48, 3, "total frames"},      {52, 0, "initial frames"},
      {56, 1, "streams"},          {60, 14400, "buffer"},        {64, 80, "width"},
      {68, 60, "height"},          {72, 0, "reserved"},          {84, 0, "reserved"},
      {92, 116, "strl size"},      {104, 56, "strh size"},       {112, kHandlerDIB, "handler"},
      {116, 0, "flags"},           {120, 0, "priority"},         {124, 0, "initial frames"},
      {128, 5, "scale"},           {132, 1, "rate"},             {136, 0, "start"},
      {140, 3, "length"},          {144, 14400, "buffer"},       {148, 0xFFFFFFFF, "quality"},
      {152, 0, "sample size"},     {156, 0, "left, top"},        {160, 80 | 60 << 16, "right, bottom"},
      {168, 40, "strf size"},      {216, 43228, "movi size"},
  };
  for (const Field& f : fields) EXPECT_EQ(le32(avi, f.offset), f.value) << f.name << " at " << f.offset;
  EXPECT_EQ(avi.substr(108, 4), "vids");
  // The format is the first frame's header as stored.
  EXPECT_EQ(avi.substr(172, 40), adtest::readFile(frames[0]).substr(14, 40));

  const Chunk& movi = riff.children[1];
  const Chunk& idx1 = riff.children[2];
  ASSERT_EQ(idx1.size, 48u);
  for (size_t i = 0; i < 3; ++i) {
    const Chunk& c = movi.children[i];
    EXPECT_EQ(avi.substr(c.offset, c.size), bmpPixels(testFrame(80, 60, int(i)))) << "frame " << i;
    size_t e = idx1.offset + 16 * i;
    EXPECT_EQ(avi.substr(e, 4), "00db");
    EXPECT_EQ(le32(avi, e + 4), 0x10u) << "key frame";
    EXPECT_EQ(le32(avi, e + 8), 4 + 14408 * i) << "offset from the movi type";
    EXPECT_EQ(le32(avi, e + 12), 14400u);
    EXPECT_EQ(c.offset - 8, movi.offset + le32(avi, e + 8)) << "index points at the chunk";
  }
}

TEST(MovieLayout, EveryKindOfMovieIsASoundTree) {
  struct Case {
    int width, height, frames;
    uint32_t scale, rate, codec;
  } cases[] = {
      {80, 60, 3, 5, 1, 0},        {81, 7, 2, 1, 12, kHandlerDIB},  // rows padded to 4 bytes
      {80, 60, 3, 5, 1, kHandlerMJPG}, {33, 17, 5, 1, 30, kHandlerMJPG}, {320, 240, 1, 1, 1, kHandlerMJPG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + fourcc(c.codec));
    fs::path sub = dir() / (std::to_string(c.width) + (c.codec == kHandlerMJPG ? "m" : "d"));
    fs::create_directories(sub);
    auto frames = writeFrames(sub, c.width, c.height, c.frames);
    fs::path out = sub / "out.avi";
    ASSERT_TRUE(MakeMovie(frames, out, c.scale, c.rate, c.codec));
    const std::string avi = adtest::readFile(out);
    Chunk riff = walkRiff(avi);
    ASSERT_EQ(riff.type, "AVI ");
    ASSERT_EQ(riff.children.size(), 3u);
    EXPECT_EQ(riff.size, avi.size() - 8);
    const bool mjpg = c.codec == kHandlerMJPG;
    const std::string id = mjpg ? "00dc" : "00db";
    EXPECT_EQ(le32(avi, 112), mjpg ? kHandlerMJPG : kHandlerDIB);
    EXPECT_EQ(le32(avi, 172 + 16), mjpg ? kHandlerMJPG : 0u) << "strf compression";
    EXPECT_EQ(le32(avi, 32), uint32_t(1e6 * c.scale / c.rate + 0.5)) << "us a frame";
    const Chunk& movi = riff.children[1];
    const Chunk& idx1 = riff.children[2];
    ASSERT_EQ(movi.children.size(), size_t(c.frames));
    ASSERT_EQ(idx1.size, 16u * c.frames);
    uint32_t largest = 0;
    for (size_t i = 0; i < movi.children.size(); ++i) {
      const Chunk& ch = movi.children[i];
      EXPECT_EQ(ch.id, id);
      size_t e = idx1.offset + 16 * i;
      EXPECT_EQ(avi.substr(e, 4), id);
      EXPECT_EQ(le32(avi, e + 4), 0x10u);
      EXPECT_EQ(ch.offset - 8, movi.offset + le32(avi, e + 8));
      EXPECT_EQ(le32(avi, e + 12), ch.size);
      largest = std::max<uint32_t>(largest, uint32_t(ch.size));
      if (mjpg) {
        EXPECT_EQ(avi.substr(ch.offset, 2), "\xFF\xD8");
        EXPECT_EQ(avi.substr(ch.offset + ch.size - 2, 2), "\xFF\xD9");
        if (ch.size & 1) {
          EXPECT_EQ(avi[ch.offset + ch.size], '\0') << "pad byte";
        }
      } else {
        EXPECT_EQ(avi.substr(ch.offset, ch.size), bmpPixels(testFrame(c.width, c.height, int(i))));
      }
    }
    EXPECT_EQ(le32(avi, 60), largest) << "avih buffer";
    EXPECT_EQ(le32(avi, 144), largest) << "strh buffer";
  }
}

TEST(MovieFrames, HeaderAndPixelsOfAFrameFile) {
  Frame f = testFrame(5, 3, 0);  // rows of 15 bytes padded to 16
  BmpLayout gap;
  gap.gap = 6;
  for (const BmpLayout& layout : {BmpLayout{}, gap}) {
    fs::path p = dir() / "f.bmp";
    writeBmp(p, f, layout);
    QmBitmapInfoHeader h{};
    ASSERT_TRUE(ReadBmpHeader(p, h));
    EXPECT_EQ(h.biWidth, 5);
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(BmpPixelBytes(h), 48u);
    std::string pixels(48, '\0');
    ASSERT_TRUE(ReadBmpPixels(p, pixels.data(), pixels.size()));
    EXPECT_EQ(pixels, bmpPixels(f)) << "read from the file's pixel offset";
    EXPECT_FALSE(ReadBmpPixels(p, pixels.data(), 47)) << "a buffer of another size";
    EXPECT_FALSE(ReadBmpPixels(p, pixels.data(), 49));
  }
}

TEST(MovieFrames, RefusalsAndFailuresLeaveNoFileAndKeepTheOldOne) {
  Frame big = testFrame(32, 24, 0), small = testFrame(16, 12, 1);
  auto bmp = [&](const std::string& name, const Frame& f, BmpLayout l = {}) {
    writeBmp(dir() / name, f, l);
    return (dir() / name).string();
  };
  BmpLayout bx, eight, rle, topDown, cut, os2, planes;
  bx.magic = "BX";
  eight.bits = 8;
  rle.compression = 1;
  topDown.height = -24;
  cut.cut = 1;
  os2.infoSize = 12;
  planes.planes = 2;
  const std::string good = bmp("good.bmp", big);
  fs::create_directories(dir() / "folder.bmp");
  // A sparse frame of 75 MB: fifteen of them pass the largest movie.
  const std::string huge = (dir() / "huge.bmp").string();
  {
    std::string head = bmpBytes(testFrame(1, 1, 0)).substr(0, 54);
    uint32_t w = 5000, bytes = 5000 * 15000;
    for (int i = 0; i < 4; ++i) head[18 + i] = char(w >> (8 * i)), head[22 + i] = char(w >> (8 * i));
    adtest::writeFile(huge, head);
    ASSERT_EQ(::truncate(huge.c_str(), 54 + off_t(bytes)), 0);
  }

  struct Case {
    const char* name;
    std::vector<std::string> frames;
    uint32_t scale = 1, rate = 1, codec = 0;
    int abortAtTest = 0;
    std::string output = "out.avi";
    std::function<void(int)> onPump = {};
  };
  std::vector<Case> cases = {
      {"no frames", {}},
      {"sizes differ", {good, good, bmp("small.bmp", small)}},
      {"not BM", {good, bmp("bx.bmp", big, bx)}},
      {"8 bits", {bmp("eight.bmp", big, eight)}},
      {"compressed rows", {good, bmp("rle.bmp", big, rle)}},
      {"top-down rows", {bmp("topdown.bmp", big, topDown)}},
      {"pixel data cut short", {good, bmp("cut.bmp", big, cut)}},
      {"short header", {bmp("os2.bmp", big, os2)}},
      {"two planes", {bmp("planes.bmp", big, planes)}},
      {"missing frame", {good, (dir() / "none.bmp").string()}},
      {"folder as frame", {good, (dir() / "folder.bmp").string()}},
      {"unknown compressor", {good}, 1, 1, MakeFourcc('c', 'v', 'i', 'd')},
      {"scale 0", {good}, 0, 1},
      {"rate 0", {good}, 1, 0},
      {"past 1 GiB", std::vector<std::string>(15, huge)},
      {"no such folder", {good}, 1, 1, 0, 0, "missing/out.avi"},
      {"output is a folder", {good}, 1, 1, 0, 0, "folder.bmp"},
      {"stopped before the third frame", {good, good, good, good}, 1, 1, 0, 3},
      {"stopped, Motion JPEG", {good, good, good}, 1, 1, kHandlerMJPG, 2},
      // A frame that breaks after the checks, while the movie is written.
      {"frame broken meanwhile", {good, good, (dir() / "late.bmp").string()}, 1, 1, kHandlerMJPG, 0, "out.avi",
       [&](int pump) {
         if (pump == 1) adtest::writeFile(dir() / "late.bmp", bmpBytes(big, cut));
       }},
  };
  for (Case& c : cases) {
    if (c.onPump) writeBmp(dir() / "late.bmp", big);
    for (bool oldFile : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (oldFile ? ", over an old file" : ""));
      fs::path out = dir() / c.output;
      if (oldFile && !fs::is_directory(out) && fs::is_directory(out.parent_path())) adtest::writeFile(out, "old");
      RecordingMonitor monitor;
      monitor.abortAtTest = c.abortAtTest;
      monitor.onPump = c.onPump;
      EXPECT_FALSE(MakeMovie(c.frames, out, c.scale, c.rate, c.codec, &monitor));
      if (fs::is_regular_file(out)) {
        EXPECT_TRUE(oldFile);
        EXPECT_EQ(adtest::readFile(out), "old");
        fs::remove(out);
      }
      if (c.abortAtTest) {
        EXPECT_EQ(monitor.abortTests, c.abortAtTest) << "stops at the first abort test that says so";
      }
      EXPECT_EQ(strayTemporaries(dir()), 0);
      if (c.onPump) writeBmp(dir() / "late.bmp", big);
    }
  }
}

TEST(MovieFrames, AFailedWriteLeavesNoFile) {
  auto frames = writeFrames(dir(), 80, 60, 5);
  fs::path out = dir() / "out.avi";
  // Uncompressed: the third frame passes the limit; Motion JPEG: the first.
  for (auto [codec, limit] : {std::pair{0u, 30000u}, std::pair{kHandlerMJPG, 1000u}}) {
    EXPECT_EQ(underFileSizeLimit(limit, [&] { return MakeMovie(frames, out, 1, 1, codec); }), 0) << fourcc(codec);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(strayTemporaries(dir()), 0);
  }
}

TEST(MovieFrames, MonitorGetsTimeBeforeAndAfterEachFrameAndHearsProgress) {
  auto frames = writeFrames(dir(), 16, 12, 3);
  RecordingMonitor monitor;
  ASSERT_TRUE(MakeMovie(frames, dir() / "out.avi", 1, 1, 0, &monitor));
  EXPECT_EQ(monitor.pumps, 6);
  EXPECT_EQ(monitor.abortTests, 3);
  EXPECT_EQ(monitor.progress, (std::vector<int>{33, 66, 100}));
  // Without a monitor the movie is the same.
  ASSERT_TRUE(MakeMovie(frames, dir() / "plain.avi", 1, 1, 0));
  EXPECT_EQ(adtest::readFile(dir() / "out.avi"), adtest::readFile(dir() / "plain.avi"));
}

TEST(MovieCompressors, TheTwoCompressorsWithTheirNames) {
  const auto& list = MovieCompressors();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].codec, 0u);
  EXPECT_EQ(list[0].handler, kHandlerDIB);
  EXPECT_EQ(list[1].codec, kHandlerMJPG);
  EXPECT_EQ(list[1].handler, kHandlerMJPG);
  EXPECT_EQ(fourcc(kHandlerDIB), "DIB ");
  EXPECT_EQ(fourcc(kHandlerMJPG), "MJPG");
  EXPECT_EQ(kDefaultMovieCodec, kHandlerMJPG);

  workspace::MLang lang;
  lang.SetLanguage(12);
  lang.ParseCaptions(
      "PrgLevel\tMV_COMP_DIB\tUncompressed\tSTD\tNon compressé\tSTD\r\n"
      "PrgLevel\tMV_COMP_MJPG\tMotion JPEG\tSTD\tJPEG animé\tSTD\r\n");
  EXPECT_EQ(MovieCompressorName(lang, 0), QString("Non compressé"));
  EXPECT_EQ(MovieCompressorName(lang, kHandlerDIB), QString("Non compressé"));
  EXPECT_EQ(MovieCompressorName(lang, kHandlerMJPG), QString("JPEG animé"));
  EXPECT_EQ(MovieCompressorName(lang, MakeFourcc('c', 'v', 'i', 'd')), QString());
}
