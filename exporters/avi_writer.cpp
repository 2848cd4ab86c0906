#include "exporters/avi_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "exporters/export_monitor.h"
#include "jpegmodule/memory_save.h"
#include "platform/atomic_file.h"
#include "workspace/lang.h"

namespace exporters {

namespace {

// ---- BMP frames ------------------------------------------------------------------------

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Reads exactly `size` bytes at `offset`; false on a short read or an error.
bool readAt(int fd, void* buffer, size_t size, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

struct BmpFrame {
  QmBitmapInfoHeader header;
  uint64_t pixelOffset = 0;
  uint64_t pixelBytes = 0;
};

// Opens a BMP file and checks that it is a frame the movie can take.
bool openFrame(const std::string& path, FileHandle& file, BmpFrame& frame) {
  struct stat st;
  if (!file.open(path) || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  uint8_t head[kFileHeaderBytes + kInfoHeaderBytes];
  if (!readAt(file.fd(), head, sizeof head, 0) || head[0] != 'B' || head[1] != 'M') return false;
  std::memcpy(&frame.header, head + kFileHeaderBytes, kInfoHeaderBytes);
  const QmBitmapInfoHeader& h = frame.header;
  frame.pixelOffset = le32(head + 10);
  if (h.biSize < kInfoHeaderBytes || h.biWidth <= 0 || h.biHeight <= 0 || h.biPlanes != 1 || h.biBitCount != 24 ||
      h.biCompression != 0) {
    return false;
  }
  frame.pixelBytes = BmpPixelBytes(h);
  return frame.pixelOffset >= kFileHeaderBytes + h.biSize && frame.pixelBytes <= kMaxMovieBytes &&
         frame.pixelOffset + frame.pixelBytes <= static_cast<uint64_t>(st.st_size);
}

// ---- AVI layout --------------------------------------------------------------------------

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;
// RIFF header, the "hdrl" list and the "movi" list's header: everything before the first frame.
constexpr uint32_t kStrlBytes = 4 + (8 + 56) + (8 + 40);
constexpr uint32_t kHdrlBytes = 4 + (8 + 56) + (8 + kStrlBytes);
constexpr uint32_t kHeadBytes = 12 + (8 + kHdrlBytes) + 12;
static_assert(kHeadBytes == 224);

class Bytes {
 public:
  void u16(uint16_t v) {
    b_.push_back(uint8_t(v));
    b_.push_back(uint8_t(v >> 8));
  }
  void u32(uint32_t v) {
    u16(uint16_t(v));
    u16(uint16_t(v >> 16));
  }
  void tag(const char (&t)[5]) { b_.insert(b_.end(), t, t + 4); }
  void raw(const void* p, size_t n) { b_.insert(b_.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n); }
  const std::vector<uint8_t>& bytes() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

uint32_t clampU32(double v) {
  return v >= double(std::numeric_limits<uint32_t>::max()) ? std::numeric_limits<uint32_t>::max() : uint32_t(v);
}

struct Layout {
  uint32_t frames, scale, rate, handler;
  uint32_t maxChunk;   // the largest frame's data
  uint32_t moviBytes;  // the "movi" list's size field
  uint32_t riffBytes;  // the RIFF size field (file size - 8)
  QmBitmapInfoHeader format;
};

std::vector<uint8_t> headBytes(const Layout& l) {
  const uint32_t width = uint32_t(l.format.biWidth), height = uint32_t(l.format.biHeight);
  Bytes b;
  b.tag("RIFF");
  b.u32(l.riffBytes);
  b.tag("AVI ");
  b.tag("LIST");
  b.u32(kHdrlBytes);
  b.tag("hdrl");
  b.tag("avih");
  b.u32(56);
  b.u32(clampU32(std::round(1e6 * l.scale / l.rate)));          // microseconds a frame
  b.u32(clampU32(std::ceil(double(l.maxChunk) * l.rate / l.scale)));  // largest bytes a second
  b.u32(0);  // padding granularity
  b.u32(kAvifHasIndex);
  b.u32(l.frames);
  b.u32(0);  // initial frames
  b.u32(1);  // streams
  b.u32(l.maxChunk);
  b.u32(width);
  b.u32(height);
  for (int i = 0; i < 4; ++i) b.u32(0);
  b.tag("LIST");
  b.u32(kStrlBytes);
  b.tag("strl");
  b.tag("strh");
  b.u32(56);
  b.tag("vids");
  b.u32(l.handler);
  b.u32(0);  // flags
  b.u32(0);  // priority, language
  b.u32(0);  // initial frames
  b.u32(l.scale);
  b.u32(l.rate);
  b.u32(0);  // start
  b.u32(l.frames);
  b.u32(l.maxChunk);
  b.u32(0xFFFFFFFF);  // quality: the compressor's default
  b.u32(0);           // sample size: frames vary
  b.u16(0);
  b.u16(0);
  b.u16(uint16_t(width));
  b.u16(uint16_t(height));
  b.tag("strf");
  b.u32(40);
  b.raw(&l.format, 40);
  b.tag("LIST");
  b.u32(l.moviBytes);
  b.tag("movi");
  return b.bytes();
}

// One frame's bytes in the "movi" list: chunk header, data, a pad byte after odd data.
uint64_t chunkBytes(uint64_t data) { return 8 + data + (data & 1); }
// The index at the end.
uint64_t indexBytes(uint64_t frames) { return 8 + 16 * frames; }

bool writeAllAt(int fd, const uint8_t* p, size_t size, off_t offset) {
  while (size > 0) {
    ssize_t n = ::pwrite(fd, p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// The frame buffer: a packed bitmap in global memory (the first frame's header, then
// the rows), so that the JPEG module can compress it as it stands.
class FrameBuffer {
 public:
  ~FrameBuffer() {
    if (handle_) {
      QmGlobalUnlock(handle_);
      QmGlobalFree(handle_);
    }
  }
  bool allocate(const QmBitmapInfoHeader& header, size_t pixelBytes) {
    handle_ = QmGlobalAlloc(kInfoHeaderBytes + pixelBytes);
    base_ = handle_ ? static_cast<uint8_t*>(QmGlobalLock(handle_)) : nullptr;
    if (!base_) return false;
    std::memcpy(base_, &header, kInfoHeaderBytes);
    return true;
  }
  QmHandle handle() const { return handle_; }
  uint8_t* pixels() const { return base_ + kInfoHeaderBytes; }

 private:
  QmHandle handle_ = 0;
  uint8_t* base_ = nullptr;
};

}  // namespace

const std::vector<MovieCompressor>& MovieCompressors() {
  static const std::vector<MovieCompressor> list = {
      {0, kHandlerDIB, workspace::TextKey("MV_COMP_DIB")},
      {kHandlerMJPG, kHandlerMJPG, workspace::TextKey("MV_COMP_MJPG")},
  };
  return list;
}

QString MovieCompressorName(const workspace::MLang& lang, uint32_t codec) {
  if (codec == kHandlerDIB) codec = 0;
  for (const MovieCompressor& c : MovieCompressors()) {
    if (c.codec == codec) return lang.GetMsg(c.nameKey);
  }
  return {};
}

uint64_t BmpPixelBytes(const QmBitmapInfoHeader& header) {
  if (header.biWidth <= 0 || header.biHeight <= 0) return 0;
  return (uint64_t(header.biWidth) * 3 + 3) / 4 * 4 * uint64_t(header.biHeight);
}

bool ReadBmpHeader(const std::string& path, QmBitmapInfoHeader& header) {
  FileHandle file;
  BmpFrame frame;
  if (!openFrame(path, file, frame)) return false;
  header = frame.header;
  return true;
}

bool ReadBmpPixels(const std::string& path, void* buffer, size_t size) {
  FileHandle file;
  BmpFrame frame;
  return openFrame(path, file, frame) && frame.pixelBytes == size &&
         readAt(file.fd(), buffer, size, frame.pixelOffset);
}

bool MakeMovie(const std::vector<std::string>& frames, const std::string& output, uint32_t scale, uint32_t rate,
               uint32_t codec, ExportMonitor* monitor) {
  // Everything is checked before the file is begun.
  if (frames.empty() || frames.size() > std::numeric_limits<uint32_t>::max() / 16 || scale == 0 || rate == 0) {
    return false;
  }
  if (codec == 0) codec = kHandlerDIB;
  if (codec != kHandlerDIB && codec != kHandlerMJPG) return false;
  const bool compressed = codec == kHandlerMJPG;
  const uint64_t n = frames.size();

  QmBitmapInfoHeader first;
  if (!ReadBmpHeader(frames[0], first)) return false;
  for (size_t i = 1; i < frames.size(); ++i) {
    QmBitmapInfoHeader h;
    if (!ReadBmpHeader(frames[i], h) || h.biWidth != first.biWidth || h.biHeight != first.biHeight) return false;
  }
  const uint64_t frameBytes = BmpPixelBytes(first);
  if (!compressed && kHeadBytes + n * chunkBytes(frameBytes) + indexBytes(n) > kMaxMovieBytes) return false;

  // The stream's format: the first frame's header; only 40 bytes of it are stored, so
  // it says 40 and has no colour table.
  QmBitmapInfoHeader format = first;
  format.biSize = kInfoHeaderBytes;
  format.biClrUsed = 0;
  format.biClrImportant = 0;

  FrameBuffer buffer;
  if (!buffer.allocate(format, static_cast<size_t>(frameBytes))) return false;
  platform::AtomicFileWriter file(output);
  if (!file.open()) return false;
  const std::vector<uint8_t> placeholder(kHeadBytes, 0);
  if (!file.write(placeholder.data(), placeholder.size())) return false;

  const char* chunkId = compressed ? "00dc" : "00db";
  Bytes index;
  index.tag("idx1");
  index.u32(static_cast<uint32_t>(16 * n));
  uint64_t moviBytes = 4;  // the list type
  uint32_t maxChunk = 0;
  std::vector<uint8_t> jpeg;
  for (uint64_t i = 0; i < n; ++i) {
    if (monitor) {
      monitor->ProcessMessages();
      if (monitor->Aborted()) return false;
    }
    if (!ReadBmpPixels(frames[i], buffer.pixels(), static_cast<size_t>(frameBytes))) return false;
    if (monitor) monitor->ProcessMessages();
    const uint8_t* data = buffer.pixels();
    uint64_t size = frameBytes;
    if (compressed) {
      if (!qmjpeg::writeDibMemory(buffer.handle(), 0, kMotionJpegQuality, 0, nullptr, jpeg)) return false;
      data = jpeg.data();
      size = jpeg.size();
    }
    // Room for this frame, and for the index of the whole movie after it.
    if (kHeadBytes + (moviBytes - 4) + chunkBytes(size) + indexBytes(n) > kMaxMovieBytes) return false;
    Bytes head;
    head.raw(chunkId, 4);
    head.u32(static_cast<uint32_t>(size));
    const uint8_t pad = 0;
    if (!file.write(head.bytes().data(), 8) || !file.write(data, size) || ((size & 1) && !file.write(&pad, 1))) {
      return false;
    }
    index.raw(chunkId, 4);
    index.u32(kAviifKeyframe);
    index.u32(static_cast<uint32_t>(moviBytes));
    index.u32(static_cast<uint32_t>(size));
    moviBytes += chunkBytes(size);
    maxChunk = std::max(maxChunk, static_cast<uint32_t>(size));
    if (monitor) monitor->Progress(static_cast<int>((i + 1) * 100 / n));
  }
  if (!file.write(index.bytes().data(), index.bytes().size())) return false;

  Layout layout{static_cast<uint32_t>(n), scale, rate, codec, maxChunk, static_cast<uint32_t>(moviBytes),
                static_cast<uint32_t>(4 + (8 + kHdrlBytes) + (8 + moviBytes) + indexBytes(n)), format};
  if (compressed) {
    layout.format.biCompression = kHandlerMJPG;
    layout.format.biSizeImage = static_cast<uint32_t>(frameBytes);
  }
  const std::vector<uint8_t> head = headBytes(layout);
  return writeAllAt(file.fd(), head.data(), head.size(), 0) && file.commit();
}

}  // namespace exporters
