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

uint64_t roundedUp(uint64_t n, uint64_t d) { return (n + d - 1) / d; }

// Sampling factors, 1 to 4 as the library checked them.
uint64_t factor(int f) { return static_cast<uint64_t>(f); }

// The 8 x 8 blocks of component `k` across and down (those a scan of it alone codes).
void componentBlocks(const jpeg_decompress_struct& c, const jpeg_component_info& k, uint64_t& across,
                     uint64_t& down) {
  across = roundedUp(c.image_width * factor(k.h_samp_factor), factor(c.max_h_samp_factor) * DCTSIZE);
  down = roundedUp(c.image_height * factor(k.v_samp_factor), factor(c.max_v_samp_factor) * DCTSIZE);
}

// Whether the data after the head can hold the file's first scan, from the fewest bits
// its blocks can take. A Huffman code takes at least one bit, and every block of the
// scan's components takes at least one code: the difference of its DC coefficient in a
// progressive DC scan, that and an end of block in a sequential scan. (The data may end
// early, as a cut file's does, and the library decodes the rest as grey: a file that
// cannot hold even the first scan of its picture is refused before anything is
// allocated for it.) A progressive file that begins with an AC scan is refused too: no
// encoder writes one (a component's DC comes before its AC), and its runs of empty blocks
// let a few bits stand for thousands of blocks.
//
// Arithmetic coding has no such bound, a run of empty blocks costing it a small fraction
// of a bit each: its files are held to the limits on memory only.
bool firstScanFits(const jpeg_decompress_struct& c, uint64_t unreadBytes) {
  if (c.comps_in_scan < 1) return false;
  if (c.arith_code) return true;
  if (c.progressive_mode && c.Ss != 0) return false;
  uint64_t blocks = 0, across = 0, down = 0;
  if (c.comps_in_scan == 1) {
    componentBlocks(c, *c.cur_comp_info[0], across, down);
    blocks = across * down;
  } else {
    // An interleaved scan codes whole MCUs.
    uint64_t perMcu = 0;
    for (int i = 0; i < c.comps_in_scan; ++i) {
      perMcu += factor(c.cur_comp_info[i]->h_samp_factor) * factor(c.cur_comp_info[i]->v_samp_factor);
    }
    blocks = perMcu * roundedUp(c.image_width, factor(c.max_h_samp_factor) * DCTSIZE) *
             roundedUp(c.image_height, factor(c.max_v_samp_factor) * DCTSIZE);
  }
  // (The data ends with an end marker of two bytes.)
  const uint64_t bitsPerBlock = c.progressive_mode ? 1 : 2;
  return unreadBytes >= 2 && blocks * bitsPerBlock <= (unreadBytes - 2) * 8;
}

// What the library keeps of a progressive or multi-scan file's coefficients: every block
// of every component, in whole rows and columns of the component's MCU share.
uint64_t coefficientBytes(const jpeg_decompress_struct& c) {
  if (!jpeg_has_multiple_scans(const_cast<jpeg_decompress_struct*>(&c))) return 0;
  uint64_t bytes = 0, across = 0, down = 0;
  for (int i = 0; i < c.num_components; ++i) {
    const jpeg_component_info& k = c.comp_info[i];
    componentBlocks(c, k, across, down);
    bytes += roundedUp(across, factor(k.h_samp_factor)) * factor(k.h_samp_factor) *
             roundedUp(down, factor(k.v_samp_factor)) * factor(k.v_samp_factor) * sizeof(JBLOCK);
  }
  return bytes;
}

// The library's other buffers for a picture: a few MCU rows of samples of every
// component, generously.
uint64_t rowBufferBytes(const jpeg_decompress_struct& c) {
  return 4 * factor(c.max_v_samp_factor) * DCTSIZE * roundedUp(c.image_width, DCTSIZE) * DCTSIZE *
             static_cast<uint64_t>(c.num_components) +
         (1u << 20);
}

// The library's memory beyond its coefficients is bounded by the picture's width.
constexpr long kWorkingMargin = 64l << 20;

// What a load makes of a header, before it allocates anything: a picture too large for a
// bitmap of at most `maxBytes` bytes, or whose coefficients the library would keep beyond
// its limit, is too large; a file too short for it is cut.
enum class Verdict { Fits, TooLarge, Cut };
Verdict verdictOn(const jpeg_decompress_struct& c, uint64_t unreadBytes, uint64_t maxBytes) {
  if (dibBytes(c) > maxBytes) return Verdict::TooLarge;
  if (!firstScanFits(c, unreadBytes)) return Verdict::Cut;
  return coefficientBytes(c) > kMaxCoefficientBytes ? Verdict::TooLarge : Verdict::Fits;
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

// The scale denominators the load takes: 2, 4 and 8; anything else is the full size.
unsigned reductionOf(unsigned denominator) {
  return denominator == 2 || denominator == 4 || denominator == 8 ? denominator : 1;
}

// Sets the colours and size of the output: grey and colour rows decode straight into the
// bitmap (colour as blue, green, red); YCCK rows go through one sample row. True for YCCK.
bool setOutput(jpeg_decompress_struct& c, unsigned scaleDenominator) {
  const bool ycck = c.jpeg_color_space == JCS_YCCK;
  c.out_color_space = c.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : ycck ? JCS_CMYK : JCS_EXT_BGR;
  c.scale_num = 1;
  c.scale_denom = scaleDenominator;
  jpeg_calc_output_dimensions(&c);
  return ycck;
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
  const bool ycck = setOutput(c, job.scaleDenominator);
  // A picture too large is refused before the library allocates for it, and a file too
  // short for its picture stops as a broken one does. The library is held to the limit
  // on its coefficients too.
  switch (verdictOn(c, d.source.unread(), job.maxBytes)) {
    case Verdict::Fits: break;
    case Verdict::TooLarge: job.noMemory = true; return;
    case Verdict::Cut: abortWork(reinterpret_cast<j_common_ptr>(&c));
  }
  c.mem->max_memory_to_use = static_cast<long>(
      std::min<uint64_t>(3 * job.maxBytes + (16u << 20), kMaxCoefficientBytes + kWorkingMargin));
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
  job.scaleDenominator = reductionOf(scaleDenominator);
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

namespace {

struct NeedJob {
  Decoder* decoder;
  const uint8_t* block;
  size_t blockLength;
  unsigned scaleDenominator;
  uint64_t bytes = 0;
};

// The checks of decodeBody up to its first allocation, and what the decode would take.
void needBody(void* arg) {
  NeedJob& job = *static_cast<NeedJob*>(arg);
  Decoder& d = *job.decoder;
  jpeg_decompress_struct& c = d.cinfo;
  d.create(nullptr, job.block, job.blockLength);
  jpeg_read_header(&c, TRUE);
  if (!d.accepted()) return;
  setOutput(c, job.scaleDenominator);
  if (verdictOn(c, d.source.unread(), kMaxDibBytes) != Verdict::Fits) return;
  // The decoding holds the bitmap, the coefficients and the row buffers; turning the
  // picture upright afterwards holds the bitmap twice.
  job.bytes = dibBytes(c) + std::max(coefficientBytes(c) + rowBufferBytes(c), dibBytes(c));
}

}  // namespace

uint64_t blockReadBytes(const uint8_t* data, size_t length, unsigned denominator) {
  if (!data || length < 2 || data[0] != 0xFF || data[1] != 0xD8) return 0;
  Decoder d;
  NeedJob job{&d, data, length, reductionOf(denominator)};
  if (!runGuarded(d.guard, needBody, &job)) return 0;
  return job.bytes;
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
