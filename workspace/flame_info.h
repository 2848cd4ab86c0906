// The record of one album picture: what the picture engine found when it read the
// picture, and where its working copy and thumbnail lie in the work folder.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "file_name.h"

namespace workspace {

// The album holds at most this many pictures.
constexpr int kAlbumLimit = 200;

// Picture types of the records besides the toolkit's own file types.
constexpr uint16_t kTypeDvFrame = 257;
constexpr uint16_t kTypeYuvFrame = 273;
// The title number of a picture that is no title picture.
constexpr uint16_t kNoTitle = 0xFF00;

struct FlameInfo {
  uint16_t width = 0;   // pixels
  uint16_t height = 0;  // pixels
  uint16_t type = 0;    // picture type: 1-3 BMP, 4, 5, 23 JPEG, 8-14 TIFF, 15 PNG, 257 DV, 273 YUV ...
  // The DV time code ("HH:MM:SS:FF"), zero-terminated; filled for DV frames only.
  std::array<char, 16> timeCode{};
  uint16_t titleNo = kNoTitle;
  uint32_t sourceSize = 0;    // bytes of the source file (low 32 bits)
  FileTime sourceTime = 0;    // last-write time of the source file
  std::string workPath;       // the working copy
  std::string thumbPath;      // the 100 x 75 thumbnail

  bool operator==(const FlameInfo&) const = default;
};

}  // namespace workspace
