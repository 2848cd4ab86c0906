// The toolkit's common services: status code, bitmap helpers, file helpers, progress.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "toolkit/com/qm6com.h"

namespace {

thread_local int32_t t_status = QM_STATUS_OK;

std::mutex g_hookMutex;
QmProgressHook g_hook{};

QmProgressHook currentHook() {
  std::lock_guard lock(g_hookMutex);
  return g_hook;
}

int32_t roundToInt32(double v) {
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(std::lround(v));
}

// Entries a palette of this header holds, as GetDibPalSize counts them.
uint32_t paletteEntries(const QmBitmapInfoHeader& h) {
  if (h.biBitCount <= 8) {
    uint32_t full = 1u << h.biBitCount;
    return (h.biClrUsed == 0 || h.biClrUsed > full) ? full : h.biClrUsed;
  }
  return h.biClrUsed;
}

}  // namespace

extern "C" {

int32_t SetErrorStatus(int32_t status) { return t_status = status; }
int32_t GetErrorStatus(void) { return t_status; }

uint32_t GetDibPalSize(const QmBitmapInfoHeader* header) {
  if (!header) return 0;
  uint32_t bytes = paletteEntries(*header) * 4;
  // Sixteen- and 32-bit bitmaps with colour masks carry the three masks first.
  if (header->biBitCount > 8 && header->biCompression == 3) bytes += 12;
  return bytes;
}

ImageKindRecord* GetImageKind(ImageKindRecord* kind, QmHandle dib) {
  if (!kind) return nullptr;
  std::memset(kind, 0, sizeof *kind);
  size_t size = QmGlobalSize(dib);
  auto* base = static_cast<const uint8_t*>(QmGlobalLock(dib));
  if (!base) return kind;
  if (size >= sizeof(QmBitmapInfoHeader)) {
    QmBitmapInfoHeader h;
    std::memcpy(&h, base, sizeof h);
    kind->bitCount = h.biBitCount;
    kind->width = h.biWidth;
    kind->height = h.biHeight;
    if (h.biBitCount <= 8) {
      // Only the entries actually present in the block are looked at.
      size_t present = (size - sizeof h) / 4;
      uint32_t entries = paletteEntries(h);
      if (entries > present) entries = static_cast<uint32_t>(present);
      kind->paletteEntries = entries;
      bool grey = h.biBitCount == 8 && entries > 0;
      for (uint32_t i = 0; grey && i < entries; ++i) {
        const uint8_t* e = base + sizeof h + 4 * i;
        grey = e[0] == e[1] && e[1] == e[2];
      }
      kind->grey = grey ? 1 : 0;
    }
  }
  QmGlobalUnlock(dib);
  return kind;
}

int32_t CovertDotM2I(int32_t pelsPerMetre) { return roundToInt32(pelsPerMetre * 0.0254); }
int32_t CovertDotI2M(int32_t dotsPerInch) { return roundToInt32(dotsPerInch / 0.0254); }

QmBool QMSetDpi(QmHandle dib, int32_t xDpi, int32_t yDpi) {
  if (QmGlobalSize(dib) < sizeof(QmBitmapInfoHeader)) return 0;
  auto* h = static_cast<QmBitmapInfoHeader*>(QmGlobalLock(dib));
  if (!h) return 0;
  h->biXPelsPerMeter = CovertDotI2M(xDpi);
  h->biYPelsPerMeter = CovertDotI2M(yDpi);
  QmGlobalUnlock(dib);
  return 1;
}

int64_t DataFileNameSize(const char* path) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

QmBool DataFileDelete(const char* path) {
  if (!path) return 0;
  return ::unlink(path) == 0 ? 1 : 0;
}

void QmSetProgressHook(const QmProgressHook* hook) {
  std::lock_guard lock(g_hookMutex);
  g_hook = hook ? *hook : QmProgressHook{};
}

QmBool PercentDlgOpen(int32_t value1, int32_t value2, int32_t value3) {
  QmProgressHook h = currentHook();
  return h.open ? (h.open(h.user, value1, value2, value3) ? 1 : 0) : 1;
}

void PercentDlgClose(void) {
  QmProgressHook h = currentHook();
  if (h.close) h.close(h.user);
}

QmBool PercentProgress(int32_t current, int32_t total, int32_t low, int32_t high, intptr_t context) {
  QmProgressHook h = currentHook();
  return h.progress ? (h.progress(h.user, current, total, low, high, context) ? 1 : 0) : 1;
}

}  // extern "C"
