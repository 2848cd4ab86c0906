// Recognising picture files by their first bytes; the kinds described without a library.
#include <cstring>

#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {
bool startsWith(const uint8_t* head, size_t size, const char* magic, size_t n) {
  return size >= n && std::memcmp(head, magic, n) == 0;
}
constexpr char kPngMagic[] = "\x89PNG\r\n\x1a\n";
constexpr char kStorageMagic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
}  // namespace

Kind recognise(const uint8_t* head, size_t size) {
  if (startsWith(head, size, "BM", 2)) return Kind::Bmp;
  if (startsWith(head, size, "\xFF\xD8\xFF", 3)) return Kind::Jpeg;
  if (startsWith(head, size, "GIF87a", 6) || startsWith(head, size, "GIF89a", 6)) return Kind::Gif;
  if (startsWith(head, size, kPngMagic, 8)) return Kind::Png;
  if (startsWith(head, size, "II*\0", 4) || startsWith(head, size, "MM\0*", 4)) return Kind::Tiff;
  if (startsWith(head, size, kStorageMagic, 8)) return Kind::Fpx;
  Description d;
  if (describePcx(head, size, d)) return Kind::Pcx;
  return Kind::Unknown;
}

bool describeGif(const uint8_t* head, size_t size, Description& d) {
  if (size < 13) return false;
  d.type = head[4] == '7' ? QM_TYPE_GIF87 : QM_TYPE_GIF89;
  d.width = le16(head + 6);
  d.height = le16(head + 8);
  d.bitCount = static_cast<uint16_t>((head[10] & 7) + 1);
  return true;
}

bool describePng(const uint8_t* head, size_t size, Description& d) {
  // The first chunk is IHDR: width, height, bit depth, colour type.
  if (size < 33 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
  const uint32_t w = be32(head + 16), h = be32(head + 20);
  if (w < 1 || h < 1 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  const uint8_t depth = head[24];
  int channels;
  switch (head[25]) {
    case 0: channels = 1; break;  // grey
    case 2: channels = 3; break;  // colour
    case 3: channels = 1; break;  // palette
    case 4: channels = 2; break;  // grey and alpha
    case 6: channels = 4; break;  // colour and alpha
    default: return false;
  }
  d.type = QM_TYPE_PNG;
  d.width = static_cast<int32_t>(w);
  d.height = static_cast<int32_t>(h);
  d.bitCount = static_cast<uint16_t>(depth * channels);
  return true;
}

bool describeFpx(const uint8_t* head, size_t size, const ReadAt& read, Description& d) {
  if (size < 512) return false;
  const uint16_t shift = le16(head + 30);
  if (shift != 9 && shift != 12) return false;
  const uint32_t directory = le32(head + 48);
  if (directory >= 0xFFFFFFFAu) return false;
  // The root entry is the first 128-byte entry of the first directory sector; its class
  // sits at byte 80. FlashPix classes are 5661xxxx-C154-11CE-8553-00AA00A1F95B.
  uint8_t root[128];
  const uint64_t at = (static_cast<uint64_t>(directory) + 1) << shift;
  if (read(at, root, sizeof root) != sizeof root) return false;
  static const uint8_t kClassTail[12] = {0x54, 0xC1, 0xCE, 0x11, 0x85, 0x53, 0x00, 0xAA, 0x00, 0xA1, 0xF9, 0x5B};
  if (root[66] != 5) return false;  // the root storage
  if (le16(root + 82) != 0x5661 || std::memcmp(root + 84, kClassTail, sizeof kClassTail) != 0) return false;
  d.type = QM_TYPE_FPX;
  d.bitCount = 24;
  d.width = d.height = 0;
  return true;
}

}  // namespace qm6file
