// Pictures decoded from memory on several threads at once, as the import's look-ahead
// decodes them: each thread gets exactly what a lone decoding gets, the handle table
// stays whole while another thread uses it, no progress hook is called from any of them
// (the program's hook belongs to its GUI thread), a picture stored turned comes out
// upright on each, a damaged file fails on every thread alike, and a set stop flag gives
// nothing and leaves nothing behind. Run it under the
// sanitizers (and ThreadSanitizer by hand) to see the races it would otherwise hide.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "jpeg_test_util.h"
#include "jpegmodule/memory_save.h"
#include "jpegmodule/scaled_load.h"

using namespace jt;

namespace {

bool same(const Raster& a, const Raster& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits && a.rows == b.rows;
}

// The header read, then the picture decoded, as the look-ahead reads a file's bytes.
QmHandle readScaled(const std::vector<uint8_t>& f, unsigned d, const std::atomic<bool>* stop = nullptr) {
  qmjpeg::Header header;
  return qmjpeg::readBlockHeader(f.data(), f.size(), header) ? qmjpeg::readBlockScaled(f.data(), f.size(), header, d, stop)
                                                             : 0;
}

}  // namespace

TEST(JpegThreadedLoad, ThreadsDecodeAsALoneDecodingDoes) {
  struct Kind {
    int w, h, channels, progressive, sampling;
  } kinds[] = {{640, 480, 3, 0, 0}, {333, 251, 3, 1, 1}, {101, 77, 1, 0, 0}};
  std::vector<std::vector<uint8_t>> files;
  for (const Kind& k : kinds) {
    QmHandle dib = makeDib(makePicture(k.w, k.h, k.channels, 5));
    files.emplace_back();
    ASSERT_TRUE(qmjpeg::writeDibMemory(dib, k.progressive, 90, k.sampling, nullptr, files.back()));
    QmGlobalFree(dib);
  }
  // A camera picture stored turned: each thread turns its reduced picture upright.
  TiffBuilder exif(false);
  exif.chain({exif.addIfd({exif.shortEntry(274, {6})})});
  const std::string first(files[0].begin(), files[0].end());
  const std::string turned = insertAfterSoi(first, exifSegment(exif.build()));
  files.emplace_back(turned.begin(), turned.end());
  // A file whose first component names a quantisation table it lacks: the header reads,
  // and the library's error exit ends the decoding.
  std::vector<uint8_t> damaged = files[0];
  size_t sof = 2;
  while (sof + 11 < damaged.size() && damaged[sof + 1] != 0xC0) sof += 2 + (damaged[sof + 2] << 8 | damaged[sof + 3]);
  ASSERT_LT(sof + 11, damaged.size());
  damaged[sof + 12] = 3;
  const unsigned scales[] = {1, 2, 4, 8};
  std::vector<Raster> expected;
  for (const auto& f : files) {
    for (unsigned d : scales) {
      QmHandle dib = readScaled(f, d);
      expected.push_back(dibRaster(dib));
      ASSERT_GT(expected.back().width, 0);
      QmGlobalFree(dib);
    }
  }
  EXPECT_EQ(expected.back().width, 60) << "the turned picture, reduced by 8";
  EXPECT_EQ(expected.back().height, 80);
  qmjpeg::Header header;
  ASSERT_TRUE(qmjpeg::readBlockHeader(damaged.data(), damaged.size(), header));
  ASSERT_EQ(qmjpeg::readBlockScaled(damaged.data(), damaged.size(), header, 2), 0u);

  RecordingHook hook;
  const uint32_t blocks = QmGlobalCount();
  std::atomic<int> wrong{0};
  std::atomic<bool> never{false};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int round = 0; round < 6; ++round) {
          for (size_t k = 0; k < files.size(); ++k) {
            const size_t i = (k + static_cast<size_t>(t)) % files.size();  // not all on the same file
            for (size_t s = 0; s < std::size(scales); ++s) {
              QmHandle dib = readScaled(files[i], scales[s], &never);
              if (!same(dibRaster(dib), expected[i * std::size(scales) + s])) ++wrong;
              QmGlobalFree(dib);
            }
            if (QmHandle bad = readScaled(damaged, 2, &never)) {
              ++wrong;
              QmGlobalFree(bad);
            }
          }
        }
      });
    }
    // Meanwhile this thread works the handle table as the GUI thread does.
    for (int i = 0; i < 20000; ++i) {
      QmHandle h = QmGlobalAlloc(64 + static_cast<size_t>(i % 7));
      static_cast<uint8_t*>(QmGlobalLock(h))[0] = 1;
      QmGlobalUnlock(h);
      QmGlobalFree(h);
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(hook.calls.empty()) << hook.calls.size() << " progress calls";
  EXPECT_EQ(hook.opens, 0);
  EXPECT_EQ(QmGlobalCount(), blocks);

  std::atomic<bool> stop{true};
  EXPECT_EQ(readScaled(files[0], 2, &stop), 0u);
  EXPECT_EQ(QmGlobalCount(), blocks) << "a stopped decoding leaves no picture";
}
