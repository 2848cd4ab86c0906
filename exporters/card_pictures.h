// Picture helpers shared by the title card dialog and the multi-image sheet: owned
// toolkit pictures, temporary files in the work folder, loading any album picture,
// laying one picture over another in place, and painting a picture.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>

#include "toolkit/com/qm6com.h"

namespace workspace {
class CImageOpe;
}

namespace exporters {

// A toolkit picture released when it goes out of scope.
class OwnedPicture {
 public:
  explicit OwnedPicture(QmHandle h = 0) : h_(h) {}
  ~OwnedPicture() { reset(); }
  OwnedPicture(OwnedPicture&& o) noexcept : h_(o.release()) {}
  OwnedPicture& operator=(OwnedPicture&& o) noexcept {
    reset(o.release());
    return *this;
  }
  OwnedPicture(const OwnedPicture&) = delete;
  OwnedPicture& operator=(const OwnedPicture&) = delete;

  QmHandle get() const { return h_; }
  explicit operator bool() const { return h_ != 0; }
  void reset(QmHandle h = 0);
  QmHandle release() {
    const QmHandle h = h_;
    h_ = 0;
    return h;
  }

 private:
  QmHandle h_;
};

// The picture's width and height; false when the handle holds no picture.
bool PictureSize(QmHandle picture, int& width, int& height);

// A new empty file in the work folder with a name of its own ("zbm" + six characters +
// `extension`, so that the shut-down sweep of the work folder removes it should it stay).
// Every operation gets its own name, so that two operations never share a temporary.
// "" when none can be made.
std::string UniqueWorkFile(const std::string& workDir, const std::string& extension);

// An album picture or any picture file as a toolkit picture: DVF and YUV0 frames are
// decoded by `engine` (with the DV filter mode given) through a temporary BMP of their
// own; other files are read directly. 0 when it cannot be read.
QmHandle LoadAlbumPicture(workspace::CImageOpe& engine, const std::string& path, uint32_t filterMode = 0);

// Lays `picture` over the 24-bit `canvas` in place, its top-left pixel at (left, top);
// what falls outside the canvas is dropped. With `whiteClear` the white pixels of the
// picture (255, 255, 255) leave the canvas as it is. False when either is no picture or
// the canvas is not 24-bit.
bool LayOver(QmHandle canvas, QmHandle picture, int left, int top, bool whiteClear);

// A copy of the picture as a QImage for painting; a null image for no picture.
QImage PictureImage(QmHandle picture);

}  // namespace exporters
