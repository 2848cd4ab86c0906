// The save worker: a 24-bit or 8-bit grey packed bitmap as a JFIF file, or as the same
// bytes in memory. The file is written as every file of the program is (platform/
// atomic_file.h): under a temporary name beside the target, renamed over it only when it
// is complete, so a failed or cancelled save never leaves a torn file and never removes
// the file that was there before.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "jpegmodule/codec.h"
#include "jpegmodule/memory_save.h"
#include "platform/atomic_file.h"

namespace qmjpeg {

namespace {

// The destination of a save to a file: the compressed bytes go through one buffer to
// the writer's temporary file. A failed write ends the work through the error exit.
struct FileDestination : jpeg_destination_mgr {
  platform::AtomicFileWriter* out = nullptr;
  JOCTET buffer[65536];
};

void initFile(j_compress_ptr cinfo) {
  auto* d = static_cast<FileDestination*>(cinfo->dest);
  d->next_output_byte = d->buffer;
  d->free_in_buffer = sizeof d->buffer;
}

boolean emptyFile(j_compress_ptr cinfo) {
  // Called when the whole buffer is full.
  auto* d = static_cast<FileDestination*>(cinfo->dest);
  if (!d->out->write(d->buffer, sizeof d->buffer)) abortWork(reinterpret_cast<j_common_ptr>(cinfo));
  initFile(cinfo);
  return TRUE;
}

void termFile(j_compress_ptr cinfo) {
  auto* d = static_cast<FileDestination*>(cinfo->dest);
  if (!d->out->write(d->buffer, sizeof d->buffer - d->free_in_buffer)) abortWork(reinterpret_cast<j_common_ptr>(cinfo));
}

// A growing block of memory that receives the compressed bytes. It is plain memory,
// owned by the caller of the save, so that the library's error exit (which skips
// destructors) can leave it at any point; the caller frees it in every case.
struct MemoryDestination : jpeg_destination_mgr {
  JOCTET* data = nullptr;
  size_t capacity = 0;
  size_t length = 0;  // bytes complete after term_destination
};

void initMemory(j_compress_ptr cinfo) {
  auto* d = static_cast<MemoryDestination*>(cinfo->dest);
  if (!d->data) {
    d->capacity = 64 << 10;
    d->data = static_cast<JOCTET*>(std::malloc(d->capacity));
    if (!d->data) abortWork(reinterpret_cast<j_common_ptr>(cinfo));
  }
  d->next_output_byte = d->data;
  d->free_in_buffer = d->capacity;
}

boolean growMemory(j_compress_ptr cinfo) {
  // Called when the whole block is full.
  auto* d = static_cast<MemoryDestination*>(cinfo->dest);
  size_t used = d->capacity;
  auto* grown = static_cast<JOCTET*>(std::realloc(d->data, d->capacity * 2));
  if (!grown) abortWork(reinterpret_cast<j_common_ptr>(cinfo));
  d->data = grown;
  d->capacity *= 2;
  d->next_output_byte = d->data + used;
  d->free_in_buffer = d->capacity - used;
  return TRUE;
}

void termMemory(j_compress_ptr cinfo) {
  auto* d = static_cast<MemoryDestination*>(cinfo->dest);
  d->length = d->capacity - d->free_in_buffer;
}

struct SaveJob {
  ErrorGuard guard;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  FileDestination* file;       // the destination: a file, or else
  MemoryDestination* memory;   // a block of memory
  bool reportProgress;
  const uint8_t* rows;     // the bitmap's rows, bottom row first
  size_t rowBytes;
  int32_t width, height;
  bool grey;
  const uint8_t* palette;
  uint32_t paletteEntries;
  uint8_t* greyRow;
  int32_t progressive, quality, sampling;
  const char* comment;
  intptr_t progressContext;
  uint16_t xDpi, yDpi;
};

void saveBody(void* arg) {
  SaveJob& job = *static_cast<SaveJob*>(arg);
  jpeg_compress_struct& c = job.cinfo;
  c.err = initErrorManager(&job.err);
  c.client_data = &job.guard;
  jpeg_create_compress(&c);
  if (job.file) {
    job.file->init_destination = initFile;
    job.file->empty_output_buffer = emptyFile;
    job.file->term_destination = termFile;
    c.dest = job.file;
  } else {
    job.memory->init_destination = initMemory;
    job.memory->empty_output_buffer = growMemory;
    job.memory->term_destination = termMemory;
    c.dest = job.memory;
  }
  c.image_width = static_cast<JDIMENSION>(job.width);
  c.image_height = static_cast<JDIMENSION>(job.height);
  // Colour rows go to the library as they stand (blue, green, red).
  c.input_components = job.grey ? 1 : 3;
  c.in_color_space = job.grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, job.quality, TRUE);
  if (!job.grey) {
    int h = 0, v = 0;
    if (job.sampling < 1) {
      h = 2, v = 2;
    } else if (job.sampling == 1) {
      h = 2, v = 1;
    } else if (job.sampling == 2) {
      h = 1, v = 1;
    }
    if (h) {
      c.comp_info[0].h_samp_factor = h;
      c.comp_info[0].v_samp_factor = v;
      for (int i = 1; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
  }
  if (job.xDpi > 1 || job.yDpi > 1) {
    c.density_unit = 1;
    c.X_density = job.xDpi;
    c.Y_density = job.yDpi;
  }
  if (job.progressive == 1) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  if (job.comment && job.comment[0]) {
    jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(job.comment),
                      static_cast<unsigned>(std::strlen(job.comment) + 1));
  }
  while (c.next_scanline < c.image_height) {
    // The picture's top row, written first, is the bitmap's last row in memory.
    const uint8_t* row = job.rows + job.rowBytes * (c.image_height - 1 - c.next_scanline);
    JSAMPROW in;
    if (job.grey) {
      // A grey row holds palette indexes; the sample is the entry's blue component.
      for (int32_t x = 0; x < job.width; ++x) {
        uint32_t i = std::min<uint32_t>(row[x], job.paletteEntries - 1);
        job.greyRow[x] = job.palette[4 * i];
      }
      in = job.greyRow;
    } else {
      in = const_cast<JSAMPROW>(row);
    }
    jpeg_write_scanlines(&c, &in, 1);
    if (job.reportProgress &&
        !PercentProgress(static_cast<int32_t>(c.next_scanline + 1), job.height, 0, 100, job.progressContext)) {
      SetErrorStatus(QM_STATUS_CANCELLED);
      abortWork(reinterpret_cast<j_common_ptr>(&c));
    }
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
}

// Checks the bitmap and runs the save into the job's destination; true when the
// compressed picture is complete.
bool encodeDib(SaveJob& job, QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling,
               const char* comment) {
  ImageKindRecord kind;
  GetImageKind(&kind, dib);
  auto* base = static_cast<const uint8_t*>(QmGlobalLock(dib));
  if (!base) return false;

  // The header is taken as 40 bytes, whatever it says; rows and palette must lie
  // inside the block.
  QmBitmapInfoHeader h;
  std::memcpy(&h, base, sizeof h);
  job.grey = kind.grey == 1;
  job.width = h.biWidth;
  job.height = h.biHeight;
  uint64_t paletteBytes = GetDibPalSize(&h);
  job.rowBytes = dibRowBytes(h.biBitCount, h.biWidth > 0 ? h.biWidth : 0);
  uint64_t needed = 40 + paletteBytes + uint64_t(job.rowBytes) * (h.biHeight > 0 ? h.biHeight : 0);
  uint32_t expectedBits = job.grey ? 8 : 24;
  std::vector<uint8_t> greyRow;
  bool sound = h.biWidth > 0 && h.biHeight > 0 && h.biBitCount == expectedBits && needed <= QmGlobalSize(dib) &&
               (!job.grey || paletteBytes >= 4);
  bool written = false;
  if (sound) {
    job.palette = base + 40;
    job.paletteEntries = static_cast<uint32_t>(std::min<uint64_t>(paletteBytes / 4, 256));
    if (job.grey) {
      greyRow.resize(static_cast<size_t>(h.biWidth));
      job.greyRow = greyRow.data();
    }
    job.rows = base + 40 + paletteBytes;
    job.progressive = progressive;
    job.quality = quality;
    job.sampling = sampling;
    job.comment = comment;
    job.xDpi = static_cast<uint16_t>(CovertDotM2I(h.biXPelsPerMeter));
    job.yDpi = static_cast<uint16_t>(CovertDotM2I(h.biYPelsPerMeter));
    written = runGuarded(job.guard, saveBody, &job);
  }
  QmGlobalUnlock(dib);
  return written;
}

}  // namespace

bool writeDibFile(const char* path, QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling,
                  const char* comment, intptr_t progressContext) {
  if (!path) return false;
  // A target that cannot be replaced (no folder, a read-only file) fails here, before
  // anything is written, with the general status.
  platform::AtomicFileWriter output(path);
  if (!output.open()) return false;
  auto file = std::make_unique<FileDestination>();
  file->out = &output;
  SaveJob job{};
  job.file = file.get();
  job.reportProgress = true;
  job.progressContext = progressContext;
  if (!encodeDib(job, dib, progressive, quality, sampling, comment) || !output.commit()) {
    output.discard();
    SetErrorStatus(QM_STATUS_SAVE_FAILED);
    return false;
  }
  return true;
}

bool writeDibMemory(QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling, const char* comment,
                    std::vector<uint8_t>& out) {
  MemoryDestination memory;
  SaveJob job{};
  job.memory = &memory;
  bool written = encodeDib(job, dib, progressive, quality, sampling, comment);
  if (written) out.assign(memory.data, memory.data + memory.length);
  std::free(memory.data);
  if (!written) SetErrorStatus(QM_STATUS_SAVE_FAILED);
  return written;
}

}  // namespace qmjpeg
