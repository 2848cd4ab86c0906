// The module's four exported functions.
#include "jpegmodule/codec.h"

using namespace qmjpeg;

extern "C" {

QmBool _QMJpegExifInfo(const char* path, EXIFINFO* info) {
  if (!info) {
    SetErrorStatus(QM_STATUS_FAILED);
    return 0;
  }
  return readInfo(path, nullptr, info, true) ? 1 : 0;
}

QmBool _QMJpegFileInfo(const char* path, JPEGFILEINFO* info) {
  EXIFINFO scratch;
  return readInfo(path, info, &scratch, false) ? 1 : 0;
}

QmHandle _QMJpegFileLoad(const char* path, intptr_t progressContext, int32_t dialog1, int32_t dialog2,
                         int32_t dialog3) {
  EXIFINFO scratch;
  if (!readInfo(path, nullptr, &scratch, false)) return 0;
  SetErrorStatus(QM_STATUS_FAILED);
  bool ownDialog = progressContext == 0;
  if (ownDialog && !PercentDlgOpen(dialog1, dialog2, dialog3)) {
    SetErrorStatus(QM_STATUS_NO_DIALOG);
    return 0;
  }
  bool stopped = false;
  QmHandle dib = readDib(path, nullptr, 0, progressContext, &stopped, kMaxDibBytes);
  if (ownDialog) PercentDlgClose();
  if (dib) SetErrorStatus(QM_STATUS_OK);
  if (stopped) SetErrorStatus(QM_STATUS_LOAD_FAILED);
  return dib;
}

QmBool _QMJpegFileSave(const char* path, QmHandle dib, int32_t progressive, int32_t quality, int32_t sampling,
                       const char* comment, intptr_t progressContext, int32_t dialog1, int32_t dialog2,
                       int32_t dialog3) {
  SetErrorStatus(QM_STATUS_FAILED);
  ImageKindRecord kind;
  GetImageKind(&kind, dib);
  if (!(kind.bitCount == 24 || (kind.bitCount == 8 && kind.grey == 1))) {
    SetErrorStatus(QM_STATUS_BAD_KIND);
    return 0;
  }
  bool ownDialog = progressContext == 0;
  if (ownDialog && !PercentDlgOpen(dialog1, dialog2, dialog3)) {
    SetErrorStatus(QM_STATUS_NO_DIALOG);
    return 0;
  }
  // A failed save has already removed its temporary file; the target is untouched.
  bool written = writeDibFile(path, dib, progressive, quality, sampling, comment, progressContext);
  if (ownDialog) PercentDlgClose();
  if (written) SetErrorStatus(QM_STATUS_OK);
  return written ? 1 : 0;
}

}  // extern "C"
