#include "toolkit/dib/dib.h"

#include <cstring>
#include <vector>

namespace qm6dib {

bool sizeAllowed(int64_t width, int64_t height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  return static_cast<uint64_t>(rowBytes(24, static_cast<uint32_t>(width))) * static_cast<uint64_t>(height) <=
         kMaxPixelBytes;
}

QmHandle create24(int32_t width, int32_t height) {
  if (!sizeAllowed(width, height)) return 0;
  const uint32_t stride = rowBytes(24, static_cast<uint32_t>(width));
  const uint64_t pixelBytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  QmHandle h = QmGlobalAlloc(sizeof(QmBitmapInfoHeader) + pixelBytes);
  if (!h) return 0;
  auto* header = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(h));
  header->biSize = sizeof(QmBitmapInfoHeader);
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biSizeImage = static_cast<uint32_t>(pixelBytes);
  QmGlobalUnlock(h);
  return h;
}

QmHandle copy24(const Locked& source) {
  if (!source.ok()) return 0;
  QmHandle out = create24(source.width(), source.height());
  if (!out) return 0;
  Locked target(out);
  std::vector<uint8_t> scratch(static_cast<size_t>(source.width()) * 3);
  for (int32_t y = 0; y < source.height(); ++y) {
    std::memcpy(target.row(y), source.bgrRow(y, scratch.data()), 3 * static_cast<size_t>(source.width()));
  }
  return out;
}

Locked::Locked(QmHandle handle) : handle_(handle) {
  const size_t size = QmGlobalSize(handle);
  auto* base = static_cast<uint8_t*>(QmGlobalLock(handle));
  if (!base) {
    handle_ = 0;
    return;
  }
  if (size < sizeof(QmBitmapInfoHeader)) return;
  header_ = reinterpret_cast<const QmBitmapInfoHeader*>(base);
  const QmBitmapInfoHeader& h = *header_;
  if (h.biSize != sizeof(QmBitmapInfoHeader) || h.biCompression != 0) return;
  if (h.biBitCount != 24 && h.biBitCount != 8) return;
  const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
  if (h.biWidth < 1 || height < 1 || h.biWidth > kMaxSide || height > kMaxSide) return;
  bits_ = h.biBitCount;
  width_ = h.biWidth;
  height_ = static_cast<int32_t>(height);
  bottomUp_ = h.biHeight > 0;
  stride_ = rowBytes(bits_, static_cast<uint32_t>(width_));
  uint64_t offset = sizeof(QmBitmapInfoHeader);
  if (bits_ == 8) {
    paletteEntries_ = (h.biClrUsed == 0 || h.biClrUsed > 256) ? 256 : h.biClrUsed;
    palette_ = base + offset;
    offset += 4ull * paletteEntries_;
  }
  if (offset + static_cast<uint64_t>(stride_) * static_cast<uint64_t>(height_) > size) return;
  pixels_ = base + offset;
  ok_ = true;
}

Locked::~Locked() {
  if (handle_) QmGlobalUnlock(handle_);
}

void Locked::paletteColour(uint32_t index, uint8_t* out) const {
  if (index < paletteEntries_) {
    std::memcpy(out, palette_ + 4 * index, 3);
  } else {
    out[0] = out[1] = out[2] = 0;
  }
}

const uint8_t* Locked::bgrRow(int32_t y, uint8_t* scratch) const {
  const uint8_t* src = row(y);
  if (bits_ == 24) return src;
  for (int32_t x = 0; x < width_; ++x) paletteColour(src[x], scratch + 3 * static_cast<size_t>(x));
  return scratch;
}

}  // namespace qm6dib
