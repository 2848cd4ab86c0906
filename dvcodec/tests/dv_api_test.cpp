// The library's exported interface, through the shared library as callers use it:
// the export table, the accepted sizes and result codes, the input forms and what a
// decode writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dv_test_support.h"
#include "platform/testsupport/testsupport.h"
#include "zeb_dv32.h"

namespace {

using dvtest::decodeInto;
using dvtest::randomFrame;
using dvtest::strideOf;

const std::string kLibrary = std::string(AD_BIN_DIR) + "/libzeb_dv32.so";

TEST(DvExports, LibraryExportsExactlyTheOrdinalTableUnderItsVersion) {
  AD_REQUIRE_TOOL("nm");
  std::string out;
  ASSERT_EQ(adtest::runProgram({"nm", "-D", "--defined-only", kLibrary}, &out), 0);
  // Each export carries the version node of the library's first interface.
  std::set<std::string> exported;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (type != "T" && type != "W" && type != "D" && type != "B") continue;
    const size_t at = name.find("@@");
    EXPECT_EQ(at == std::string::npos ? "" : name.substr(at + 2), "ZEB_DV32_1") << name;
    exported.insert(name.substr(0, at));
  }
  std::set<std::string> table;
  for (const auto& e : zebdv::kExports) table.insert(e.name);
  EXPECT_EQ(exported, table);

  // Ordinals 1-13 follow the names' alphabetical order, and albumdesk's four bindings hold.
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(zebdv::kExports[i].ordinal, int(i) + 1);
    if (i) {
      EXPECT_LT(std::string(zebdv::kExports[i - 1].name), std::string(zebdv::kExports[i].name));
    }
  }
  const std::pair<int, const char*> bound[] = {
      {11, "DvcOpenDecoder"}, {7, "DvcGetDibInfo"}, {4, "DvcDecode"}, {2, "DvcCloseDecoder"}};
  for (const auto& [ordinal, name] : bound) EXPECT_STREQ(zebdv::kExports[ordinal - 1].name, name);
}

TEST(DvExports, LibraryNeedsOnlyTheRuntime) {
  AD_REQUIRE_TOOL("objdump");
  std::string out;
  ASSERT_EQ(adtest::runProgram({"objdump", "-p", kLibrary}, &out), 0);
  std::istringstream lines(out);
  int needed = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    if (key != "NEEDED") continue;
    ++needed;
    const bool runtime = value.rfind("libc.so", 0) == 0 || value.rfind("libm.so", 0) == 0 ||
                         value.rfind("libstdc++.so", 0) == 0 || value.rfind("libgcc_s.so", 0) == 0 ||
                         value.rfind("ld-linux", 0) == 0 || value.rfind("libasan.so", 0) == 0 ||
                         value.rfind("libubsan.so", 0) == 0;
    EXPECT_TRUE(runtime) << value;
  }
  EXPECT_GT(needed, 0);
}

TEST(DvExports, DibInfoIsTheBitmapSizeOfAtLeast720Columns) {
  struct Case {
    uint32_t width, height, bytes;
  } cases[] = {
      {720, 480, 1036800}, {720, 576, 1244160}, {320, 240, 518400}, {100, 10, 21600}, {721, 1, 2164},
      {0, 0, 0},           {0xFFFFFFFFu, 2, 0},  // no 32-bit size for this
  };
  for (const Case& c : cases) EXPECT_EQ(DvcGetDibInfo(c.width, c.height), c.bytes) << c.width << "x" << c.height;
}

TEST(DvExports, NullHandlesAreHarmless) {
  EXPECT_EQ(DvcNewRingBuffer(0, 4, 1000), nullptr);
  uint32_t slot = 7;
  EXPECT_EQ(DvcGetNextRingBuffer(nullptr, &slot), nullptr);
  EXPECT_EQ(slot, 0u);
  EXPECT_EQ(DvcUpdateRingBuffer(nullptr, 8), 0);
  DvcFreeRingBuffer(nullptr);
  EXPECT_EQ(DvcAddRingBuffer(nullptr, nullptr), 0);
  DvRingBuffer* ring = DvcNewRingBuffer(488, 4, 1000);
  ASSERT_NE(ring, nullptr);
  EXPECT_EQ(DvcAddRingBuffer(nullptr, ring), 0);
  DvcFreeRingBuffer(ring);
  DvcDibFormat f = {720, 480, 1, 24, 1, 1, 0, 2160, 0, 0, 0};
  EXPECT_EQ(DvcEncode(nullptr, nullptr, nullptr, &f), DVC_ERR_BAD_ARGUMENT);
  f.width = 640;
  EXPECT_EQ(DvcEncode(nullptr, nullptr, nullptr, &f), DVC_ERR_UNSUPPORTED);
  EXPECT_EQ(DvcCloseEncoder(nullptr), 0);
  EXPECT_EQ(DvcGetLastErrorEncoder(), 1);
  EXPECT_EQ(DvcCloseDecoder(nullptr), 0);
}

// ---- Accepted sizes ----------------------------------------------------------------------

TEST(DvDecodeSizes, ListedHeightsAcceptTheirWidthsAndRewriteResampling) {
  struct Row {
    uint32_t height, square, native, wide;
    bool full;  // full size: only the 4:3 width turns resampling 0 into 2
  } rows[] = {
      {480, 640, 720, 852, true},  {576, 768, 720, 1024, true}, {240, 320, 360, 426, false},
      {288, 384, 360, 512, false}, {120, 160, 180, 213, false}, {144, 192, 180, 256, false},
      {60, 80, 90, 106, false},    {72, 96, 90, 128, false},
  };
  std::string frame = randomFrame(525, 1);
  DvDecoder* d = DvcOpenDecoder(0);
  for (const Row& row : rows) {
    for (uint32_t resample : {0u, 1u, 2u}) {
      struct Width {
        uint32_t width;
        bool accepted;
        uint32_t resampleAfter;
      } widths[] = {
          {row.square, true, row.full ? (resample == 0 ? 2u : resample) : (resample ? 1u : 0u)},
          {row.native, true, 0u},
          {row.wide, true, row.full ? resample : (resample ? 1u : 0u)},
          {row.native + 20, false, row.full ? resample : (resample ? 1u : 0u)},
      };
      for (const Width& w : widths) {
        std::vector<uint8_t> out(strideOf(int(std::max(w.width, 1024u))) * row.height, 0x5A);
        DvcDibFormat f = {w.width, row.height, 1, 0, 1, 1, 0, 0, 0, resample, DVC_FORM_FRAME};
        uint32_t size = 77;
        const int r = DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(),
                                &size, &f);
        SCOPED_TRACE(std::to_string(w.width) + "x" + std::to_string(row.height) + " resample " +
                     std::to_string(resample));
        EXPECT_EQ(f.bitCount, 24u);
        EXPECT_EQ(f.stride, strideOf(int(w.width)));
        EXPECT_EQ(f.resample, w.resampleAfter);
        if (!w.accepted) {
          EXPECT_EQ(r, DVC_ERR_BAD_ARGUMENT);
          EXPECT_EQ(size, 77u);  // not written
          EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
        } else {
          EXPECT_EQ(r, 0);
          EXPECT_EQ(size, f.stride * row.height);
        }
      }
    }
  }
  DvcCloseDecoder(d);
}

TEST(DvDecodeSizes, UnlistedHeightGetsTheTopLeftOfTheFullPicture) {
  std::string frame = randomFrame(525, 2);
  std::vector<uint8_t> full, part;
  ASSERT_EQ(decodeInto(525, frame, 720, 480, 0, DVC_FORM_FRAME, &full), 0);
  ASSERT_EQ(decodeInto(525, frame, 123, 100, 0, DVC_FORM_FRAME, &part), 0);
  // Both bitmaps are bottom-up: row j of the small one is picture line 99 - j.
  const size_t fullStride = strideOf(720), partStride = strideOf(123);
  for (int j = 0; j < 100; ++j) {
    ASSERT_EQ(0, std::memcmp(&part[partStride * j], &full[fullStride * (380 + j)], 123 * 3)) << "row " << j;
  }
}

TEST(DvDecodeSizes, DestinationRowsThatDoNotFitFailWithoutWriting) {
  std::string frame = randomFrame(525, 3);
  std::vector<uint8_t> out(strideOf(720) * 479, 0x5A);
  DvDecoder* d = DvcOpenDecoder(0);
  DvcDibFormat f = {720, 479, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
  uint32_t size = 77;
  EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(), &size, &f),
            DVC_ERR_DEST_TOO_SMALL);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
  DvcCloseDecoder(d);
}

TEST(DvDecodeSizes, WideDestinationWithoutResamplingHoldsThePictureOnTheLeft) {
  std::string frame = randomFrame(525, 4);
  std::vector<uint8_t> native, wide;
  ASSERT_EQ(decodeInto(525, frame, 720, 480, 0, DVC_FORM_FRAME, &native), 0);
  ASSERT_EQ(decodeInto(525, frame, 852, 480, 0, DVC_FORM_FRAME, &wide, 0x5A), 0);
  const size_t ws = strideOf(852), ns = strideOf(720);
  for (int j = 0; j < 480; ++j) {
    ASSERT_EQ(0, std::memcmp(&wide[ws * j], &native[ns * j], 720 * 3)) << "row " << j;
    ASSERT_TRUE(std::all_of(wide.begin() + long(ws * j + 720 * 3), wide.begin() + long(ws * (j + 1)),
                            [](uint8_t b) { return b == 0x5A; }));
  }
}

TEST(DvDecodeSizes, UnknownResamplingCopiesAtTheInternalWidth) {
  // 640 wide with resampling mode 3: the picture is not resampled but cut to 640 columns.
  std::string frame = randomFrame(525, 5);
  std::vector<uint8_t> native, cut;
  ASSERT_EQ(decodeInto(525, frame, 720, 480, 0, DVC_FORM_FRAME, &native), 0);
  ASSERT_EQ(decodeInto(525, frame, 640, 480, 3, DVC_FORM_FRAME, &cut), 0);
  for (int j = 0; j < 480; ++j) {
    ASSERT_EQ(0, std::memcmp(&cut[strideOf(640) * j], &native[strideOf(720) * j], 640 * 3)) << "row " << j;
  }
}

TEST(DvDecodeSizes, HeightOfTheOtherSystemWritesOnlyTheDecodedLines) {
  // A 525 decoder asked for 576 lines fills the bottom 480 rows of the bitmap.
  std::string frame = randomFrame(525, 6);
  std::vector<uint8_t> native, tall;
  ASSERT_EQ(decodeInto(525, frame, 720, 480, 0, DVC_FORM_FRAME, &native), 0);
  ASSERT_EQ(decodeInto(525, frame, 720, 576, 0, DVC_FORM_FRAME, &tall, 0x5A), 0);
  EXPECT_EQ(0, std::memcmp(tall.data(), native.data(), native.size()));
  EXPECT_TRUE(std::all_of(tall.begin() + long(native.size()), tall.end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST(DvDecodeSizes, OneDecoderWalkedThroughTheLevelsDecodesLikeAFreshOne) {
  // Every move between two size levels, up and down (each level's three widths in turn,
  // the resampling modes in rotation): the decoder that moves gives the bitmap a new
  // decoder gives for the same request.
  static constexpr int kWalk[] = {0, 1, 0, 2, 0, 3, 1, 2, 1, 3, 2, 3, 0};
  for (int system : {525, 625}) {
    const uint32_t widths[3] = {system == 525 ? 640u : 768u, 720u, system == 525 ? 852u : 1024u};
    const uint32_t lines = uint32_t(dvtest::linesOf(system));
    std::string frame = randomFrame(system, 13);
    DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
    uint32_t step = 0;
    for (int level : kWalk) {
      for (uint32_t w : widths) {
        const uint32_t width = w >> level, height = lines >> level, resample = step++ % 3;
        SCOPED_TRACE(std::to_string(system) + ": " + std::to_string(width) + "x" + std::to_string(height) +
                     " resampling " + std::to_string(resample));
        std::vector<uint8_t> fresh, walked(strideOf(int(width)) * height, 0x5A);
        ASSERT_EQ(decodeInto(system, frame, width, height, resample, DVC_FORM_FRAME, &fresh, 0x5A), 0);
        DvcDibFormat f = {width, height, 1, 24, 1, 1, 0, 0, 0, resample, DVC_FORM_FRAME};
        ASSERT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), walked.data(),
                            nullptr, &f),
                  0);
        ASSERT_EQ(walked, fresh);
      }
    }
    DvcCloseDecoder(d);
  }
}

TEST(DvDecodeSizes, DecodersOnSeveralThreadsGiveWhatOneThreadGives) {
  // A caller may decode and encode on several threads at once, a decoder and an encoder
  // each; the library's shared tables and kernels must serve them all alike.
  struct Request {
    int system;
    uint32_t width, height, filter, resample;
  };
  std::vector<Request> requests;
  for (int system : {525, 625}) {
    const uint32_t lines = uint32_t(dvtest::linesOf(system));
    for (uint32_t filter = 0; filter <= 4; ++filter) requests.push_back({system, 720, lines, filter, 0});
    requests.push_back({system, system == 525 ? 640u : 768u, lines, 0, 2});
    for (int level = 1; level < 4; ++level) requests.push_back({system, 720u >> level, lines >> level, 0, 0});
  }
  const std::string frames[2] = {randomFrame(525, 21), randomFrame(625, 22)};
  auto decode = [&](DvDecoder* d, const Request& r, std::vector<uint8_t>* out) {
    out->assign(strideOf(int(r.width)) * r.height, 0);
    std::string frame = frames[r.system == 625];
    DvcDibFormat f = {r.width, r.height, 1, 24, 1, 1, 0, 0, r.filter, r.resample, DVC_FORM_FRAME};
    return DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out->data(), nullptr, &f);
  };
  auto encode = [](DvEncoder* e, const std::vector<uint8_t>& picture, std::vector<uint8_t>* out) {
    out->assign(32 + 11920 * 12, 0);
    DvcDibFormat f = {720, uint32_t(picture.size() / 2160), 1, 24, 1, 1, 0, 2160, 0, 0, DVC_FORM_FRAME};
    return DvcEncode(e, out->data(), picture.data(), &f);
  };
  // What one thread gives, request by request, and the encoding of each full-size picture.
  std::vector<std::vector<uint8_t>> expected(requests.size()), encoded(requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    DvDecoder* d = DvcOpenDecoder(requests[i].system == 625 ? 1 : 0);
    ASSERT_EQ(decode(d, requests[i], &expected[i]), 0);
    DvcCloseDecoder(d);
    if (requests[i].width != 720 || requests[i].filter != 0) continue;
    DvEncoder* e = DvcOpenEncoder(requests[i].system == 625 ? 1 : 0);
    ASSERT_EQ(encode(e, expected[i], &encoded[i]), 0);
    DvcCloseEncoder(e);
  }
  constexpr int kThreads = 6, kRounds = 3;
  std::vector<std::string> faults(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int system = t % 2 ? 625 : 525;
      DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
      DvEncoder* e = DvcOpenEncoder(system == 625 ? 1 : 0);
      std::vector<uint8_t> out, dv;
      for (int round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < requests.size(); ++k) {
          const size_t i = (k + size_t(t) * 3) % requests.size();  // each thread in its own order
          if (requests[i].system != system) continue;
          if (decode(d, requests[i], &out) != 0 || out != expected[i]) {
            faults[t] += " decode " + std::to_string(i);
          } else if (!encoded[i].empty() && (encode(e, out, &dv) != 0 || dv != encoded[i])) {
            faults[t] += " encode " + std::to_string(i);
          }
        }
      }
      DvcCloseEncoder(e);
      DvcCloseDecoder(d);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[t], "") << "thread " << t;
}

// ---- Input ---------------------------------------------------------------------------------

TEST(DvDecodeInput, ResultCodesOfMissingOrUnknownInput) {
  std::string frame = randomFrame(525, 7);
  std::vector<uint8_t> out(strideOf(720) * 480, 0x5A);
  DvDecoder* d = DvcOpenDecoder(0);
  auto run = [&](uint8_t* src, uint32_t length, uint32_t form, uint32_t* size) {
    DvcDibFormat f = {720, 480, 1, 24, 1, 1, 0, 0, 0, 0, form};
    return DvcDecode(d, src, length, out.data(), size, &f);
  };
  uint8_t* src = reinterpret_cast<uint8_t*>(frame.data());
  uint32_t size = 77;
  EXPECT_EQ(run(nullptr, 120000, DVC_FORM_FRAME, &size), DVC_ERR_NO_INPUT);
  EXPECT_EQ(run(src, 120000, 3, &size), DVC_ERR_NO_INPUT);
  EXPECT_EQ(run(src, 120000, DVC_FORM_PACKETS, &size), DVC_ERR_NO_INPUT);  // no packets in these bytes
  // Nothing is read beyond the given length.
  EXPECT_EQ(run(src, 119999, DVC_FORM_FRAME, &size), DVC_ERR_NO_INPUT);
  EXPECT_EQ(run(src, 32 + 10 * 11920 - 1, DVC_FORM_DVF, &size), DVC_ERR_NO_INPUT);
  EXPECT_EQ(size, 77u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
  EXPECT_EQ(run(src, 32 + 10 * 11920, DVC_FORM_DVF, &size), 0);
  EXPECT_EQ(run(src, 120000, DVC_FORM_FRAME, &size), 0);
  DvcCloseDecoder(d);

  // A 625 decoder needs the longer frame.
  std::string pal = randomFrame(625, 7);
  std::vector<uint8_t> palOut;
  std::string shortPal = pal.substr(0, 143999);
  EXPECT_EQ(decodeInto(625, shortPal, 720, 576, 0, DVC_FORM_FRAME, &palOut), DVC_ERR_NO_INPUT);
  EXPECT_EQ(decodeInto(625, pal, 720, 576, 0, DVC_FORM_FRAME, &palOut), 0);
}

TEST(DvDecodeInput, SizesWithoutABitmapFailWithoutWriting) {
  std::string frame = randomFrame(525, 12);
  std::vector<uint8_t> out(64, 0x5A);
  DvDecoder* d = DvcOpenDecoder(0);
  const uint32_t sizes[][2] = {{0, 480}, {720, 0}, {0x7FFFFFFFu, 2}, {1000000, 5000}};
  for (const auto& size : sizes) {
    DvcDibFormat f = {size[0], size[1], 1, 0, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
    uint32_t written = 77;
    EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), 120000, out.data(), &written, &f),
              DVC_ERR_BAD_ARGUMENT)
        << size[0] << "x" << size[1];
    EXPECT_EQ(written, 77u);
    EXPECT_EQ(f.bitCount, 0u);
  }
  DvcCloseDecoder(d);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST(DvDecodeInput, NullDestinationWritesNothingAtEverySize) {
  // Every accepted size and resampling, and sizes of no listed height: the frame is
  // decoded, nothing is written, -1 comes back (or -102 where the picture's rows do not
  // fit the bitmap's) and the size written is 0.
  std::string frame = randomFrame(525, 9);
  DvDecoder* d = DvcOpenDecoder(0);
  const struct {
    uint32_t width, height;
    DvcResult result;
  } cases[] = {{720, 480, DVC_ERR_NO_INPUT}, {640, 480, DVC_ERR_NO_INPUT}, {852, 480, DVC_ERR_NO_INPUT},
               {360, 240, DVC_ERR_NO_INPUT}, {320, 240, DVC_ERR_NO_INPUT}, {426, 240, DVC_ERR_NO_INPUT},
               {180, 120, DVC_ERR_NO_INPUT}, {160, 120, DVC_ERR_NO_INPUT}, {90, 60, DVC_ERR_NO_INPUT},
               {106, 60, DVC_ERR_NO_INPUT},  {768, 576, DVC_ERR_NO_INPUT}, {123, 100, DVC_ERR_NO_INPUT},
               {720, 100, DVC_ERR_DEST_TOO_SMALL}};
  for (const auto& c : cases) {
    for (uint32_t resample : {0u, 1u, 2u, 3u}) {
      DvcDibFormat f = {c.width, c.height, 1, 0, 1, 1, 0, 0, 0, resample, DVC_FORM_FRAME};
      uint32_t written = 77;
      EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), 120000, nullptr, &written, &f), c.result)
          << c.width << "x" << c.height << " resampling " << resample;
      EXPECT_EQ(written, 0u);
      EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), 120000, nullptr, nullptr, &f), c.result);
    }
  }
  DvcCloseDecoder(d);
}

TEST(DvDecodeInput, MissingDecoderOrFormatWritesNothing) {
  std::string frame = randomFrame(525, 8);
  std::vector<uint8_t> out(strideOf(720) * 480, 0x5A);
  DvcDibFormat f = {720, 480, 1, 0, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
  const DvcDibFormat before = f;
  uint32_t size = 77;
  EXPECT_EQ(DvcDecode(nullptr, reinterpret_cast<uint8_t*>(frame.data()), 120000, out.data(), &size, &f),
            DVC_ERR_BAD_ARGUMENT);
  EXPECT_EQ(0, std::memcmp(&f, &before, sizeof f));
  DvDecoder* d = DvcOpenDecoder(0);
  EXPECT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), 120000, out.data(), &size, nullptr),
            DVC_ERR_BAD_ARGUMENT);
  DvcCloseDecoder(d);
  EXPECT_EQ(size, 77u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST(DvDecodeInput, SourceIsNeverChangedAndDecodesAlike) {
  for (int system : {525, 625}) {
    std::string frame = randomFrame(system, 9);
    const std::string original = frame;
    std::vector<uint8_t> first, second;
    DvDecoder* d = DvcOpenDecoder(system == 625 ? 1 : 0);
    const uint32_t h = uint32_t(dvtest::linesOf(system));
    for (auto* out : {&first, &second}) {
      out->assign(strideOf(720) * h, 0);
      DvcDibFormat f = {720, h, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
      ASSERT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out->data(), nullptr,
                          &f),
                0);
    }
    DvcCloseDecoder(d);
    EXPECT_EQ(frame, original);
    EXPECT_EQ(first, second);
  }
}

TEST(DvDecodeInput, DvfImageDecodesLikeThePlainFrameWhateverItsHead) {
  for (int system : {525, 625}) {
    std::string frame = randomFrame(system, 10);
    std::string dvf = dvtest::toDvf(system, frame);
    std::string blankHead = dvf;
    std::fill(blankHead.begin(), blankHead.begin() + 32, '\0');
    const uint32_t h = uint32_t(dvtest::linesOf(system));
    std::vector<uint8_t> a, b, c;
    ASSERT_EQ(decodeInto(system, frame, 720, h, 0, DVC_FORM_FRAME, &a), 0);
    ASSERT_EQ(decodeInto(system, dvf, 720, h, 0, DVC_FORM_DVF, &b), 0);
    ASSERT_EQ(decodeInto(system, blankHead, 720, h, 0, DVC_FORM_DVF, &c), 0);
    EXPECT_EQ(a, b) << system;
    EXPECT_EQ(a, c) << system;
  }
}

TEST(DvDecodeInput, OnlyBitZeroOfTheOpenFlagsChoosesTheSystem) {
  std::string frame = randomFrame(625, 11);
  std::vector<std::vector<uint8_t>> outs;
  for (uint8_t flags : {uint8_t(1), uint8_t(3), uint8_t(0xFF), uint8_t(0), uint8_t(0xFE)}) {
    DvDecoder* d = DvcOpenDecoder(flags);
    ASSERT_NE(d, nullptr);
    std::vector<uint8_t> out(strideOf(720) * 576, 0x5A);
    DvcDibFormat f = {720, 576, 1, 24, 1, 1, 0, 0, 0, 0, DVC_FORM_FRAME};
    ASSERT_EQ(DvcDecode(d, reinterpret_cast<uint8_t*>(frame.data()), uint32_t(frame.size()), out.data(), nullptr, &f),
              0);
    DvcCloseDecoder(d);
    outs.push_back(out);
  }
  EXPECT_EQ(outs[0], outs[1]);
  EXPECT_EQ(outs[0], outs[2]);
  EXPECT_EQ(outs[3], outs[4]);
  EXPECT_NE(outs[0], outs[3]);
  // A 525 decoder writes 480 of the 576 rows.
  EXPECT_TRUE(std::all_of(outs[3].begin() + long(strideOf(720) * 480), outs[3].end(),
                          [](uint8_t b) { return b == 0x5A; }));
}

}  // namespace
