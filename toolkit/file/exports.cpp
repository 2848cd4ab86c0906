// The file library's four exports.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace {

using namespace qm6file;

constexpr size_t kHeadBytes = 4096;

// A file opened for reading, its size and its first bytes.
class Source {
 public:
  explicit Source(const char* path) {
    if (!path) return;
    path_ = path;
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
    size_ = static_cast<uint64_t>(st.st_size);
    head_.resize(kHeadBytes);
    head_.resize(readAt(0, head_.data(), head_.size()));
    ok_ = true;
  }
  ~Source() {
    if (fd_ >= 0) ::close(fd_);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  bool ok() const { return ok_; }
  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }
  const std::vector<uint8_t>& head() const { return head_; }
  Kind kind() const { return recognise(head_.data(), head_.size()); }

  size_t readAt(uint64_t offset, void* buffer, size_t n) const {
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_, static_cast<uint8_t*>(buffer) + done, n - done, static_cast<off_t>(offset + done));
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }
  // The whole file; false when it cannot be read whole.
  bool readAll(std::vector<uint8_t>& bytes) const {
    if (size_ > SIZE_MAX / 2) return false;
    bytes.resize(static_cast<size_t>(size_));
    return readAt(0, bytes.data(), bytes.size()) == bytes.size();
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool ok_ = false;
  uint64_t size_ = 0;
  std::vector<uint8_t> head_;
};

bool describe(const Source& src, Description& d) {
  const uint8_t* head = src.head().data();
  const size_t n = src.head().size();
  switch (src.kind()) {
    case Kind::Bmp: return describeBmp(head, n, d);
    case Kind::Pcx: return describePcx(head, n, d);
    case Kind::Gif: return describeGif(head, n, d);
    case Kind::Png: return describePng(head, n, d);
    case Kind::Tiff: return describeTiff(src.path(), d);
    case Kind::Jpeg: return describeJpeg(src.path(), d);
    case Kind::Fpx:
      return describeFpx(head, n, [&](uint64_t at, void* buf, size_t len) { return src.readAt(at, buf, len); }, d);
    case Kind::Unknown: break;
  }
  return false;
}

}  // namespace

extern "C" {

QmBool ImageFileInfo(const char* path, ImageFileInfoRecord* info) {
  if (!info) return 0;
  Source src(path);
  Description d;
  if (!src.ok() || !describe(src, d)) return 0;
  std::memset(info, 0, sizeof *info);
  info->bitCount = d.bitCount;
  info->width = d.width;
  info->height = d.height;
  info->pictureType = d.type;
  info->fileSize = static_cast<uint32_t>(src.size());
  return 1;
}

QmHandle ImageFileLoad(const char* path) {
  Source src(path);
  if (!src.ok()) return 0;
  std::vector<uint8_t> bytes;
  switch (src.kind()) {
    case Kind::Bmp: return src.readAll(bytes) ? readBmp(bytes.data(), bytes.size()) : 0;
    case Kind::Pcx: return src.readAll(bytes) ? readPcx(bytes.data(), bytes.size()) : 0;
    case Kind::Png: return readPng(src.path(), src.size());
    case Kind::Tiff: return readTiff(src.path(), src.size());
    case Kind::Jpeg: return readJpeg(src.path());
    case Kind::Gif: case Kind::Fpx: case Kind::Unknown: break;
  }
  return 0;
}

QmBool ImageFileSaveBmp(const char* path, QmHandle picture) {
  return path && writeBmp(path, picture) ? 1 : 0;
}

QmBool ImageFileSaveJpeg(const char* path, QmHandle picture, int32_t progressive, int32_t quality, int32_t sampling,
                         const char* comment) {
  return path && writeJpeg(path, picture, progressive, quality, sampling, comment) ? 1 : 0;
}

}  // extern "C"
