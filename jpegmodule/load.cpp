// The decode worker: a JPEG file or memory block into a new packed bitmap, one scanline
// at a time straight into the bitmap's rows.
#include <algorithm>
#include <cstring>

#include "jpegmodule/codec.h"
#include "jpegmodule/scaled_load.h"
#include "toolkit/dib/dib.h"

namespace qmjpeg {

namespace {

struct LoadJob {
  Decoder* decoder;
  FILE* file;
  const uint8_t* block;
  size_t blockLength;
  intptr_t progressContext;
  uint64_t maxBytes;
  unsigned scaleDenominator = 1;
  const std::atomic<bool>* stop = nullptr;
  bool refused = false;
  bool noMemory = false;
  bool complete = false;  // every row is in the bitmap
  QmHandle dib = 0;
};

void releaseSource(LoadJob& job) {
  if (job.file) std::fclose(job.file);
  job.file = nullptr;
}

// YCCK files decode to inverted CMYK; each colour is what its ink and black leave.
void cmykRowToBgr(const JSAMPLE* in, uint8_t* out, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
    int k = in[3];
    out[0] = static_cast<uint8_t>(std::max(0, in[2] + k - 255));
    out[1] = static_cast<uint8_t>(std::max(0, in[1] + k - 255));
    out[2] = static_cast<uint8_t>(std::max(0, in[0] + k - 255));
  }
}

uint32_t dibBits(const jpeg_decompress_struct& c) { return std::min(c.num_components, 3) * 8; }
uint64_t dibHeaderBytes(uint32_t bits) { return 40 + (bits == 8 ? 1024 : 0); }
uint64_t dibBytes(const jpeg_decompress_struct& c) {
  uint32_t bits = dibBits(c);
  return dibHeaderBytes(bits) + dibRowBytes(bits, c.output_width) * c.output_height;
}

// Allocates the bitmap with its header and palette; returns the start of its rows, or null.
// The rows are left uncleared: the decode writes every byte of them, padding included.
uint8_t* createDib(LoadJob& job, const jpeg_decompress_struct& c) {
  uint32_t bits = dibBits(c);
  uint64_t rowBytes = dibRowBytes(bits, c.output_width);
  uint64_t headerBytes = dibHeaderBytes(bits);
  job.dib = QmGlobalAllocUncleared(dibBytes(c));
  auto* base = static_cast<uint8_t*>(QmGlobalLock(job.dib));
  if (!base) {
    QmGlobalFree(job.dib);
    job.dib = 0;
    return nullptr;
  }
  QmBitmapInfoHeader h{};
  h.biSize = 40;
  h.biWidth = static_cast<int32_t>(c.output_width);
  h.biHeight = static_cast<int32_t>(c.output_height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bits);
  h.biSizeImage = static_cast<uint32_t>(rowBytes * c.output_height);
  if (c.density_unit == 1) {
    h.biXPelsPerMeter = CovertDotI2M(c.X_density);
    h.biYPelsPerMeter = CovertDotI2M(c.Y_density);
  } else if (c.density_unit == 2) {
    h.biXPelsPerMeter = c.X_density * 100;
    h.biYPelsPerMeter = c.Y_density * 100;
  }
  std::memcpy(base, &h, sizeof h);
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) {
      uint8_t* e = base + 40 + 4 * i;
      e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
      e[3] = 0;
    }
  }
  return base + headerBytes;
}

void decodeBody(void* arg) {
  LoadJob& job = *static_cast<LoadJob*>(arg);
  Decoder& d = *job.decoder;
  jpeg_decompress_struct& c = d.cinfo;
  d.create(job.file, job.block, job.blockLength);
  jpeg_read_header(&c, TRUE);
  if (!d.accepted()) {
    job.refused = true;
    return;
  }
  // Grey and colour rows decode straight into the bitmap (colour as blue, green, red);
  // YCCK rows go through one sample row.
  bool ycck = c.jpeg_color_space == JCS_YCCK;
  c.out_color_space = c.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : ycck ? JCS_CMYK : JCS_EXT_BGR;
  c.scale_num = 1;
  c.scale_denom = job.scaleDenominator;
  // A picture too large for a bitmap is refused before the library allocates for it,
  // and the library's own buffers (a progressive file's coefficients) are bounded alike.
  jpeg_calc_output_dimensions(&c);
  if (dibBytes(c) > job.maxBytes) {
    job.noMemory = true;
    return;
  }
  c.mem->max_memory_to_use = static_cast<long>(3 * job.maxBytes + (16u << 20));
  jpeg_start_decompress(&c);
  JSAMPARRAY sample = nullptr;
  if (ycck) {
    sample = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, c.output_width * 4, 1);
  }
  uint8_t* rows = createDib(job, c);
  if (!rows) {
    job.noMemory = true;
    return;
  }
  const size_t rowBytes = dibRowBytes(dibBits(c), c.output_width);
  const size_t dataBytes = static_cast<size_t>(dibBits(c) / 8) * c.output_width;
  // The library hands out as many rows as it has ready (a row group), up to the targets
  // given; progress still counts row by row.
  constexpr JDIMENSION kBatch = 16;
  JSAMPROW targets[kBatch];
  while (c.output_scanline < c.output_height) {
    const JDIMENSION first = c.output_scanline;
    const JDIMENSION wanted = ycck ? 1 : std::min(kBatch, c.output_height - first);
    // The file's first row is the bitmap's last row in memory.
    for (JDIMENSION k = 0; k < wanted; ++k) targets[k] = rows + rowBytes * (c.output_height - 1 - first - k);
    if (ycck) targets[0] = sample[0];
    const JDIMENSION got = jpeg_read_scanlines(&c, targets, wanted);
    for (JDIMENSION k = 0; k < got; ++k) {
      uint8_t* row = rows + rowBytes * (c.output_height - 1 - first - k);
      if (ycck) cmykRowToBgr(sample[0], row, c.output_width);
      std::memset(row + dataBytes, 0, rowBytes - dataBytes);
      // A decode with a stop flag (on a worker thread) reports no progress.
      const bool goOn = job.stop ? !job.stop->load(std::memory_order_relaxed)
                                 : PercentProgress(static_cast<int32_t>(first + k + 2),
                                                   static_cast<int32_t>(c.output_height), 0, 100, job.progressContext);
      if (!goOn) {
        releaseSource(job);
        SetErrorStatus(QM_STATUS_CANCELLED);
        abortWork(reinterpret_cast<j_common_ptr>(&c));
      }
    }
  }
  job.complete = true;
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
}

}  // namespace

QmHandle readDib(const char* path, const uint8_t* block, size_t blockLength, intptr_t progressContext,
                 bool* libraryStopped, uint64_t maxBytes, unsigned scaleDenominator, const std::atomic<bool>* stop) {
  if (libraryStopped) *libraryStopped = false;
  LoadJob job{};
  job.progressContext = progressContext;
  job.stop = stop;
  job.maxBytes = maxBytes;
  job.scaleDenominator = scaleDenominator == 2 || scaleDenominator == 4 || scaleDenominator == 8 ? scaleDenominator : 1;
  if (block) {
    if (blockLength < 1) return 0;
    job.block = block;
    job.blockLength = blockLength;
  } else {
    job.file = path ? std::fopen(path, "rb") : nullptr;
    if (!job.file) return 0;
  }
  Decoder decoder;
  job.decoder = &decoder;
  bool finished = runGuarded(decoder.guard, decodeBody, &job);
  if (!finished) {
    if (libraryStopped) *libraryStopped = true;
    // A picture that was complete before the library stopped is kept.
    if (job.dib && !job.complete) {
      QmGlobalFree(job.dib);
      job.dib = 0;
    }
  } else if (job.noMemory) {
    SetErrorStatus(QM_STATUS_NO_MEMORY);
  }
  if (job.dib) QmGlobalUnlock(job.dib);
  releaseSource(job);
  return job.dib;
}

QmHandle readFileScaled(const std::string& path, const Header& header, unsigned denominator) {
  bool stopped = false;
  // Progress goes to the caller's context 1, which no display answers.
  const QmHandle dib = readDib(path.c_str(), nullptr, 0, 1, &stopped, kMaxDibBytes, denominator);
  return qm6dib::turnUpright(dib, header.orientation);
}

QmHandle readFileScaled(const std::string& path, unsigned denominator) {
  Header header;
  return readFileHeader(path, header) ? readFileScaled(path, header, denominator) : 0;
}

QmHandle readBlockScaled(const uint8_t* data, size_t length, const Header& header, unsigned denominator,
                         const std::atomic<bool>* stop) {
  // A flag that is never set keeps the progress hook out of it.
  static const std::atomic<bool> never{false};
  bool stopped = false;
  const QmHandle dib = readDib(nullptr, data, length, 1, &stopped, kMaxDibBytes, denominator, stop ? stop : &never);
  // A cancelled decode gives nothing, even where its rows happened to be complete.
  if (dib && stop && stop->load()) {
    QmGlobalFree(dib);
    return 0;
  }
  return qm6dib::turnUpright(dib, header.orientation);
}

}  // namespace qmjpeg
