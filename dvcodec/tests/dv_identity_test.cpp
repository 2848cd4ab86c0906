// The codec's pictures do not change: every bitmap the decoder gives and every frame the
// encoder writes is held against the hashes recorded in data/identity-hashes.txt, with
// every build of the kernels this processor runs.
//
// The frames are the benchmark's clips (clean and noisy test pictures and interlaced
// motion with 2-4-8 blocks, made by ffmpeg) and the tests' own: fractals, interlaced noise
// and frames of random bytes (codes that overflow their blocks and segments). Each frame
// is decoded at every output form (full size with each filter, the aspect widths, the
// reduced sizes), and its full-size picture encoded from 24-bit BGR, 32-bit BGRa and
// 32-bit aRGB into the frame's own DVF image, which is decoded again.
//
// With DV_IDENTITY_RECORD=<folder> the tests write the hashes they get there, one file a
// clip, instead of comparing them (for a change that means to change the pictures).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dv_decoder.h"
#include "dv_encoder.h"
#include "dv_kernels.h"
#include "dv_test_support.h"
#include "platform/testsupport/testsupport.h"

namespace {

using namespace zebdv;

struct Clip {
  const char* name;
  int system;
  const char* source;   // a lavfi source, or "random" for frames of random bytes
  const char* filters;
  bool interlacedDct;
  int frames;
};

const char* const kMotion = ",scroll=h=0.03:v=0.01,tinterlace=mode=interleave_top";
const char* const kNoise = ",noise=alls=40:allf=t";

const Clip kClips[] = {
    // The benchmark's clips.
    {"525-noise", 525, "testsrc2", kNoise, false, 30},
    {"525-clean", 525, "testsrc2", "", false, 30},
    {"525-2-4-8", 525, "mandelbrot", kMotion, true, 30},
    {"625-noise", 625, "testsrc2", kNoise, false, 30},
    {"625-clean", 625, "testsrc2", "", false, 30},
    {"625-2-4-8", 625, "mandelbrot", kMotion, true, 30},
    // The tests' own.
    {"525-fractal", 525, "mandelbrot", "", false, 2},
    {"625-fractal", 625, "mandelbrot", "", false, 2},
    {"525-noise-2-4-8", 525, "testsrc2", kNoise, true, 2},
    {"625-noise-2-4-8", 625, "testsrc2", kNoise, true, 2},
    {"625-clean-2-4-8", 625, "testsrc2", "", true, 2},
    {"525-grain", 525, "mandelbrot", ",gblur=sigma=1.5,noise=alls=4", false, 2},
    {"625-grain", 625, "mandelbrot", ",gblur=sigma=1.5,noise=alls=4", false, 2},
    {"525-random", 525, "random", "", false, 12},
    {"625-random", 625, "random", "", false, 12},
};

// A 64-bit hash of bytes, eight at a time.
uint64_t hashBytes(const uint8_t* p, size_t n, uint64_t h = 0x9E3779B97F4A7C15ull) {
  auto mix = [&h](uint64_t w) {
    h ^= w * 0xBF58476D1CE4E5B9ull;
    h = (h << 27 | h >> 37) * 0x94D049BB133111EBull;
  };
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    mix(w);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, p + i, n - i);
  mix(tail ^ (uint64_t(n) << 56));
  return h;
}
uint64_t hashOf(const std::string& s, uint64_t h = 0x9E3779B97F4A7C15ull) {
  return hashBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size(), h);
}
uint64_t hashOf(const std::vector<uint8_t>& v, uint64_t h = 0x9E3779B97F4A7C15ull) {
  return hashBytes(v.data(), v.size(), h);
}

std::string hex(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return text;
}

// The hashes of one frame: its bytes, then the groups of outputs.
constexpr const char* kGroups[] = {"full", "filters", "aspect", "reduced", "encoded"};
constexpr int kGroupCount = 5;
struct FrameHashes {
  uint64_t input = 0;
  uint64_t group[kGroupCount] = {};
  std::string line(const std::string& clip, int frame) const {
    std::string s = clip + " " + std::to_string(frame) + " " + hex(input);
    for (uint64_t g : group) s += " " + hex(g);
    return s;
  }
};

// The recorded lines, by "<clip> <frame>".
std::map<std::string, std::string> recorded() {
  std::map<std::string, std::string> lines;
  std::ifstream in(std::string(AD_SOURCE_DIR) + "/data/identity-hashes.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string clip, frame;
    words >> clip >> frame;
    lines[clip + " " + frame] = line;
  }
  return lines;
}

// Decodes one form of the frame with the decoder; the whole bitmap (padding pre-set to
// zero) is hashed into h.
void decodeForm(Decoder* d, const std::string& frame, uint32_t width, uint32_t height, uint32_t filter,
                uint32_t resample, uint64_t* h, std::vector<uint8_t>* keep = nullptr) {
  std::vector<uint8_t> out(dvtest::strideOf(int(width)) * height, 0);
  DvcDibFormat f = {width, height, 1, 24, 1, 1, 0, 0, filter, resample, DVC_FORM_FRAME};
  const DvcResult r =
      decode(d, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(), nullptr, &f);
  *h = hashOf(out, *h ^ uint64_t(uint16_t(r)));
  if (keep) *keep = std::move(out);
}

FrameHashes hashFrame(int system, const std::string& frame, Decoder* d, DvEncoder* e) {
  const int lines = dvtest::linesOf(system);
  const uint32_t h = uint32_t(lines);
  const uint32_t square = system == 625 ? 768 : 640, wide = system == 625 ? 1024 : 852;
  FrameHashes out;
  out.input = hashOf(frame);
  uint64_t* g = out.group;
  for (uint64_t& v : out.group) v = 0x9E3779B97F4A7C15ull;
  std::vector<uint8_t> picture;
  decodeForm(d, frame, 720, h, 0, 0, &g[0], &picture);
  for (uint32_t filter = 1; filter <= 4; ++filter) decodeForm(d, frame, 720, h, filter, 0, &g[1]);
  decodeForm(d, frame, square, h, 0, 0, &g[2]);
  decodeForm(d, frame, square, h, 0, 1, &g[2]);
  decodeForm(d, frame, wide, h, 0, 1, &g[2]);
  decodeForm(d, frame, wide, h, 0, 2, &g[2]);
  for (int level = 1; level <= 3; ++level) {
    decodeForm(d, frame, 720u >> level, h >> level, 0, 0, &g[3]);
    decodeForm(d, frame, square >> level, h >> level, 0, 1, &g[3]);
  }
  decodeForm(d, frame, wide >> 1, h >> 1, 0, 1, &g[3]);

  // The full-size picture, top row first, as the encoder's three pixel forms.
  std::vector<uint8_t> bgr(size_t(2160) * lines), bgra(size_t(2880) * lines), argb(bgra.size());
  for (int r = 0; r < lines; ++r) {
    const uint8_t* from = &picture[dvtest::strideOf(720) * size_t(lines - 1 - r)];
    std::memcpy(&bgr[size_t(2160) * r], from, 2160);
    for (int x = 0; x < 720; ++x) {
      uint8_t* a = &bgra[size_t(2880) * r + 4 * size_t(x)];
      uint8_t* b = &argb[size_t(2880) * r + 4 * size_t(x)];
      const uint8_t* p = from + 3 * x;
      a[0] = p[0], a[1] = p[1], a[2] = p[2], a[3] = uint8_t(x);
      b[0] = uint8_t(r), b[1] = p[2], b[2] = p[1], b[3] = p[0];
    }
  }
  const std::string dvf = dvtest::toDvf(system, frame);
  struct Input {
    const std::vector<uint8_t>* pixels;
    uint32_t bits, layout, stride;
  } inputs[] = {{&bgr, 24, 1, 2160}, {&bgra, 32, 1, 2880}, {&argb, 32, 0, 2880}};
  for (const Input& in : inputs) {
    std::string image = dvf;
    DvcDibFormat f = {720, h, 1, in.bits, in.layout, 1, 0, in.stride, 0, 0, 0};
    const DvcResult r = encode(e, reinterpret_cast<uint8_t*>(image.data()), in.pixels->data(), &f);
    g[4] = hashOf(image, g[4] ^ uint64_t(uint16_t(r)));
    if (in.bits == 24) {
      std::vector<uint8_t> again(dvtest::strideOf(720) * h, 0);
      DvcDibFormat df = {720, h, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_DVF};
      const DvcResult rd =
          decode(d, reinterpret_cast<const uint8_t*>(image.data()), uint32_t(image.size()), again.data(), nullptr, &df);
      g[4] = hashOf(again, g[4] ^ uint64_t(uint16_t(rd)));
    }
  }
  return out;
}

std::vector<std::string> framesOf(const Clip& c) {
  if (std::strcmp(c.source, "random") == 0) {
    std::vector<std::string> frames;
    for (int k = 0; k < c.frames; ++k) frames.push_back(dvtest::randomFrame(c.system, uint32_t(1000 + k)));
    return frames;
  }
  return dvtest::encodeFrames(c.system, c.source, c.filters, c.interlacedDct, c.frames, adtest::testDir());
}

void PrintTo(const Clip& c, std::ostream* os) { *os << c.name; }

class DvIdentity : public ::testing::TestWithParam<Clip> {};

TEST_P(DvIdentity, EveryOutputAsRecorded) {
  const Clip& c = GetParam();
  if (std::strcmp(c.source, "random") != 0) AD_REQUIRE_TOOL("ffmpeg");
  const std::vector<std::string> frames = framesOf(c);
  ASSERT_EQ(int(frames.size()), c.frames);

  std::vector<const Kernels*> builds = {&portableKernels()};
  for (const Kernels* k : {avx2Kernels(), avx512Kernels()}) {
    if (k) builds.push_back(k);
  }
  const char* recordTo = std::getenv("DV_IDENTITY_RECORD");
  const std::map<std::string, std::string> golden = recordTo ? std::map<std::string, std::string>{} : recorded();
  std::string record;
  std::vector<std::string> firstBuild;
  for (const Kernels* build : builds) {
    selectKernels(build);
    Decoder* d = openDecoder(c.system == 625 ? 1 : 0);
    DvEncoder* e = openEncoder(c.system == 625 ? 1 : 0);
    ASSERT_TRUE(d && e);
    for (int k = 0; k < c.frames; ++k) {
      const FrameHashes got = hashFrame(c.system, frames[size_t(k)], d, e);
      const std::string line = got.line(c.name, k);
      std::string want;
      if (recordTo) {
        // Recording: the first build's hashes, which every other build must give too.
        if (build == builds.front()) {
          record += line + "\n";
          firstBuild.push_back(line);
          continue;
        }
        want = firstBuild[size_t(k)];
      } else {
        const auto it = golden.find(std::string(c.name) + " " + std::to_string(k));
        ASSERT_NE(it, golden.end()) << c.name << " frame " << k << " has no recorded hashes";
        want = it->second;
      }
      std::istringstream words(want);
      std::string clip, frame, input;
      words >> clip >> frame >> input;
      ASSERT_EQ(input, hex(got.input)) << c.name << " frame " << k
                                       << ": ffmpeg made a different frame from the one the hashes were recorded of";
      for (int i = 0; i < kGroupCount; ++i) {
        std::string group;
        words >> group;
        EXPECT_EQ(group, hex(got.group[i])) << c.name << " frame " << k << ", " << kGroups[i] << ", kernels "
                                           << build->name;
      }
    }
    closeDecoder(d);
    closeEncoder(e);
  }
  selectKernels(nullptr);
  if (recordTo) {
    std::ofstream out(std::string(recordTo) + "/" + c.name + ".txt");
    out << record;
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, DvIdentity, ::testing::ValuesIn(kClips), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name) ch = (ch == '-') ? '_' : ch;
  return "c" + name;
});

}  // namespace
