// The save into memory gives the bytes the file export writes, for every kind of
// bitmap and setting, including pictures whose compressed size outgrows the first
// block; and it refuses what the export refuses, leaving the output alone.
#include <gtest/gtest.h>

#include "jpeg_test_util.h"
#include "jpegmodule/memory_save.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

std::string fileSave(QmHandle dib, int progressive, int quality, int sampling, const char* comment) {
  fs::path out = adtest::testDir() / "file.jpg";
  EXPECT_EQ(_QMJpegFileSave(out.c_str(), dib, progressive, quality, sampling, comment, 1, 0, 0, 0), 1);
  return readFile(out);
}

}  // namespace

TEST(JpegMemorySave, SameBytesAsTheFileExport) {
  struct Case {
    int width, height, channels, progressive, quality, sampling;
    const char* comment;
  } cases[] = {
      {37, 23, 3, 0, 75, 0, nullptr},
      {37, 23, 3, 1, 50, 1, "a comment"},
      {16, 16, 3, 0, 100, 2, ""},
      {33, 17, 1, 0, 90, 0, nullptr},  // grey
      {33, 17, 1, 1, 30, 0, "grey"},
      {640, 480, 3, 0, 100, 0, nullptr},  // noisy at quality 100: well past the first 64 KiB
  };
  for (const Case& c : cases) {
    QmHandle dib = makeDib(makePicture(c.width, c.height, c.channels));
    std::vector<uint8_t> memory{1, 2, 3};
    ASSERT_TRUE(qmjpeg::writeDibMemory(dib, c.progressive, c.quality, c.sampling, c.comment, memory))
        << c.width << "x" << c.height;
    std::string expected = fileSave(dib, c.progressive, c.quality, c.sampling, c.comment);
    EXPECT_EQ(std::string(memory.begin(), memory.end()), expected) << c.width << "x" << c.height << " q" << c.quality;
    QmGlobalFree(dib);
  }
  // The last case really needed the block to grow.
  QmHandle big = makeDib(makePicture(640, 480, 3));
  std::vector<uint8_t> out;
  ASSERT_TRUE(qmjpeg::writeDibMemory(big, 0, 100, 0, nullptr, out));
  EXPECT_GT(out.size(), size_t(64) << 10);
  QmGlobalFree(big);
}

TEST(JpegMemorySave, RefusedBitmapsLeaveTheOutputAlone) {
  QmHandle shortBlock = QmGlobalAlloc(40 + 10);  // declares 8 x 8, 24 bits
  auto* h = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(shortBlock));
  *h = QmBitmapInfoHeader{40, 8, 8, 1, 24, 0, 0, 0, 0, 0, 0};
  QmGlobalUnlock(shortBlock);
  QmHandle sixteen = QmGlobalAlloc(40 + 16 * 8);
  h = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(sixteen));
  *h = QmBitmapInfoHeader{40, 8, 8, 1, 16, 0, 0, 0, 0, 0, 0};
  QmGlobalUnlock(sixteen);
  for (QmHandle dib : {QmHandle(0), QmHandle(0xDEAD), shortBlock, sixteen}) {
    std::vector<uint8_t> out{7, 7};
    SetErrorStatus(QM_STATUS_OK);
    EXPECT_FALSE(qmjpeg::writeDibMemory(dib, 0, 75, 0, nullptr, out)) << dib;
    EXPECT_EQ(out, (std::vector<uint8_t>{7, 7}));
    EXPECT_EQ(GetErrorStatus(), QM_STATUS_SAVE_FAILED);
  }
  QmGlobalFree(shortBlock);
  QmGlobalFree(sixteen);
}
