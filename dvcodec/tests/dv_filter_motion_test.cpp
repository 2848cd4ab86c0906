// The motion-adaptive de-interlacer (and the edge-directed interpolation, which shares its
// row kernel) against the reference copy of the form they had before their rows were
// vectorised (dv_filter_reference.cpp): every picture, field, size, pixel layout and
// kernel build must give the same bytes, and so must each step of the mask.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dv_filter.h"
#include "dv_filter_reference.h"
#include "dv_kernels.h"
#include "dv_pixel.h"

namespace {

using namespace zebdv;

struct Picture {
  std::vector<uint8_t> bytes;
  PixelDesc desc;
  // Rows carry `padding` bytes after their pixels, which no filter may touch.
  // The tag's channel offsets, or those given (for tags without a table entry).
  Picture(int32_t w, int32_t h, uint32_t tag, uint32_t pixelSize, uint32_t padding = 0, const uint8_t* offsets = nullptr)
      : bytes(size_t(w * pixelSize + padding) * size_t(h)) {
    desc.buffer = bytes.data();
    pixelDescSetGeometry(uint32_t(bytes.size()), w, h, pixelSize, uint32_t(w) * pixelSize + padding, tag, 0, &desc);
    if (offsets) std::memcpy(desc.offsets, offsets, 4);
  }
  Picture(const Picture& other) : bytes(other.bytes), desc(other.desc) { desc.buffer = bytes.data(); }
  void set(int32_t r, int32_t x, int y, int cr, int cb) {
    uint8_t* p = desc.row(r) + size_t(x) * desc.pixelSize;
    p[desc.offsets[0]] = uint8_t(y);
    p[desc.offsets[1]] = uint8_t(int8_t(cr));
    p[desc.offsets[2]] = uint8_t(int8_t(cb));
  }
};

// Every byte at random (the fourth byte of a pixel and the row padding too).
void fillNoise(Picture& p, std::mt19937& rng) {
  for (uint8_t& b : p.bytes) b = uint8_t(rng());
}

// A smooth picture crossed by bands that stand two to twelve pixels further right in the
// odd rows than in the even ones (motion between the fields): bands of luminance and
// bands of Cb or Cr alone (the chroma branches), a few rows tall or many (runs without
// and with motion below), some reaching the right edge (runs that go on past a row's end).
void fillStripes(Picture& p, std::mt19937& rng) {
  const int32_t w = p.desc.width, h = p.desc.height;
  for (int32_t r = 0; r < h; ++r)
    for (int32_t x = 0; x < w; ++x) p.set(r, x, 40 + (x + 2 * r) % 150, (x / 8) % 20 - 10, (r / 8) % 16 - 8);
  const int bands = 3 + int(rng() % 10);
  for (int b = 0; b < bands; ++b) {
    const int32_t width = 1 + int32_t(rng() % 40), shift = 2 + int32_t(rng() % 11);
    int32_t x0 = int32_t(rng() % uint32_t(w));
    if (rng() % 4 == 0) x0 = w - width + shift - int32_t(rng() % 3);  // to the right edge
    const int32_t r0 = int32_t(rng() % uint32_t(h));
    const int32_t tall = rng() % 3 == 0 ? 2 + int32_t(rng() % 6) : 10 + int32_t(rng() % uint32_t(h));
    const int kind = int(rng() % 4);  // 0, 1 luminance, 2 Cb, 3 Cr
    for (int32_t r = r0; r < h && r < r0 + tall; ++r) {
      const int32_t from = x0 + (r % 2 ? shift : 0);
      for (int32_t x = from < 0 ? 0 : from; x < w && x < from + width; ++x) {
        const uint8_t* px = p.desc.row(r) + size_t(x) * p.desc.pixelSize;
        const int y = px[p.desc.offsets[0]], cr = int8_t(px[p.desc.offsets[1]]), cb = int8_t(px[p.desc.offsets[2]]);
        if (kind < 2) p.set(r, x, 235, cr, cb);
        else if (kind == 2) p.set(r, x, y, cr, 100);
        else p.set(r, x, y, -100, cb);
      }
    }
  }
}

struct Layout {
  const char* name;
  uint32_t tag, pixelSize, padding;
  uint8_t offsets[4];
  Picture make(int32_t w, int32_t h) const { return Picture(w, h, tag, pixelSize, padding, offsets); }
};
const Layout kLayouts[] = {
    {"YCCa", kTagYCCa, 4, 0, {0, 1, 2, 3}},  // the decoder's pictures
    {"aYCC", kTagaYCC, 4, 8, {1, 2, 3, 0}},
    {"YCC", kTagYCC, 3, 5, {0, 1, 2, 255}},
    {"YCC in six bytes", kTagYCC, 6, 0, {4, 0, 2, 255}},
};

// Every kernel build this processor runs, portable first.
std::vector<const Kernels*> kernelBuilds() {
  std::vector<const Kernels*> builds = {&portableKernels()};
  for (const Kernels* k : {avx2Kernels(), avx512Kernels()}) {
    if (k) builds.push_back(k);
  }
  return builds;
}

// Filters a copy with the library and one with the reference; the bytes must agree.
void expectSameAsReference(const Picture& input, int field, const std::string& what, FilterScratch* scratch = nullptr) {
  Picture ours(input), theirs(input);
  ASSERT_EQ(deinterlaceMotion(ours.desc, ours.desc, field, scratch), DVC_OK) << what;
  ASSERT_EQ(dvref::deinterlaceMotion(theirs.desc, theirs.desc, field), DVC_OK) << what;
  if (ours.bytes == theirs.bytes) return;
  size_t i = 0;
  while (ours.bytes[i] == theirs.bytes[i]) ++i;
  ADD_FAILURE() << what << ": byte " << i << " (row " << i / input.desc.stride << ", byte "
                << i % input.desc.stride << ") is " << int(ours.bytes[i]) << ", the reference's " << int(theirs.bytes[i]);
}

TEST(DvMotionDeinterlace, GivesTheReferenceBytes) {
  struct Size {
    int32_t w, h;
  };
  const Size sizes[] = {{720, 480}, {720, 576}, {1, 1},  {1, 2},  {2, 2},  {3, 3},   {2, 9},  {3, 12},
                        {4, 7},     {5, 8},     {9, 9},  {9, 10}, {16, 11}, {17, 6}, {31, 33}, {64, 5},
                        {100, 3},   {77, 64},   {3, 41}, {4, 40}, {5, 37},  {6, 30}, {9, 41}};
  int interpolated = 0, still = 0, compared = 0;  // replaced rows changed and left alone
  for (const Kernels* build : kernelBuilds()) {
    selectKernels(build);
    std::mt19937 rng(7);
    for (const Layout& layout : kLayouts) {
      for (const Size& size : sizes) {
        for (int kind = 0; kind < 2; ++kind) {
          // The full sizes once per layout and kind, the small ones a few times over.
          const int repeats = size.w >= 720 ? 1 : 4;
          for (int k = 0; k < repeats; ++k) {
            Picture p = layout.make(size.w, size.h);
            if (kind == 0) fillNoise(p, rng);
            else fillStripes(p, rng);
            for (int field : {0, 1}) {
              const std::string what = std::string(build->name) + " kernels, " + layout.name + " " +
                                       std::to_string(size.w) + "x" + std::to_string(size.h) +
                                       (kind ? " stripes" : " noise") + " field " + std::to_string(field);
              expectSameAsReference(p, field, what);
              if (kind == 1 && size.w >= 64 && size.h >= 64) {
                // The stripes must have the inner pixels of replaced rows both interpolated
                // and left alone.
                Picture ours(p);
                ASSERT_EQ(deinterlaceMotion(ours.desc, ours.desc, field), DVC_OK);
                for (int32_t r = field == 1 ? 2 : 1; r + 1 < size.h; r += 2) {
                  const size_t from = size_t(r) * p.desc.stride + p.desc.pixelSize;
                  const size_t bytes = size_t(size.w - 2) * p.desc.pixelSize;
                  const bool same = std::memcmp(&ours.bytes[from], &p.bytes[from], bytes) == 0;
                  interpolated += !same;
                  still += same;
                }
              }
              ++compared;
            }
          }
        }
      }
    }
  }
  selectKernels(nullptr);
  EXPECT_GT(interpolated, 0);
  EXPECT_GT(still, 0);
  EXPECT_GT(compared, 200);
}

// The edge-directed interpolation (filter 4) shares the de-interlacer's row kernel.
TEST(DvEdgeInterpolation, GivesTheReferenceBytes) {
  for (const Kernels* build : kernelBuilds()) {
    selectKernels(build);
    std::mt19937 rng(17);
    for (const Layout& layout : kLayouts) {
      for (const auto& [w, h] : {std::pair{720, 480}, {720, 576}, {1, 3}, {2, 3}, {3, 3}, {17, 4}, {18, 5}, {33, 9}}) {
        for (int kind = 0; kind < 2; ++kind) {
          Picture p = layout.make(w, h);
          if (kind == 0) fillNoise(p, rng);
          else fillStripes(p, rng);
          for (int field : {0, 1}) {
            Picture ours(p), theirs(p);
            ASSERT_EQ(edgeInterpolate(ours.desc, field), DVC_OK);
            ASSERT_EQ(dvref::edgeInterpolate(theirs.desc, field), DVC_OK);
            EXPECT_EQ(ours.bytes, theirs.bytes) << build->name << " kernels, " << layout.name << " " << w << "x" << h
                                                << (kind ? " stripes" : " noise") << " field " << field;
          }
        }
      }
    }
  }
  selectKernels(nullptr);
}

// A source apart from the destination is copied first; a picture that is not YCbCr is
// copied and refused, as before.
TEST(DvMotionDeinterlace, CopiesAndRefusesAsTheReference) {
  std::mt19937 rng(11);
  Picture src(40, 30, kTagYCCa, 4);
  fillStripes(src, rng);
  Picture ours(40, 30, kTagYCCa, 4), theirs(ours);
  ASSERT_EQ(deinterlaceMotion(src.desc, ours.desc, 1), DVC_OK);
  ASSERT_EQ(dvref::deinterlaceMotion(src.desc, theirs.desc, 1), DVC_OK);
  EXPECT_EQ(ours.bytes, theirs.bytes);

  Picture bgr(40, 30, kTagBGRa, 4), bgrOurs(bgr), bgrTheirs(bgr);
  fillNoise(bgr, rng);
  EXPECT_EQ(deinterlaceMotion(bgr.desc, bgrOurs.desc, 0), DVC_ERR_NO_INPUT);
  EXPECT_EQ(dvref::deinterlaceMotion(bgr.desc, bgrTheirs.desc, 0), DVC_ERR_NO_INPUT);
  EXPECT_EQ(bgrOurs.bytes, bgrTheirs.bytes);
}

// Working memory left dirty by a larger picture, or heap memory that held other data,
// changes nothing: with three or four examined rows the runs read the row below the last,
// which receives no sums and must count as no motion.
TEST(DvMotionDeinterlace, DirtyWorkingMemoryChangesNothing) {
  std::mt19937 rng(5);
  FilterScratch scratch;
  ASSERT_NE(scratch.reserve(size_t(1) << 20), nullptr);
  for (int32_t h : {7, 8, 9, 10, 11, 12}) {
    for (int32_t w : {3, 5, 16, 40}) {
      Picture p(w, h, kTagYCCa, 4);
      // Whole moving fields: every examined row moves, so motion below links every run.
      for (int32_t r = 0; r < h; ++r)
        for (int32_t x = 0; x < w; ++x) p.set(r, x, r % 2 ? 230 : 20, 0, 0);
      if (w == 40) fillStripes(p, rng);
      for (int field : {0, 1}) {
        const std::string what = std::to_string(w) + "x" + std::to_string(h) + " field " + std::to_string(field);
        std::memset(scratch.bytes, 0xFF, scratch.size);
        expectSameAsReference(p, field, what + ", decoder's memory", &scratch);
        // The heap's next block of the mask's size full of ones.
        const size_t maskBytes = size_t(w) * size_t(h / 2 + 5);
        void* dirty = std::malloc(maskBytes);
        std::memset(dirty, 0xFF, maskBytes);
        std::free(dirty);
        expectSameAsReference(p, field, what + ", heap");
      }
    }
  }
}

// Each step on its own, from masks no picture gives: the smoothing's horizontal sums of
// any bytes wrap at eight bits; the runs over any pattern of moving bytes, in rows as
// narrow as three bytes (where a run goes on through many rows).
TEST(DvMotionDeinterlace, MaskStepsGiveTheReferenceBytes) {
  std::mt19937 rng(9);
  for (int32_t width : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 23, 64, 200, 720}) {
    for (int32_t rows : {1, 2, 3, 4, 5, 6, 9, 40}) {
      const std::string what = std::to_string(width) + " wide, " + std::to_string(rows) + " rows";
      std::vector<uint8_t> mask(size_t(width) * size_t(rows + 5));
      for (uint8_t& b : mask) b = uint8_t(rng() % 3 == 0 ? rng() : rng() % 8);
      std::vector<uint8_t> ours = mask, theirs = mask;
      motion::smooth(ours.data(), rows, width);
      dvref::motion::smooth(theirs.data(), rows, width);
      EXPECT_EQ(ours, theirs) << "smooth, " << what;

      for (int density : {10, 50, 90, 100}) {
        for (uint8_t& b : mask) {
          b = uint8_t(int(rng() % 100) < density ? (rng() % 4 ? motion::kMoving : rng() | 0x80) : rng() & 0x7F);
        }
        ours = theirs = mask;
        motion::runs(ours.data(), rows, width);
        dvref::motion::runs(theirs.data(), rows, width);
        EXPECT_EQ(ours, theirs) << "runs, " << what << ", " << density << "% moving";
      }
    }
  }
}

TEST(DvMotionDeinterlace, MeasureGivesTheReferenceLevels) {
  for (const Kernels* build : kernelBuilds()) {
    selectKernels(build);
    std::mt19937 rng(13);
    for (const Layout& layout : kLayouts) {
      for (int32_t w : {3, 4, 17, 18, 33, 258, 275, 720}) {
        Picture p = layout.make(w, 20);
        if (w % 2) fillNoise(p, rng);
        else fillStripes(p, rng);
        for (int field : {0, 1}) {
          const int32_t first = field == 1 ? 2 : 1, rows = 9;
          std::vector<uint8_t> ours(size_t(w) * rows), theirs(ours.size());
          std::vector<int16_t> taps(9 * size_t(w));
          motion::measure(p.desc, first, ours.data(), rows, w, taps.data());
          dvref::motion::measure(p.desc, first, theirs.data(), rows, w);
          EXPECT_EQ(ours, theirs) << build->name << " kernels, " << layout.name << " " << w << " wide, field "
                                  << field;
        }
      }
    }
  }
  selectKernels(nullptr);
}

}  // namespace
