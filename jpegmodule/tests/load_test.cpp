// Loads compared pixel for pixel with djpeg -bmp; colour models the module refuses or
// converts itself.
#include <cstring>

#include <gtest/gtest.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "jpeg_test_util.h"
#include "platform/testsupport/testsupport.h"

using namespace jt;

namespace {

QmHandle load(const fs::path& path) { return _QMJpegFileLoad(path.c_str(), 1, 0, 0, 0); }

// A four-component JPEG written by the library itself from C, M, Y, K samples, stored
// as YCCK (ycck true) or as plain CMYK; both carry the inverted samples of the usual
// print files.
std::string writeFourComponentJpeg(int w, int h, const uint8_t cmyk[4], bool ycck) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, ycck ? JCS_YCCK : JCS_CMYK);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(w) * 4);
  for (int x = 0; x < w; ++x) std::memcpy(&row[size_t(x) * 4], cmyk, 4);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(buffer), size);
  free(buffer);
  return out;
}

// The library's own C, M, Y, K samples of a four-component file, top row first.
std::vector<uint8_t> decodeCmyk(const std::string& jpeg) {
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_CMYK;
  jpeg_start_decompress(&d);
  std::vector<uint8_t> all(size_t(d.output_width) * d.output_height * 4);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = all.data() + size_t(d.output_scanline) * d.output_width * 4;
    jpeg_read_scanlines(&d, &r, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return all;
}

// The bitmap rows the ink rule gives for those samples: blue = Y + K - 255 and so on.
std::vector<uint8_t> inkRule(const std::vector<uint8_t>& cmyk, int w, int h) {
  size_t rowBytes = (size_t(24) * w + 31) / 32 * 4;
  std::vector<uint8_t> rows(rowBytes * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = &cmyk[(size_t(y) * w + x) * 4];
      uint8_t* d = &rows[rowBytes * (h - 1 - y) + 3 * x];
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::max(0, s[2 - c] + s[3] - 255));
    }
  }
  return rows;
}

// The load does not clear its bitmap's memory before the decode: this leaves dirty
// blocks of the bitmap's size behind, which the heap hands out again, so that a byte the
// load forgot to write (padding, a palette entry's fourth byte) shows.
void leaveDirtyMemory(size_t bytes) {
  for (int i = 0; i < 4; ++i) {
    QmHandle dirty = QmGlobalAllocUncleared(bytes);
    std::memset(QmGlobalLock(dirty), 0xA5, bytes);
    QmGlobalFree(dirty);
  }
}

}  // namespace

TEST(JpegLoad, PixelsMatchDjpeg) {
  AD_REQUIRE_TOOL("cjpeg");
  AD_REQUIRE_TOOL("djpeg");
  fs::path dir = adtest::testDir();
  struct Case {
    const char* name;
    int w, h, channels;
    std::vector<std::string> options;
    size_t truncateTo = 0;  // keep only this many bytes of the file
    uint16_t orientation = 0;  // an Exif orientation tag: the export still gives the picture as stored
  } cases[] = {
      {"baseline 2x2", 37, 23, 3, {"-sample", "2x2"}},
      {"baseline 2x1", 37, 23, 3, {"-sample", "2x1"}},
      {"baseline 1x1", 37, 23, 3, {"-sample", "1x1"}},
      {"baseline 1x2", 20, 31, 3, {"-sample", "1x2"}},
      {"progressive", 41, 29, 3, {"-progressive"}},
      {"grey", 3, 1, 1, {}},
      {"grey progressive", 45, 20, 1, {"-progressive"}},
      {"one pixel", 1, 1, 3, {}},
      {"one pixel wide", 1, 9, 3, {}},
      {"restart markers", 64, 40, 3, {"-restart", "1"}},
      {"arithmetic coding", 30, 30, 3, {"-arithmetic"}},
      {"rgb colour space", 25, 14, 3, {"-rgb"}},
      {"ends early", 64, 64, 3, {"-quality", "95"}, 900},
      {"stored turned", 37, 23, 3, {}, 0, 6},
  };
  for (const Case& c : cases) {
    Picture pic = makePicture(c.w, c.h, c.channels, 7);
    fs::path pnm = dir / "in.pnm";
    writePnm(pnm, pic);
    std::string jpeg = cjpeg(pnm, c.options);
    if (c.truncateTo) jpeg.resize(c.truncateTo);
    if (c.orientation) {
      TiffBuilder exif(false);
      exif.chain({exif.addIfd({exif.shortEntry(274, {c.orientation})})});
      jpeg = insertAfterSoi(jpeg, exifSegment(exif.build()));
    }
    fs::path file = dir / "in.jpg";
    writeFile(file, jpeg);

    leaveDirtyMemory(40 + (c.channels == 1 ? 1024 : 0) + (size_t(8 * c.channels) * c.w + 31) / 32 * 4 * c.h);
    QmHandle dib = load(file);
    ASSERT_NE(dib, 0u) << c.name << " status " << GetErrorStatus();
    EXPECT_EQ(GetErrorStatus(), QM_STATUS_OK) << c.name;
    Raster got = dibRaster(dib);
    Raster want = djpegBmp(file);
    EXPECT_EQ(got.width, want.width) << c.name;
    EXPECT_EQ(got.height, want.height) << c.name;
    EXPECT_EQ(got.bits, c.channels * 8) << c.name;
    EXPECT_TRUE(got.rows == want.rows) << c.name;
    EXPECT_EQ(got.palette, want.palette) << c.name;
    size_t rowBytes = (size_t(got.bits) * c.w + 31) / 32 * 4;
    EXPECT_EQ(QmGlobalSize(dib), 40 + got.palette.size() + rowBytes * c.h) << c.name;
    QmGlobalFree(dib);
  }
}

TEST(JpegLoad, TopRowIsLastInMemoryAndRowsArePadded) {
  AD_REQUIRE_TOOL("cjpeg");
  // Top half white, bottom half black, one pixel wide: 3 data bytes and a zero a row.
  Picture pic{1, 16, 3, {}};
  for (int y = 0; y < 16; ++y) pic.pixels.insert(pic.pixels.end(), 3, y < 8 ? 255 : 0);
  fs::path pnm = adtest::testDir() / "in.ppm";
  writePnm(pnm, pic);
  fs::path file = adtest::testDir() / "in.jpg";
  writeFile(file, cjpeg(pnm, {"-quality", "100"}));
  leaveDirtyMemory(40 + 16 * 4);
  QmHandle dib = load(file);
  Raster r = dibRaster(dib);
  ASSERT_EQ(r.rows.size(), 16u * 4);
  EXPECT_LT(r.rows[0], 20) << "first row in memory is the bottom (black) row";
  EXPECT_GT(r.rows[15 * 4], 235) << "last row in memory is the top (white) row";
  for (int y = 0; y < 16; ++y) EXPECT_EQ(r.rows[y * 4 + 3], 0) << "padding of row " << y;
  QmGlobalFree(dib);
}

TEST(JpegLoad, ResolutionFromTheJfifDensity) {
  AD_REQUIRE_TOOL("cjpeg");
  Picture pic = makePicture(8, 8, 3);
  fs::path pnm = adtest::testDir() / "in.ppm";
  writePnm(pnm, pic);
  std::string jpeg = cjpeg(pnm, {});
  ASSERT_EQ(jpeg.substr(6, 5), std::string("JFIF\0", 5));
  struct Case {
    uint8_t unit;
    uint16_t x, y;
    int32_t xPpm, yPpm;
  } cases[] = {{0, 1, 1, 0, 0}, {1, 72, 300, 2835, 11811}, {2, 100, 50, 10000, 5000}, {0, 3, 2, 0, 0}};
  for (const Case& c : cases) {
    std::string patched = jpeg;
    patched[13] = static_cast<char>(c.unit);
    patched[14] = static_cast<char>(c.x >> 8), patched[15] = static_cast<char>(c.x);
    patched[16] = static_cast<char>(c.y >> 8), patched[17] = static_cast<char>(c.y);
    fs::path file = adtest::testDir() / "d.jpg";
    writeFile(file, patched);
    QmHandle dib = load(file);
    Raster r = dibRaster(dib);
    EXPECT_EQ(r.xPpm, c.xPpm) << "unit " << int(c.unit);
    EXPECT_EQ(r.yPpm, c.yPpm) << "unit " << int(c.unit);
    QmGlobalFree(dib);
  }
}

TEST(JpegLoad, FourComponentFiles) {
  fs::path file = adtest::testDir() / "four.jpg";
  // YCCK: each colour is what its ink and black leave.
  struct Case {
    uint8_t cmyk[4];
  } cases[] = {{{255, 0, 128, 255}}, {{200, 100, 50, 0}}, {{10, 250, 240, 128}}};
  for (const Case& c : cases) {
    std::string jpeg = writeFourComponentJpeg(16, 8, c.cmyk, true);
    writeFile(file, jpeg);
    QmHandle dib = load(file);
    ASSERT_NE(dib, 0u);
    Raster r = dibRaster(dib);
    EXPECT_EQ(r.bits, 24);
    EXPECT_EQ(r.rows, inkRule(decodeCmyk(jpeg), 16, 8));
    QmGlobalFree(dib);
  }
  // The sample values decode exactly at this quality, so the rule shows in the numbers.
  writeFile(file, writeFourComponentJpeg(16, 8, cases[0].cmyk, true));
  QmHandle dib = load(file);
  Raster r = dibRaster(dib);
  EXPECT_NEAR(r.rows[0], 128, 1);
  EXPECT_NEAR(r.rows[1], 0, 1);
  EXPECT_NEAR(r.rows[2], 255, 1);
  QmGlobalFree(dib);
  JPEGFILEINFO info{};
  EXPECT_EQ(_QMJpegFileInfo(file.c_str(), &info), 1);
  EXPECT_EQ(info.BitCount, 32);

  // Plain CMYK (no YCCK transform) is refused before any progress display opens.
  RecordingHook hook;
  writeFile(file, writeFourComponentJpeg(16, 8, cases[0].cmyk, false));
  EXPECT_EQ(_QMJpegFileLoad(file.c_str(), 0, 1, 2, 3), 0u);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_FAILED);
  EXPECT_EQ(hook.opens, 0);
  EXPECT_EQ(_QMJpegFileInfo(file.c_str(), &info), 0);
}

TEST(JpegLoad, CmykFileOfAnOutsideTool) {
  AD_REQUIRE_TOOL("/usr/bin/convert");
  // The tool stores print colours as YCCK: loaded through the ink rule.
  fs::path dir = adtest::testDir();
  writePnm(dir / "in.ppm", makePicture(21, 13, 3));
  run({"/usr/bin/convert", (dir / "in.ppm").string(), "-colorspace", "CMYK", (dir / "cmyk.jpg").string()});
  QmHandle dib = load(dir / "cmyk.jpg");
  ASSERT_NE(dib, 0u);
  EXPECT_EQ(dibRaster(dib).rows, inkRule(decodeCmyk(readFile(dir / "cmyk.jpg")), 21, 13));
  QmGlobalFree(dib);
}
