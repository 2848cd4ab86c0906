/* The toolkit's picture files (libQm6File.so): what a picture file is, reading it into a
 * picture, and writing a picture as a BMP or JPEG file. Pictures are handles of packed
 * bitmaps in the global memory of libQm6Com.so (toolkit/com/qm6com.h); each picture
 * returned is the caller's, released with ImageFree (toolkit/effect/qm6effect.h).
 *
 * Kinds read: BMP (1, 4, 8, 16, 24 and 32 bits, RLE4, RLE8, bit fields, top-down, the
 * short OS/2 header), JPEG (through the JPEG module libQm6Jpeg.so.1, loaded by that name
 * along the library's run path), PNG, TIFF, and PCX with 8 or 24 bits. GIF and FlashPix files
 * are recognised and described but not read. The kind comes from the file's first
 * bytes, never from its name.
 *
 * Loaded pictures are 24-bit, except grey JPEG files, which load as 8-bit grey. A JPEG
 * or TIFF picture stored turned or mirrored (its Exif or TIFF orientation tag other than
 * 1) is read upright, and described with the upright picture's width and height.
 * Plain C linkage.
 */
#ifndef ALBUMDESK_TOOLKIT_QM6FILE_H
#define ALBUMDESK_TOOLKIT_QM6FILE_H

#include <stdint.h>

#include "toolkit/com/qm6com.h"

#if defined(QM6FILE_BUILD)
#define QM6FILE_API __attribute__((visibility("default")))
#else
#define QM6FILE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Picture types. */
enum {
  QM_TYPE_BMP = 1,
  QM_TYPE_BMP_RLE4 = 2,
  QM_TYPE_BMP_RLE8 = 3,
  QM_TYPE_JPEG = 4,
  QM_TYPE_JPEG_PROGRESSIVE = 5,
  QM_TYPE_GIF87 = 6,
  QM_TYPE_GIF89 = 7,
  QM_TYPE_TIFF = 8,          /* uncompressed */
  QM_TYPE_TIFF_CCITT = 9,
  QM_TYPE_TIFF_LZW = 10,
  QM_TYPE_TIFF_JPEG = 11,
  QM_TYPE_TIFF_PACKBITS = 12,
  QM_TYPE_TIFF_DEFLATE = 13,
  QM_TYPE_TIFF_OTHER = 14,
  QM_TYPE_PNG = 15,
  QM_TYPE_FPX = 16,
  QM_TYPE_PCX = 19,
  QM_TYPE_JPEG_EXIF = 23
};

/* What ImageFileInfo reports (40 bytes). */
typedef struct ImageFileInfoRecord {
  uint16_t bitCount;     /* 0: bits per pixel of the file's picture */
  uint16_t reserved0;
  int32_t width;         /* 4 */
  int32_t height;        /* 8 */
  uint8_t reserved1[16];
  uint16_t pictureType;  /* 28: one of QM_TYPE_* */
  uint16_t reserved2;
  uint32_t reserved3;
  uint32_t fileSize;     /* 36: the file's size in bytes, low 32 bits */
} ImageFileInfoRecord;

/* Non-zero when the file is a picture of a kind listed above (the record is filled);
 * 0 for a missing, unreadable or unknown file. */
QM6FILE_API QmBool ImageFileInfo(const char* path, ImageFileInfoRecord* info);
/* The file's picture, or 0 when it cannot be read (also for GIF and FlashPix). */
QM6FILE_API QmHandle ImageFileLoad(const char* path);
/* Writes the picture as a 24-bit BMP file. The file appears only when written whole;
 * an existing file is replaced. */
QM6FILE_API QmBool ImageFileSaveBmp(const char* path, QmHandle picture);
/* Writes the picture as a JPEG file through the JPEG module: progressive 1 for a
 * progressive file, quality 0..100, sampling 0 2x2, 1 2x1, 2 1x1; comment NULL or "" for
 * none. A picture the module cannot take is first made 24-bit. */
QM6FILE_API QmBool ImageFileSaveJpeg(const char* path, QmHandle picture, int32_t progressive, int32_t quality,
                                     int32_t sampling, const char* comment);

#ifdef __cplusplus
}  /* extern "C" */
static_assert(sizeof(ImageFileInfoRecord) == 40);
static_assert(offsetof(ImageFileInfoRecord, pictureType) == 28);
static_assert(offsetof(ImageFileInfoRecord, fileSize) == 36);
#endif

#endif /* ALBUMDESK_TOOLKIT_QM6FILE_H */
