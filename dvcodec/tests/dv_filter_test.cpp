// The picture filters on synthetic full-size pictures: which rows each mode replaces and
// keeps, the averages, and the steps of the motion mask.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dv_filter.h"
#include "dv_pixel.h"

namespace {

using namespace zebdv;

struct Picture {
  std::vector<uint8_t> bytes;
  PixelDesc desc;
  Picture(int32_t w, int32_t h) : bytes(size_t(w) * 4 * size_t(h), 0) {
    desc.buffer = bytes.data();
    pixelDescSetGeometry(uint32_t(bytes.size()), w, h, 4, uint32_t(w) * 4, kTagYCCa, 525, &desc);
  }
  uint8_t* px(int32_t row, int32_t x) { return desc.row(row) + 4 * size_t(x); }
  void set(int32_t row, int32_t x, int y, int cr, int cb) {
    px(row, x)[0] = uint8_t(y);
    px(row, x)[1] = uint8_t(int8_t(cr));
    px(row, x)[2] = uint8_t(int8_t(cb));
  }
  // The rows that differ from another picture's, and whether only columns 0 and w - 1 do.
  std::vector<int32_t> changedRows(const Picture& before, bool* onlyEdges) const {
    std::vector<int32_t> rows;
    *onlyEdges = true;
    const int32_t w = desc.width;
    for (int32_t r = 0; r < desc.height; ++r) {
      const uint8_t* a = bytes.data() + size_t(r) * desc.stride;
      const uint8_t* b = before.bytes.data() + size_t(r) * desc.stride;
      if (std::memcmp(a, b, desc.stride) == 0) continue;
      rows.push_back(r);
      if (std::memcmp(a + 4, b + 4, size_t(w - 2) * 4) != 0) *onlyEdges = false;
    }
    return rows;
  }
};

std::vector<int32_t> rowsFrom(int32_t first, int32_t last) {
  std::vector<int32_t> rows;
  for (int32_t r = first; r <= last; r += 2) rows.push_back(r);
  return rows;
}

// Two flat fields far apart: every pixel moves, so the de-interlacers replace their whole
// field (bar the first two examined rows, which keep their middle) and copy the edge row.
TEST(DvFilters, ModesReplaceTheirRowsAndKeepTheOthers) {
  for (int32_t h : {480, 576}) {
    Picture base(720, h);
    for (int32_t r = 0; r < h; ++r)
      for (int32_t x = 0; x < 720; ++x) base.set(r, x, r % 2 ? 180 : 60, r % 2 ? 20 : -10, 5);
    struct Case {
      uint32_t mode;
      std::vector<int32_t> changed;
      int middleOfRow;  // a replaced row's middle afterwards (first rows examined excepted)
    } cases[] = {
        {kFilterLineAverage, rowsFrom(1, h - 3), 60},
        {kFilterKeepEvenRows, [&] {
           auto r = rowsFrom(1, h - 3);
           r.push_back(h - 1);  // row h - 2 copied
           return r;
         }(),
         60},
        {kFilterKeepOddRows, [&] {
           auto r = rowsFrom(2, h - 2);
           r.insert(r.begin(), 0);  // row 1 copied
           return r;
         }(),
         180},
        {kFilterEdgeInterpolate, rowsFrom(1, h - 3), 60},
        {5, {}, 0},
    };
    for (const Case& c : cases) {
      Picture p = base;
      p.desc.buffer = p.bytes.data();
      ASSERT_EQ(filterPicture(p.desc, c.mode), DVC_OK);
      bool onlyEdges = false;
      EXPECT_EQ(p.changedRows(base, &onlyEdges), c.changed) << "mode " << c.mode << ", " << h << " rows";
      if (c.changed.empty()) continue;
      const int32_t lastReplaced = c.mode == kFilterKeepOddRows ? h - 2 : h - 3;
      EXPECT_EQ(p.px(lastReplaced, 360)[0], c.middleOfRow) << c.mode;
      EXPECT_EQ(p.px(lastReplaced, 0)[0], c.middleOfRow) << c.mode;
      if (c.mode == kFilterKeepEvenRows || c.mode == kFilterKeepOddRows) {
        // Mask rows 0 and 1 never take bit 2: the first two replaced rows keep their middle.
        const int32_t first = c.mode == kFilterKeepOddRows ? 2 : 1;
        EXPECT_EQ(p.px(first, 360)[0], base.px(first, 360)[0]);
        EXPECT_EQ(p.px(first + 2, 360)[0], base.px(first + 2, 360)[0]);
        EXPECT_EQ(p.px(first + 4, 360)[0], c.middleOfRow);
        EXPECT_EQ(p.px(first, 0)[0], c.middleOfRow);  // the edge columns always
      }
    }
  }
}

TEST(DvFilters, FieldsThatAgreeGiveNoMotion) {
  // Rows 2k and 2k + 1 alike (a still, progressive picture): the mask stays empty, so
  // the de-interlacers change only the edge columns of their rows and the copied row.
  std::mt19937 rng(3);
  Picture base(720, 480);
  for (int32_t r = 0; r < 480; r += 2) {
    for (int32_t x = 0; x < 720; ++x) {
      const int y = 16 + int(rng() % 220), cr = int(rng() % 60) - 30, cb = int(rng() % 60) - 30;
      base.set(r, x, y, cr, cb);
      base.set(r + 1, x, y, cr, cb);
    }
  }
  for (uint32_t mode : {kFilterKeepEvenRows, kFilterKeepOddRows}) {
    Picture p = base;
    p.desc.buffer = p.bytes.data();
    ASSERT_EQ(filterPicture(p.desc, mode), DVC_OK);
    bool onlyEdges = false;
    const auto changed = p.changedRows(base, &onlyEdges);
    EXPECT_TRUE(onlyEdges) << mode;
    EXPECT_GT(changed.size(), 200u) << mode;
  }
}

TEST(DvFilters, AveragesRoundDown) {
  Picture p(4, 3);
  p.set(0, 0, 11, -11, -11);
  p.set(2, 0, 20, 20, -20);
  p.set(0, 1, 255, 127, -128);
  p.set(2, 1, 254, 127, -128);
  ASSERT_EQ(lineAverage(p.desc, 0), DVC_OK);
  EXPECT_EQ(p.px(1, 0)[0], 15);
  EXPECT_EQ(int8_t(p.px(1, 0)[1]), 4);
  EXPECT_EQ(int8_t(p.px(1, 0)[2]), -16);
  EXPECT_EQ(p.px(1, 1)[0], 254);
  EXPECT_EQ(int8_t(p.px(1, 1)[1]), 127);
  EXPECT_EQ(int8_t(p.px(1, 1)[2]), -128);
}

TEST(DvFilters, EdgeInterpolationFollowsTheEdge) {
  // A dark-to-light step that moves two pixels right from one row to the next: the row
  // between takes the step halfway, where a vertical mean would blur it.
  Picture p(16, 3);
  for (int32_t x = 0; x < 16; ++x) {
    p.set(0, x, x < 6 ? 16 : 235, 0, 0);
    p.set(2, x, x < 8 ? 16 : 235, 0, 0);
    p.set(1, x, 128, 0, 0);
  }
  Picture vertical = p;
  vertical.desc.buffer = vertical.bytes.data();
  ASSERT_EQ(edgeInterpolate(p.desc, 0), DVC_OK);
  ASSERT_EQ(lineAverage(vertical.desc, 0), DVC_OK);
  for (int32_t x = 1; x < 15; ++x) EXPECT_EQ(p.px(1, x)[0], x < 7 ? 16 : 235) << x;
  EXPECT_EQ(vertical.px(1, 6)[0], (235 + 16) / 2);
  // Only YCbCr pictures.
  pixelDescSetTag(kTagBGRa, &p.desc);
  EXPECT_EQ(edgeInterpolate(p.desc, 0), DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(deinterlaceMotion(p.desc, p.desc, 0), DVC_ERR_NO_INPUT);
}

TEST(DvFilters, MotionMaskSmoothingAndRuns) {
  const int32_t w = 40, rows = 8;
  std::vector<uint8_t> mask(size_t(w) * (rows + 5), 0);
  auto at = [&](int32_t r, int32_t x) -> uint8_t& { return mask[size_t(r) * w + size_t(x)]; };
  // Smoothing: an isolated level-7 byte stays below the threshold (6 x 4 x 7 = 168); a
  // patch of level 7 in three rows of nine columns crosses it in its middle.
  at(1, 5) = 7;
  for (int32_t r = 3; r <= 5; ++r)
    for (int32_t x = 20; x < 29; ++x) at(r, x) = 7;
  motion::smooth(mask.data(), rows, w);
  EXPECT_EQ(at(1, 5), 0);
  EXPECT_EQ(at(4, 24), motion::kMoving);
  EXPECT_EQ(at(4, 5), 0);
  EXPECT_EQ(at(0, 24), 0);

  // Runs: a lone moving byte gets no bit 2; a run of three with motion below gets it.
  std::fill(mask.begin(), mask.end(), 0);
  at(3, 4) = motion::kMoving;
  for (int32_t x = 10; x < 13; ++x) at(4, x) = motion::kMoving;
  at(5, 11) = motion::kMoving;
  motion::runs(mask.data(), rows, w);
  EXPECT_EQ(at(3, 4) & motion::kInterpolate, 0);
  for (int32_t x = 10; x < 13; ++x) EXPECT_EQ(at(4, x) & motion::kInterpolate, motion::kInterpolate) << x;
  EXPECT_EQ(at(4, 13) & motion::kInterpolate, 0);
  EXPECT_EQ(at(5, 11) & motion::kInterpolate, 0);  // alone in its row
  // Rows 0 and 1 are never examined.
  std::fill(mask.begin(), mask.end(), motion::kMoving);
  motion::runs(mask.data(), rows, w);
  for (int32_t x = 0; x < w; ++x) EXPECT_EQ((at(0, x) | at(1, x)) & motion::kInterpolate, 0);
  EXPECT_EQ(at(3, 10) & motion::kInterpolate, motion::kInterpolate);
}

}  // namespace
