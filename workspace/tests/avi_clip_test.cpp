// The clip reader on the shipped splash clip and on clips built here: the frame forms it
// shows, the run-length codes, and files that are cut short or claim too much.
#include "workspace/avi_clip.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"

using workspace::AviClip;

namespace {

void put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}
void put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v);
  s += static_cast<char>(v >> 8);
}
std::string chunk(const char* id, const std::string& body) {
  std::string s(id, 4);
  put32(s, static_cast<uint32_t>(body.size()));
  s += body;
  if (body.size() & 1) s += '\0';
  return s;
}
std::string list(const char* type, const std::string& body) { return chunk("LIST", std::string(type, 4) + body); }

// A clip of one video stream (after `streamsBefore` audio streams) with the given frames.
struct Clip {
  int32_t width = 4, height = 2;
  int bits = 8;
  uint32_t compression = 0;  // 0 uncompressed, 1 run-length coded
  std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  std::vector<std::string> frames;
  int streamsBefore = 0;
  uint32_t microSecPerFrame = 50000;
  bool inRecordLists = false;

  std::string bytes() const {
    std::string avih;
    put32(avih, microSecPerFrame);
    avih += std::string(52, '\0');
    std::string strls;
    for (int i = 0; i < streamsBefore; ++i) strls += list("strl", chunk("strh", "auds" + std::string(52, '\0')));
    std::string strf;
    put32(strf, 40);
    put32(strf, static_cast<uint32_t>(width));
    put32(strf, static_cast<uint32_t>(height));
    put16(strf, 1);
    put16(strf, static_cast<uint32_t>(bits));
    put32(strf, compression);
    strf += std::string(12, '\0');
    put32(strf, static_cast<uint32_t>(palette.size()));
    put32(strf, 0);
    for (uint32_t c : palette) put32(strf, c);  // RGB quads are B, G, R, 0 in memory: 0x00RRGGBB
    strls += list("strl", chunk("strh", "vids" + std::string(52, '\0')) + chunk("strf", strf));
    const std::string id = std::string(1, static_cast<char>('0' + streamsBefore / 10)) +
                           static_cast<char>('0' + streamsBefore % 10) + "dc";
    std::string movi;
    for (const auto& f : frames) movi += inRecordLists ? list("rec ", chunk(id.c_str(), f)) : chunk(id.c_str(), f);
    std::string body = "AVI " + list("hdrl", chunk("avih", avih) + strls) + list("movi", movi);
    std::string riff = "RIFF";
    put32(riff, static_cast<uint32_t>(body.size()));
    return riff + body;
  }
};

bool parse(AviClip& clip, const std::string& bytes) {
  return clip.Parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The frame as rows of palette indices (0 black, 1 red, 2 green, 3 blue), top row first.
std::vector<std::string> rows(const QImage& img) {
  std::vector<std::string> out;
  for (int y = 0; y < img.height(); ++y) {
    std::string r;
    for (int x = 0; x < img.width(); ++x) {
      switch (img.pixel(x, y) & 0xFFFFFF) {
        case 0x000000: r += '0'; break;
        case 0xFF0000: r += '1'; break;
        case 0x00FF00: r += '2'; break;
        case 0x0000FF: r += '3'; break;
        default: r += '?';
      }
    }
    out.push_back(r);
  }
  return out;
}

std::string b(std::initializer_list<int> bytes) {
  std::string s;
  for (int v : bytes) s += static_cast<char>(v);
  return s;
}

TEST(AviClip, ReadsTheShippedSplashClip) {
  AviClip clip;
  ASSERT_TRUE(clip.Load(std::string(AD_BIN_DIR) + "/wro10_m.dat"));
  EXPECT_EQ(clip.FrameCount(), 11);
  EXPECT_EQ(clip.Width(), 242);
  EXPECT_EQ(clip.Height(), 95);
  EXPECT_EQ(clip.FrameIntervalMs(), 125);
  EXPECT_NE(clip.Frame(0), clip.Frame(10));
  EXPECT_TRUE(clip.Frame(11).isNull());
  EXPECT_TRUE(clip.Frame(-1).isNull());
}

TEST(AviClip, ShowsEachFrameForm) {
  struct Case {
    const char* name;
    Clip clip;
    std::vector<std::vector<std::string>> frames;
  };
  Clip raw8;  // rows bottom-up, padded to 4 bytes
  raw8.frames = {b({3, 3, 3, 3, 1, 2, 0, 1})};
  Clip topDown = raw8;
  topDown.height = -2;
  Clip raw24;
  raw24.bits = 24;
  raw24.width = 1;  // 3 bytes a row, padded to 4
  raw24.frames = {b({0, 0, 255, 0, 0, 255, 0, 0})};  // red below, green above
  Clip rle;
  rle.compression = 1;
  rle.frames = {
      b({4, 1, 0, 0, 2, 3, 2, 2, 0, 1}),        // a red row; two blue and two green above
      b({0, 2, 1, 1, 1, 1, 0, 1}),             // move to (1, 1), one red: the rest stays
      b({0, 1}),                               // nothing changes
      b({0, 3, 2, 2, 2, 0, 0, 0, 9, 3, 0, 1}),  // a literal of three (padded); a run beyond the edge
  };
  Clip repeat = raw8;
  repeat.frames.push_back("");  // an empty frame repeats the one before
  Clip audioFirst = raw8;
  audioFirst.streamsBefore = 1;
  audioFirst.inRecordLists = true;
  const Case cases[] = {
      {"uncompressed 8 bits", raw8, {{"1201", "3333"}}},
      {"top-down", topDown, {{"3333", "1201"}}},
      {"uncompressed 24 bits", raw24, {{"2", "1"}}},
      {"run-length coded", rle, {{"3322", "1111"}, {"3122", "1111"}, {"3122", "1111"}, {"3333", "2221"}}},
      {"empty frame", repeat, {{"1201", "3333"}, {"1201", "3333"}}},
      {"second stream, record lists", audioFirst, {{"1201", "3333"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AviClip clip;
    ASSERT_TRUE(parse(clip, c.clip.bytes()));
    ASSERT_EQ(clip.FrameCount(), static_cast<int>(c.frames.size()));
    for (size_t i = 0; i < c.frames.size(); ++i) EXPECT_EQ(rows(clip.Frame(static_cast<int>(i))), c.frames[i]) << i;
    EXPECT_EQ(clip.FrameIntervalMs(), 50);
  }
}

TEST(AviClip, RefusesWhatItCannotShowWhole) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  Clip good;
  good.frames = {b({3, 3, 3, 3, 1, 2, 0, 1})};
  const std::string ok = good.bytes();
  auto with = [&](auto change) {
    Clip c = good;
    change(c);
    return c.bytes();
  };
  const Case cases[] = {
      {"empty", ""},
      {"not RIFF", "RIFX" + ok.substr(4)},
      {"not AVI", ok.substr(0, 8) + "WAVE" + ok.substr(12)},
      {"cut in the header", ok.substr(0, 60)},
      {"cut in the frame", ok.substr(0, ok.size() - 3)},
      {"short frame", with([](Clip& c) { c.frames = {b({1, 2, 3})}; })},
      {"no frames", with([](Clip& c) { c.frames.clear(); })},
      {"16 bits", with([](Clip& c) { c.bits = 16; })},
      {"other compression", with([](Clip& c) { c.compression = 2; })},
      {"width 0", with([](Clip& c) { c.width = 0; })},
      {"too wide", with([](Clip& c) { c.width = 100000; })},
      {"too high", with([](Clip& c) { c.height = -100000; })},
      {"top-down run-length", with([](Clip& c) { c.compression = 1; c.height = -2; })},
      {"literal beyond the chunk", with([](Clip& c) { c.compression = 1; c.frames = {b({0, 200, 1, 1})}; })},
      {"move cut short", with([](Clip& c) { c.compression = 1; c.frames = {b({0, 2, 1})}; })},
      {"too many pixels", with([](Clip& c) {
         c.width = 4096;
         c.height = 4096;
         c.compression = 1;
         c.frames.assign(5, b({0, 1}));
       })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AviClip clip;
    EXPECT_FALSE(parse(clip, c.bytes));
    EXPECT_TRUE(clip.IsEmpty());
    EXPECT_EQ(clip.Width(), 0);
  }
  // A size field larger than the file is read as far as the file goes.
  std::string longer = ok;
  longer[4] = '\xFF';
  longer[5] = '\xFF';
  AviClip clip;
  EXPECT_TRUE(parse(clip, longer));
  EXPECT_FALSE(clip.Load((adtest::testDir() / "missing.avi").string()));
}

}  // namespace
