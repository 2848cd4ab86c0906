// What the main window asks of the picture engine: read a picture file into the album
// at a position (the engine reports each picture it has put in place with
// WM_IMAGE_INFO, the album position in wParam, and keeps its facts until its next
// operation), and the facts of that picture.
#pragma once

#include <cstdint>
#include <string>

#include "flame_info.h"

namespace workspace {

class PictureEngine {
 public:
  virtual ~PictureEngine() = default;
  // Reads the file into the album from `position` on; true when it was read.
  virtual bool LoadImage(const std::string& path, uint32_t position) = 0;
  // The code of the last failure (9: the album is full).
  virtual int ErrorCode() const = 0;
  // The facts of the picture last reported, as the album record keeps them.
  virtual void GetFacts(FlameInfo& record) const = 0;
};

}  // namespace workspace
