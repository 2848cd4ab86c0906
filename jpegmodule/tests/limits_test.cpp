// What the load refuses before it takes memory: files too short for the first scan of
// the picture their head declares, and pictures whose coefficients the library would
// keep beyond its limit; through the export, and from memory reduced, as the import's
// look-ahead reads them.
#include <gtest/gtest.h>

#include "hostile.h"
#include "jpeg_test_util.h"
#include "jpegmodule/scaled_load.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;
using pictest::TinyJpeg;

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

QmHandle load(const std::string& bytes) {
  const fs::path file = adtest::testDir() / "in.jpg";
  writeFile(file, bytes);
  return _QMJpegFileLoad(file.c_str(), 1, 0, 0, 0);
}

// The bytes are refused by the export with `status`, and from memory reduced as the
// look-ahead reads them; and all of it takes next to no memory.
void expectRefused(const std::string& bytes, int32_t status) {
  const uint32_t blocks = QmGlobalCount();
  adtest::MemoryRise memory;
  EXPECT_EQ(load(bytes), 0u);
  EXPECT_EQ(GetErrorStatus(), status);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(qmjpeg::blockReadBytes(data, bytes.size(), 8), 0u);
  qmjpeg::Header header;
  if (qmjpeg::readBlockHeader(data, bytes.size(), header)) {
    EXPECT_EQ(qmjpeg::readBlockScaled(data, bytes.size(), header, 8), 0u);
  }
  EXPECT_LT(memory.rise(), 64 * kMiB);
  EXPECT_EQ(QmGlobalCount(), blocks);
}

}  // namespace

// The files of the reports: squares of 20000 and 26000 grey pixels in 439 bytes, a
// progressive one of 26000 x 26000 at full colour in 784 bytes, colour halved each way,
// and a progressive file that begins with runs of empty blocks.
TEST(JpegLimits, FilesTooShortForTheirPictureAreRefusedBeforeMemoryIsTaken) {
  using Coding = TinyJpeg::Coding;
  const struct {
    const char* what;
    TinyJpeg j;
  } cases[] = {
      {"grey 20000", {20000, 20000, 1, 1, 1, Coding::Baseline, 439}},
      {"grey 26000", {26000, 26000, 1, 1, 1, Coding::Baseline, 439}},
      {"progressive 4:4:4", {26000, 26000, 3, 1, 1, Coding::Progressive, 784}},
      {"progressive 4:2:0", {26000, 26000, 3, 2, 2, Coding::Progressive, 784}},
      {"baseline 4:2:0", {26000, 26000, 3, 2, 2, Coding::Baseline, 784}},
      {"AC scan first", {26000, 26000, 3, 1, 1, Coding::ProgressiveAcFirst, 784}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = pictest::tinyJpeg(c.j);
    ASSERT_EQ(bytes.size(), c.j.fileBytes);
    expectRefused(bytes, QM_STATUS_LOAD_FAILED);
  }
}

// The rule is the format's own bound: the smallest data a scan can have is as many bits
// as its blocks take codes. Zero bits are exactly that data for one-bit codes, so a file
// with them is whole and decodes (as grey); one byte less is refused.
TEST(JpegLimits, FilesThatHoldTheirFirstScanLoad) {
  using Coding = TinyJpeg::Coding;
  const struct {
    const char* what;
    TinyJpeg j;
    size_t scanBytes;  // after the scan's head, the end marker's two included
  } cases[] = {
      // 64 blocks of two codes or one.
      {"baseline", {64, 64, 1, 1, 1, Coding::Baseline, 0}, 16 + 2},
      {"progressive", {64, 64, 1, 1, 1, Coding::Progressive, 0}, 8 + 2},
      // 16 MCUs of four luminance blocks and two chroma blocks, two codes each.
      {"baseline 4:2:0", {64, 64, 3, 2, 2, Coding::Baseline, 0}, 24 + 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TinyJpeg whole = c.j;
    whole.fileBytes = pictest::tinyJpeg(c.j).size() - 2 + c.scanBytes;
    QmHandle dib = load(pictest::tinyJpeg(whole));
    ASSERT_NE(dib, 0u);
    const Raster r = dibRaster(dib);
    EXPECT_EQ(r.width, 64);
    EXPECT_EQ(r.rows[0], 128) << "grey";
    QmGlobalFree(dib);
    TinyJpeg cut = whole;
    --cut.fileBytes;
    EXPECT_EQ(load(pictest::tinyJpeg(cut)), 0u);
    EXPECT_EQ(GetErrorStatus(), QM_STATUS_LOAD_FAILED);
  }
}

// A progressive picture of 13400 x 13400 at full colour, in a file that holds its first
// scan: its coefficients (1.08 GB) are beyond the library's limit, and it is refused
// before any are kept.
TEST(JpegLimits, CoefficientsBeyondTheLimitAreRefused) {
  const uint64_t blocks = 3 * 1675 * 1675;
  expectRefused(pictest::tinyJpeg({13400, 13400, 3, 1, 1, TinyJpeg::Coding::Progressive, blocks / 8 + 1000}),
                QM_STATUS_NO_MEMORY);
}

// What a reduced read takes, as the look-ahead counts it: the bitmap, and for a
// progressive file the coefficients at full size; a bitmap larger than the rest is held
// twice while it is turned upright.
TEST(JpegLimits, ReadBytesCountBitmapAndCoefficients) {
  const std::string baseline = pictest::tinyJpeg({4000, 3000, 3, 2, 2, TinyJpeg::Coding::Baseline, 300000});
  const std::string progressive = pictest::tinyJpeg({4000, 3000, 3, 2, 2, TinyJpeg::Coding::Progressive, 300000});
  const auto bytesOf = [](const std::string& b, unsigned d) {
    return qmjpeg::blockReadBytes(reinterpret_cast<const uint8_t*>(b.data()), b.size(), d);
  };
  const uint64_t bitmap8 = 40 + 500 * 3 * 375, coefficients = (500 * 375 + 2 * 250 * 188) * uint64_t{128};
  EXPECT_GE(bytesOf(baseline, 8), bitmap8);
  EXPECT_LT(bytesOf(baseline, 8), bitmap8 + 8 * kMiB);
  EXPECT_GE(bytesOf(progressive, 8), bitmap8 + coefficients);
  EXPECT_LT(bytesOf(progressive, 8), bitmap8 + coefficients + 8 * kMiB);
  EXPECT_GT(bytesOf(progressive, 1), 36 * kMiB);
  EXPECT_GE(bytesOf(baseline, 1), 2 * (40 + uint64_t{4000} * 3 * 3000));
}
