// JPEG files through the JPEG module, which is loaded by its installed name
// (libQm6Jpeg.so.N) the first time it is needed. The loader looks for it along the run path
// of the code that loads it: beside it in the build folder, in the library folder one up
// from the program's folder once installed. The module gives the picture as stored; a
// camera picture's Exif orientation, read with the module's Exif reader, turns it upright
// here, so every reader of the file library sees the picture and its size as the camera
// meant them.
#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "jpegmodule/qm6jpeg.h"
#include "toolkit/dib/dib.h"
#include "toolkit/file/formats.h"
#include "toolkit/file/qm6file.h"

namespace qm6file {

namespace {

struct JpegModule {
  decltype(&_QMJpegExifInfo) exifInfo = nullptr;
  decltype(&_QMJpegFileInfo) fileInfo = nullptr;
  decltype(&_QMJpegFileLoad) fileLoad = nullptr;
  decltype(&_QMJpegFileSave) fileSave = nullptr;
  bool loaded() const { return exifInfo && fileInfo && fileLoad && fileSave; }
};

// Opens the module along this library's own search path. dlopen searches the run path of
// the object that calls it; where something stands between (a sanitizer's dlopen makes
// itself the caller), that is not ours, so the folders of our search path are then tried
// in turn, as the loader lists them for this library.
void* openModule() {
  if (void* lib = ::dlopen(QM6JPEG_FILE_NAME, RTLD_NOW | RTLD_LOCAL)) return lib;
  Dl_info self{};
  if (!::dladdr(reinterpret_cast<void*>(&openModule), &self) || !self.dli_fname) return nullptr;
  void* us = ::dlopen(self.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (!us) return nullptr;
  void* lib = nullptr;
  Dl_serinfo size{};
  if (::dlinfo(us, RTLD_DI_SERINFOSIZE, &size) == 0 && size.dls_size >= sizeof(Dl_serinfo)) {
    std::vector<unsigned char> buffer(size.dls_size);
    auto* paths = reinterpret_cast<Dl_serinfo*>(buffer.data());
    paths->dls_size = size.dls_size;
    paths->dls_cnt = size.dls_cnt;
    if (::dlinfo(us, RTLD_DI_SERINFO, paths) == 0) {
      for (unsigned i = 0; i < paths->dls_cnt && !lib; ++i) {
        const std::string file = std::string(paths->dls_serpath[i].dls_name) + "/" + QM6JPEG_FILE_NAME;
        lib = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
      }
    }
  }
  ::dlclose(us);
  return lib;
}

const JpegModule& module() {
  static JpegModule m;
  static std::once_flag once;
  std::call_once(once, [] {
    void* lib = openModule();
    if (!lib) return;  // kept open until the process ends
    m.exifInfo = reinterpret_cast<decltype(m.exifInfo)>(::dlsym(lib, "_QMJpegExifInfo"));
    m.fileInfo = reinterpret_cast<decltype(m.fileInfo)>(::dlsym(lib, "_QMJpegFileInfo"));
    m.fileLoad = reinterpret_cast<decltype(m.fileLoad)>(::dlsym(lib, "_QMJpegFileLoad"));
    m.fileSave = reinterpret_cast<decltype(m.fileSave)>(::dlsym(lib, "_QMJpegFileSave"));
  });
  return m;
}

// The file's Exif orientation; 1 for a file without one.
uint16_t orientationOf(const JpegModule& m, const std::string& path) {
  EXIFINFO exif;
  if (!m.exifInfo(path.c_str(), &exif)) return 1;
  if (exif.Thumbnail) QmGlobalFree(exif.Thumbnail);
  return qm6dib::knownOrientation(exif.Ifd0.Orientation);
}

}  // namespace

bool describeJpeg(const std::string& path, Description& d) {
  const JpegModule& m = module();
  JPEGFILEINFO info;
  std::memset(&info, 0, sizeof info);
  if (!m.loaded() || !m.fileInfo(path.c_str(), &info)) return false;
  // Only a file with an Exif segment can be stored turned.
  const bool swapped = info.Format == QM_TYPE_JPEG_EXIF && qm6dib::sidesSwapped(orientationOf(m, path));
  d.bitCount = info.BitCount;
  d.width = static_cast<int32_t>(swapped ? info.Height : info.Width);
  d.height = static_cast<int32_t>(swapped ? info.Width : info.Height);
  d.type = info.Format == QM_TYPE_JPEG_EXIF         ? QM_TYPE_JPEG_EXIF
           : info.Format == QM_TYPE_JPEG_PROGRESSIVE ? QM_TYPE_JPEG_PROGRESSIVE
                                                     : QM_TYPE_JPEG;
  return true;
}

QmHandle readJpeg(const std::string& path) {
  const JpegModule& m = module();
  if (!m.loaded()) return 0;
  const uint16_t orientation = orientationOf(m, path);
  const QmHandle stored = m.fileLoad(path.c_str(), 0, 0, 0, 0);
  const QmHandle upright = qm6dib::turnUpright(stored, orientation);
  if (stored && !upright) SetErrorStatus(QM_STATUS_NO_MEMORY);
  return upright;
}

bool writeJpeg(const std::string& path, QmHandle picture, int32_t progressive, int32_t quality, int32_t sampling,
               const char* comment) {
  const JpegModule& m = module();
  if (!m.loaded()) return false;
  // The module takes 24-bit pictures and grey 8-bit ones; any other 8-bit one goes as 24.
  QmHandle converted = 0;
  {
    qm6dib::Locked pic(picture);
    if (!pic.ok()) return false;
    ImageKindRecord kind;
    GetImageKind(&kind, picture);
    if (pic.bits() == 8 && !kind.grey) {
      converted = qm6dib::copy24(pic);
      if (!converted) return false;
    }
  }
  const bool ok = m.fileSave(path.c_str(), converted ? converted : picture, progressive, quality, sampling,
                             comment, 0, 0, 0, 0) != 0;
  if (converted) QmGlobalFree(converted);
  return ok;
}

}  // namespace qm6file
