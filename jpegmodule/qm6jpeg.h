/* The JPEG file module of the imaging toolkit (libQm6Jpeg): four functions that write
 * a packed bitmap as a JFIF file, read a JPEG file into a new packed bitmap, describe a
 * JPEG file, and read its Exif information with the decoded Exif thumbnail.
 *
 * Outcomes are reported through the toolkit's status code (GetErrorStatus in
 * qm6com.h). Bitmaps are global-memory handles of libQm6Com, so a caller links both
 * libraries. Plain C; installed with qm6com.h beside it; compiles alone as C99 or later
 * and as C++11 or later.
 */
#ifndef ALBUMDESK_JPEGMODULE_QM6JPEG_H
#define ALBUMDESK_JPEGMODULE_QM6JPEG_H

#include <stddef.h>
#include <stdint.h>

#include "qm6com.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What _QMJpegFileInfo reports (1064 bytes). Only the named fields are written. */
typedef struct JPEGFILEINFO {
  uint16_t BitCount;        /* components x 8: 8, 24, or 32 for a YCCK file */
  uint8_t reserved0[2];
  uint32_t XDpi;            /* from the JFIF density; left as it was when the file has none */
  uint32_t YDpi;
  uint32_t Width;
  uint32_t Height;
  uint32_t RowBytes;        /* BitCount x Width bits, padded to 4 bytes */
  uint32_t ImageBytes;      /* RowBytes x Height */
  uint16_t Format;          /* 4 sequential, 5 progressive, 23 with an Exif segment */
  uint16_t Progressive;     /* 1 for a progressive file, whatever Format says */
  uint16_t Pictures;        /* pictures in the file: always 1 */
  uint8_t reserved1[6];
  char Comment[1024];       /* the last comment segment's text, at most 1023 bytes */
} JPEGFILEINFO;

typedef struct EXIFRATIONAL {
  uint32_t Numerator;
  uint32_t Denominator;     /* signed rationals keep their bits */
} EXIFRATIONAL;

/* Values of one picture directory of the Exif data; IFD0 describes the picture, IFD1
 * its thumbnail. Texts are NUL-terminated and cut to their field. */
#define QM_EXIF_IFD_FIELDS(copyrightBytes)                                            \
  uint16_t Compression;       /* 259 */                                              \
  uint16_t Orientation;       /* 274 */                                              \
  uint16_t YCbCrPositioning;  /* 531 */                                              \
  uint8_t reserved0[2];                                                               \
  EXIFRATIONAL XResolution;   /* 282 */                                              \
  EXIFRATIONAL YResolution;   /* 283 */                                              \
  uint16_t ResolutionUnit;    /* 296 */                                              \
  char DateTime[20];          /* 306 */                                              \
  char ImageDescription[1024]; /* 270 */                                             \
  char Make[1024];            /* 271 */                                              \
  char Model[1024];           /* 272 */                                              \
  char Software[1024];        /* 305 */                                              \
  char Artist[1024];          /* 315 */                                              \
  char Copyright[copyrightBytes]; /* 33432 */

typedef struct EXIFIFD0INFO {
  QM_EXIF_IFD_FIELDS(1030)
} EXIFIFD0INFO;

typedef struct EXIFIFD1INFO {
  QM_EXIF_IFD_FIELDS(1026)
} EXIFIFD1INFO;

/* What _QMJpegExifInfo reports (15708 bytes); cleared first, so whatever the file does
 * not carry is 0 or an empty text. */
typedef struct EXIFINFO {
  EXIFIFD0INFO Ifd0;
  EXIFIFD1INFO Ifd1;
  QmHandle Thumbnail;              /* the decoded thumbnail, or 0; the caller frees it */
  char ExifVersion[5];             /* 36864, its four bytes as stored */
  char FlashpixVersion[5];         /* 40960 */
  uint16_t ColorSpace;             /* 40961 */
  uint32_t PixelXDimension;        /* 40962 */
  uint32_t PixelYDimension;        /* 40963 */
  char ComponentsConfiguration[8]; /* 37121, each byte + '0' */
  EXIFRATIONAL CompressedBitsPerPixel; /* 37122 */
  char MakerNote[1024];            /* 37500, up to its first NUL */
  char UserComment[1024];          /* 37510, the text after the character code */
  char UserCommentCode[8];         /* 37510, the first 8 bytes, up to the first NUL */
  char DateTimeOriginal[20];       /* 36867 */
  char DateTimeDigitized[20];      /* 36868 */
  char SubSecTime[10];             /* 37520 */
  char SubSecTimeOriginal[10];     /* 37521 */
  char SubSecTimeDigitized[12];    /* 37522 */
  EXIFRATIONAL ExposureTime;       /* 33434 */
  EXIFRATIONAL ShutterSpeedValue;  /* 37377 */
  EXIFRATIONAL ApertureValue;      /* 37378 */
  EXIFRATIONAL BrightnessValue;    /* 37379 */
  EXIFRATIONAL ExposureBiasValue;  /* 37380 */
  EXIFRATIONAL MaxApertureValue;   /* 37381 */
  EXIFRATIONAL SubjectDistance;    /* 37382 */
  uint16_t MeteringMode;           /* 37383 */
  uint16_t LightSource;            /* 37384 */
  uint16_t Flash;                  /* 37385 */
  uint8_t reserved0[2];
  EXIFRATIONAL FocalLength;        /* 37386 */
  EXIFRATIONAL FNumber;            /* 33437 */
  uint16_t ExposureProgram;        /* 34850 */
  char SpectralSensitivity[1024];  /* 34852 */
  uint16_t ISOSpeedRatings;        /* 34855, when it holds one value */
  EXIFRATIONAL FlashEnergy;        /* 41483 */
  EXIFRATIONAL FocalPlaneXResolution; /* 41486 */
  EXIFRATIONAL FocalPlaneYResolution; /* 41487 */
  uint16_t FocalPlaneResolutionUnit;  /* 41488 */
  uint16_t SubjectLocationY;       /* 41492, second value */
  uint16_t SubjectLocationX;       /* 41492, first value */
  uint8_t reserved1[2];
  EXIFRATIONAL ExposureIndex;      /* 41493 */
  uint16_t SensingMethod;          /* 41495 */
  uint8_t FileSource;              /* 41728 */
  uint8_t SceneType;               /* 41729 */
} EXIFINFO;

#if defined(QM6JPEG_BUILD)
#define QM6JPEG_API __attribute__((visibility("default")))
#else
#define QM6JPEG_API
#endif

/* Reads the Exif information of a JPEG file into the record, which it clears first. TRUE
 * also for a file without Exif (the record stays clear). FALSE for a NULL path, a file that
 * is not a readable JPEG file, or a NULL record (nothing read, status QM_STATUS_FAILED). */
QM6JPEG_API QmBool _QMJpegExifInfo(const char* path, EXIFINFO* info);
/* Describes a JPEG file without decoding its picture. With a NULL record it only checks
 * the file: TRUE for a JPEG file it can read, and nothing is written. FALSE for a NULL
 * path or a file that is not a readable JPEG file (the record is then left as it was). */
QM6JPEG_API QmBool _QMJpegFileInfo(const char* path, JPEGFILEINFO* info);
/* Reads a JPEG file into a new packed bitmap (8-bit grey or 24-bit), the caller's to free
 * with QmGlobalFree; 0 for a NULL path or a file it cannot read.
 * progressContext 0: the toolkit's progress display is opened with the three values;
 * otherwise the caller's context is handed to every progress call. */
QM6JPEG_API QmHandle _QMJpegFileLoad(const char* path, intptr_t progressContext, int32_t dialog1,
                                     int32_t dialog2, int32_t dialog3);
/* Writes a 24-bit or 8-bit grey packed bitmap as a JFIF file.
 * progressive 1: progressive file, else sequential. quality 0..100. sampling (colour
 * only): below 1 2x2, 1 2x1, 2 1x1, else the library's default. comment: NULL or "" for
 * none. The file appears only when it was written whole. FALSE for a NULL path, and with
 * status QM_STATUS_BAD_KIND for a handle (0 included) that holds no bitmap of those
 * kinds. */
QM6JPEG_API QmBool _QMJpegFileSave(const char* path, QmHandle dib, int32_t progressive,
                                   int32_t quality, int32_t sampling, const char* comment,
                                   intptr_t progressContext, int32_t dialog1, int32_t dialog2,
                                   int32_t dialog3);

#ifdef __cplusplus
}  /* extern "C" */

namespace qm6jpeg {
// The exports' ordinals in the module's interface table; ELF binds them by name.
struct Export {
  int ordinal;
  const char* name;
};
constexpr Export kExports[] = {
    {1, "_QMJpegExifInfo"}, {2, "_QMJpegFileInfo"}, {3, "_QMJpegFileLoad"}, {4, "_QMJpegFileSave"}};
}  // namespace qm6jpeg

#define QM_CHECK_OFFSET(type, field, offset) static_assert(offsetof(type, field) == (offset), #field)
static_assert(sizeof(JPEGFILEINFO) == 1064, "JPEGFILEINFO is 1064 bytes");
QM_CHECK_OFFSET(JPEGFILEINFO, BitCount, 0);
QM_CHECK_OFFSET(JPEGFILEINFO, XDpi, 4);
QM_CHECK_OFFSET(JPEGFILEINFO, YDpi, 8);
QM_CHECK_OFFSET(JPEGFILEINFO, Width, 12);
QM_CHECK_OFFSET(JPEGFILEINFO, Height, 16);
QM_CHECK_OFFSET(JPEGFILEINFO, RowBytes, 20);
QM_CHECK_OFFSET(JPEGFILEINFO, ImageBytes, 24);
QM_CHECK_OFFSET(JPEGFILEINFO, Format, 28);
QM_CHECK_OFFSET(JPEGFILEINFO, Progressive, 30);
QM_CHECK_OFFSET(JPEGFILEINFO, Pictures, 32);
QM_CHECK_OFFSET(JPEGFILEINFO, Comment, 40);

static_assert(sizeof(EXIFIFD0INFO) == 6196, "EXIFIFD0INFO is 6196 bytes");
static_assert(sizeof(EXIFIFD1INFO) == 6192, "EXIFIFD1INFO is 6192 bytes");
QM_CHECK_OFFSET(EXIFIFD0INFO, Compression, 0);
QM_CHECK_OFFSET(EXIFIFD0INFO, Orientation, 2);
QM_CHECK_OFFSET(EXIFIFD0INFO, YCbCrPositioning, 4);
QM_CHECK_OFFSET(EXIFIFD0INFO, XResolution, 8);
QM_CHECK_OFFSET(EXIFIFD0INFO, YResolution, 16);
QM_CHECK_OFFSET(EXIFIFD0INFO, ResolutionUnit, 24);
QM_CHECK_OFFSET(EXIFIFD0INFO, DateTime, 26);
QM_CHECK_OFFSET(EXIFIFD0INFO, ImageDescription, 46);
QM_CHECK_OFFSET(EXIFIFD0INFO, Make, 1070);
QM_CHECK_OFFSET(EXIFIFD0INFO, Model, 2094);
QM_CHECK_OFFSET(EXIFIFD0INFO, Software, 3118);
QM_CHECK_OFFSET(EXIFIFD0INFO, Artist, 4142);
QM_CHECK_OFFSET(EXIFIFD0INFO, Copyright, 5166);
QM_CHECK_OFFSET(EXIFIFD1INFO, Copyright, 5166);

static_assert(sizeof(EXIFINFO) == 15708, "EXIFINFO is 15708 bytes");
QM_CHECK_OFFSET(EXIFINFO, Ifd1, 6196);
QM_CHECK_OFFSET(EXIFINFO, Thumbnail, 12388);
QM_CHECK_OFFSET(EXIFINFO, ExifVersion, 12392);
QM_CHECK_OFFSET(EXIFINFO, FlashpixVersion, 12397);
QM_CHECK_OFFSET(EXIFINFO, ColorSpace, 12402);
QM_CHECK_OFFSET(EXIFINFO, PixelXDimension, 12404);
QM_CHECK_OFFSET(EXIFINFO, PixelYDimension, 12408);
QM_CHECK_OFFSET(EXIFINFO, ComponentsConfiguration, 12412);
QM_CHECK_OFFSET(EXIFINFO, CompressedBitsPerPixel, 12420);
QM_CHECK_OFFSET(EXIFINFO, MakerNote, 12428);
QM_CHECK_OFFSET(EXIFINFO, UserComment, 13452);
QM_CHECK_OFFSET(EXIFINFO, UserCommentCode, 14476);
QM_CHECK_OFFSET(EXIFINFO, DateTimeOriginal, 14484);
QM_CHECK_OFFSET(EXIFINFO, DateTimeDigitized, 14504);
QM_CHECK_OFFSET(EXIFINFO, SubSecTime, 14524);
QM_CHECK_OFFSET(EXIFINFO, SubSecTimeOriginal, 14534);
QM_CHECK_OFFSET(EXIFINFO, SubSecTimeDigitized, 14544);
QM_CHECK_OFFSET(EXIFINFO, ExposureTime, 14556);
QM_CHECK_OFFSET(EXIFINFO, ShutterSpeedValue, 14564);
QM_CHECK_OFFSET(EXIFINFO, ApertureValue, 14572);
QM_CHECK_OFFSET(EXIFINFO, BrightnessValue, 14580);
QM_CHECK_OFFSET(EXIFINFO, ExposureBiasValue, 14588);
QM_CHECK_OFFSET(EXIFINFO, MaxApertureValue, 14596);
QM_CHECK_OFFSET(EXIFINFO, SubjectDistance, 14604);
QM_CHECK_OFFSET(EXIFINFO, MeteringMode, 14612);
QM_CHECK_OFFSET(EXIFINFO, LightSource, 14614);
QM_CHECK_OFFSET(EXIFINFO, Flash, 14616);
QM_CHECK_OFFSET(EXIFINFO, FocalLength, 14620);
QM_CHECK_OFFSET(EXIFINFO, FNumber, 14628);
QM_CHECK_OFFSET(EXIFINFO, ExposureProgram, 14636);
QM_CHECK_OFFSET(EXIFINFO, SpectralSensitivity, 14638);
QM_CHECK_OFFSET(EXIFINFO, ISOSpeedRatings, 15662);
QM_CHECK_OFFSET(EXIFINFO, FlashEnergy, 15664);
QM_CHECK_OFFSET(EXIFINFO, FocalPlaneXResolution, 15672);
QM_CHECK_OFFSET(EXIFINFO, FocalPlaneYResolution, 15680);
QM_CHECK_OFFSET(EXIFINFO, FocalPlaneResolutionUnit, 15688);
QM_CHECK_OFFSET(EXIFINFO, SubjectLocationY, 15690);
QM_CHECK_OFFSET(EXIFINFO, SubjectLocationX, 15692);
QM_CHECK_OFFSET(EXIFINFO, ExposureIndex, 15696);
QM_CHECK_OFFSET(EXIFINFO, SensingMethod, 15704);
QM_CHECK_OFFSET(EXIFINFO, FileSource, 15706);
QM_CHECK_OFFSET(EXIFINFO, SceneType, 15707);
#undef QM_CHECK_OFFSET
#endif

#endif /* ALBUMDESK_JPEGMODULE_QM6JPEG_H */
