// Files whose heads promise far more pixels or data than the files can hold: every
// reader refuses them before it takes memory for them. Large pictures that files do hold
// still open.
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "hostile.h"
#include "picture_util.h"
#include "platform/testsupport/testsupport.h"
#include "toolkit/effect/qm6effect.h"
#include "toolkit/file/qm6file.h"

namespace {

using namespace pictest;

constexpr uint64_t kGiB = uint64_t{1} << 30;

std::string write(const std::string& name, const std::string& bytes) {
  const std::string path = (adtest::testDir() / name).string();
  adtest::writeFile(path, bytes);
  return path;
}

// The TIFF of 8 x 65535 pixels of 31233 samples in one strip, in 128 bytes: the head
// asks for 16 GB of decoded data.
TinyTiff samplesBomb(uint16_t compression) {
  TinyTiff t;
  t.width = 8;
  t.height = 65535;
  t.samples = 31233;
  t.photometric = 2;
  t.compression = compression;
  return t;
}

struct Hostile {
  const char* what;
  const char* name;
  std::string bytes;
};

std::vector<Hostile> hostileFiles() {
  std::vector<Hostile> all;
  const struct {
    const char* what;
    uint16_t compression;
  } codings[] = {{"LZW", 5}, {"Deflate", 8}, {"PackBits", 32773}, {"none", 1}, {"CCITT group 4", 4},
                 {"JPEG", 7}, {"Zstandard", 50000}, {"LZMA", 34925}, {"WebP", 50001}};
  for (const auto& c : codings) all.push_back({c.what, "samples.tif", tinyTiff(samplesBomb(c.compression))});
  TinyTiff deep = samplesBomb(5);
  deep.bits = 16;
  all.push_back({"16-bit samples", "deep.tif", tinyTiff(deep)});
  // Tiles of 16384 x 16384 pixels of 16 samples: 4 GiB each.
  TinyTiff tiled = samplesBomb(5);
  tiled.samples = 16;
  tiled.tileWidth = tiled.tileLength = 16384;
  all.push_back({"huge tiles", "tiles.tif", tinyTiff(tiled)});
  all.push_back({"PNG 20000 x 20000", "square.png", tinyPng(20000, 20000, 8, 2, 60)});
  all.push_back({"PNG 16-bit", "deep.png", tinyPng(16000, 8000, 16, 6, 60)});
  // The JPEG module's kinds through the file library.
  TinyJpeg progressive{26000, 26000, 3, 1, 1, TinyJpeg::Coding::Progressive, 784};
  all.push_back({"progressive JPEG", "progressive.jpg", tinyJpeg(progressive)});
  TinyJpeg grey{20000, 20000, 1, 1, 1, TinyJpeg::Coding::Baseline, 439};
  all.push_back({"grey JPEG", "grey.jpg", tinyJpeg(grey)});
  return all;
}

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.what; }

class HostileFiles : public ::testing::TestWithParam<Hostile> {};

// Each is refused, and reading it takes next to no memory.
TEST_P(HostileFiles, AreRefusedBeforeMemoryIsTaken) {
  const Hostile& h = GetParam();
  const std::string path = write(h.name, h.bytes);
  const uint32_t blocks = QmGlobalCount();
  adtest::MemoryRise memory;
  ImageFileInfoRecord info;
  ImageFileInfo(path.c_str(), &info);
  EXPECT_EQ(ImageFileLoad(path.c_str()), 0u);
  EXPECT_LT(memory.rise(), kGiB / 4) << "MiB: " << (memory.rise() >> 20);
  EXPECT_EQ(QmGlobalCount(), blocks);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileFiles, ::testing::ValuesIn(hostileFiles()), [](const auto& info) {
  std::string name = info.param.what;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

QmHandle loadSized(const std::string& path, int w, int h) {
  QmHandle pic = ImageFileLoad(path.c_str());
  ImageKindRecord kind{};
  EXPECT_NE(ImageInfo(pic, &kind), 0) << path;
  EXPECT_EQ(kind.width, w) << path;
  EXPECT_EQ(std::abs(kind.height), h) << path;
  return pic;
}

// Pictures 65535 pixels wide, as wide as the readers take, open from files that hold
// them: an uncompressed TIFF strip, a PNG of stored (uncompressed) Deflate blocks, and
// JPEG files written by the module, as wide as the JPEG library goes.
TEST(LargePictures, WidestOpen) {
  TinyTiff strips;
  strips.width = 65535;
  strips.height = 16;
  strips.samples = 3;
  strips.photometric = 2;
  strips.dataByte = 0x80;
  strips.dataBytes = size_t{65535} * 3 * 16;
  QmHandle tiff = loadSized(write("wide.tif", tinyTiff(strips)), 65535, 16);
  EXPECT_EQ(read(tiff).at(65534, 15), (Rgb{0x80, 0x80, 0x80}));
  ImageFree(tiff);
  ImageFree(loadSized(write("wide.png", tinyPng(65535, 16, 8, 2, (1 + size_t{65535} * 3) * 16)), 65535, 16));

  // (The JPEG library takes sides of up to 65500 pixels.)
  QmHandle pic = make(65500, 16, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y * 16), uint8_t(x >> 8)}; });
  for (int progressive : {0, 1}) {
    const std::string path = (adtest::testDir() / "wide.jpg").string();
    ASSERT_NE(ImageFileSaveJpeg(path.c_str(), pic, progressive, 90, 2, ""), 0);
    ImageFree(loadSized(path, 65500, 16));
  }
  ImageFree(pic);
}

// A camera's 48-million-pixel picture, baseline and progressive (at full colour
// resolution, which gives the progressive decoder its largest buffers).
TEST(LargePictures, EightThousandBySixThousandOpen) {
  QmHandle pic = make(8000, 6000, [](int x, int y) {
    return Rgb{uint8_t(x * 255 / 8000), uint8_t(y * 255 / 6000), uint8_t((x ^ y) & 0xFF)};
  });
  for (int progressive : {0, 1}) {
    SCOPED_TRACE(progressive);
    const std::string path = (adtest::testDir() / "camera.jpg").string();
    ASSERT_NE(ImageFileSaveJpeg(path.c_str(), pic, progressive, 90, 2, ""), 0);
    ImageFree(loadSized(path, 8000, 6000));
  }
  ImageFree(pic);
}

}  // namespace
