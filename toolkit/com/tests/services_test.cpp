#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testsupport/testsupport.h"
#include "toolkit/com/qm6com.h"

namespace {

// A packed bitmap with the given header fields and palette (4 bytes an entry).
QmHandle makeDib(uint16_t bits, int32_t w, int32_t h, const std::vector<uint32_t>& palette,
                 size_t extra = 0) {
  size_t size = 40 + palette.size() * 4 + extra;
  QmHandle dib = QmGlobalAlloc(size);
  auto* p = static_cast<uint8_t*>(QmGlobalLock(dib));
  QmBitmapInfoHeader hd{};
  hd.biSize = 40;
  hd.biWidth = w;
  hd.biHeight = h;
  hd.biPlanes = 1;
  hd.biBitCount = bits;
  hd.biClrUsed = static_cast<uint32_t>(palette.size());
  std::memcpy(p, &hd, 40);
  if (!palette.empty()) std::memcpy(p + 40, palette.data(), palette.size() * 4);
  QmGlobalUnlock(dib);
  return dib;
}

std::vector<uint32_t> ramp(int n, bool inverted = false) {
  std::vector<uint32_t> pal;
  for (int i = 0; i < n; ++i) {
    uint32_t v = static_cast<uint32_t>(inverted ? 255 - i : i);
    pal.push_back(v | v << 8 | v << 16);
  }
  return pal;
}

}  // namespace

TEST(ToolkitServices, ImageKind) {
  std::vector<uint32_t> colour = ramp(256);
  colour[7] = 0x000001;
  struct Case {
    const char* name;
    QmHandle dib;
    uint16_t bits;
    uint32_t grey;
  } cases[] = {
      {"24-bit", makeDib(24, 3, 2, {}, 24), 24, 0},
      {"8-bit grey ramp", makeDib(8, 3, 2, ramp(256), 8), 8, 1},
      {"8-bit inverted grey", makeDib(8, 3, 2, ramp(256, true), 8), 8, 1},
      {"8-bit 16 grey entries", makeDib(8, 3, 2, ramp(16), 8), 8, 1},
      {"8-bit colour palette", makeDib(8, 3, 2, colour, 8), 8, 0},
      {"4-bit grey", makeDib(4, 3, 2, ramp(16), 8), 4, 0},
      {"block shorter than a header", QmGlobalAlloc(20), 0, 0},
      {"no block", 0, 0, 0},
  };
  for (const Case& c : cases) {
    ImageKindRecord kind;
    std::memset(&kind, 0xEE, sizeof kind);
    EXPECT_EQ(GetImageKind(&kind, c.dib), &kind);
    EXPECT_EQ(kind.bitCount, c.bits) << c.name;
    EXPECT_EQ(kind.grey, c.grey) << c.name;
    if (c.bits) {
      EXPECT_EQ(kind.width, 3) << c.name;
      EXPECT_EQ(kind.height, 2) << c.name;
    }
    QmGlobalFree(c.dib);
  }
  QmHandle dib = makeDib(24, 3, 2, {}, 24);
  EXPECT_EQ(GetImageKind(nullptr, dib), nullptr) << "no record to fill";
  QmGlobalFree(dib);
}

TEST(ToolkitServices, PaletteSize) {
  struct Case {
    uint16_t bits;
    uint32_t used, compression, bytes;
  } cases[] = {
      {8, 0, 0, 1024}, {8, 16, 0, 64}, {8, 300, 0, 1024}, {4, 0, 0, 64}, {1, 0, 0, 8},
      {24, 0, 0, 0},   {24, 2, 0, 8},  {32, 0, 3, 12},    {16, 0, 3, 12},
  };
  for (const Case& c : cases) {
    QmBitmapInfoHeader h{};
    h.biSize = 40;
    h.biBitCount = c.bits;
    h.biClrUsed = c.used;
    h.biCompression = c.compression;
    EXPECT_EQ(GetDibPalSize(&h), c.bytes) << c.bits << " bits, " << c.used << " used";
  }
  EXPECT_EQ(GetDibPalSize(nullptr), 0u);
}

TEST(ToolkitServices, ResolutionConversions) {
  struct Case {
    int32_t ppm, dpi;
  } m2i[] = {{0, 0}, {1, 0}, {19, 0}, {20, 1}, {2835, 72}, {3780, 96}, {11811, 300}, {10000, 254}};
  for (auto c : m2i) EXPECT_EQ(CovertDotM2I(c.ppm), c.dpi) << c.ppm;
  struct Case2 {
    int32_t dpi, ppm;
  } i2m[] = {{0, 0}, {1, 39}, {72, 2835}, {96, 3780}, {300, 11811}, {600, 23622}};
  for (auto c : i2m) EXPECT_EQ(CovertDotI2M(c.dpi), c.ppm) << c.dpi;

  QmHandle dib = makeDib(24, 1, 1, {}, 4);
  EXPECT_EQ(QMSetDpi(dib, 72, 300), 1);
  auto* h = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(dib));
  EXPECT_EQ(h->biXPelsPerMeter, 2835);
  EXPECT_EQ(h->biYPelsPerMeter, 11811);
  QmGlobalUnlock(dib);
  QmGlobalFree(dib);
  EXPECT_EQ(QMSetDpi(0, 72, 72), 0);
}

TEST(ToolkitServices, FileHelpers) {
  auto dir = adtest::testDir();
  adtest::writeFile(dir / "five", "12345");
  adtest::writeFile(dir / "empty", "");
  EXPECT_EQ(DataFileNameSize((dir / "five").c_str()), 5);
  EXPECT_EQ(DataFileNameSize((dir / "empty").c_str()), 0);
  EXPECT_EQ(DataFileNameSize((dir / "missing").c_str()), -1);
  EXPECT_EQ(DataFileNameSize(dir.c_str()), -1) << "a folder is not a data file";

  EXPECT_EQ(DataFileDelete((dir / "five").c_str()), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "five"));
  EXPECT_EQ(DataFileDelete((dir / "five").c_str()), 0) << "a missing file is harmless";
  EXPECT_EQ(DataFileNameSize(nullptr), -1);
  EXPECT_EQ(DataFileDelete(nullptr), 0);
}

TEST(ToolkitServices, StatusIsKeptPerThread) {
  SetErrorStatus(QM_STATUS_SAVE_FAILED);
  int32_t seen = -1;
  std::thread([&] {
    seen = GetErrorStatus();
    SetErrorStatus(QM_STATUS_LOAD_FAILED);
  }).join();
  EXPECT_EQ(seen, QM_STATUS_OK);
  EXPECT_EQ(GetErrorStatus(), QM_STATUS_SAVE_FAILED);
}

namespace {
struct Recorder {
  std::vector<std::vector<intptr_t>> calls;
  int cancelAt = -1;
};
}  // namespace

TEST(ToolkitServices, ProgressGoesThroughTheHook) {
  // Without a hook nothing is shown and the work goes on.
  QmSetProgressHook(nullptr);
  EXPECT_EQ(PercentDlgOpen(1, 2, 3), 1);
  EXPECT_EQ(PercentProgress(5, 10, 0, 100, 0), 1);
  PercentDlgClose();

  Recorder rec;
  QmProgressHook hook{};
  hook.user = &rec;
  hook.open = [](void* u, int32_t a, int32_t b, int32_t c) -> QmBool {
    static_cast<Recorder*>(u)->calls.push_back({'o', a, b, c});
    return a != 0;
  };
  hook.close = [](void* u) { static_cast<Recorder*>(u)->calls.push_back({'c'}); };
  hook.progress = [](void* u, int32_t cur, int32_t total, int32_t lo, int32_t hi, intptr_t ctx) -> QmBool {
    auto* r = static_cast<Recorder*>(u);
    r->calls.push_back({'p', cur, total, lo, hi, ctx});
    return cur != r->cancelAt;
  };
  QmSetProgressHook(&hook);
  rec.cancelAt = 3;
  EXPECT_EQ(PercentDlgOpen(7, 8, 9), 1);
  EXPECT_EQ(PercentDlgOpen(0, 8, 9), 0);
  EXPECT_EQ(PercentProgress(2, 4, 0, 100, 42), 1);
  EXPECT_EQ(PercentProgress(3, 4, 0, 100, 42), 0);
  PercentDlgClose();
  std::vector<std::vector<intptr_t>> want = {
      {'o', 7, 8, 9}, {'o', 0, 8, 9}, {'p', 2, 4, 0, 100, 42}, {'p', 3, 4, 0, 100, 42}, {'c'}};
  EXPECT_EQ(rec.calls, want);

  // A hook with only a progress member opens by default.
  QmProgressHook partial{};
  partial.progress = hook.progress;
  partial.user = &rec;
  QmSetProgressHook(&partial);
  EXPECT_EQ(PercentDlgOpen(0, 0, 0), 1);
  QmSetProgressHook(nullptr);
}
