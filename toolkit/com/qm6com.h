/* The imaging toolkit's common library (libQm6Com.so).
 *
 * Pictures cross the toolkit and its modules as handles of movable global memory
 * blocks holding a packed device-independent bitmap: a 40-byte header, the palette
 * (8-bit grey only: 256 entries), then the rows bottom-up, each padded to 4 bytes.
 * A handle is a non-zero 32-bit number, so records that keep one in a 32-bit field
 * can hold it. The handle table exists once per process, in this library.
 *
 * The status code, the progress services and the picture helpers below are what
 * the toolkit's modules (the JPEG module first) call. Plain C linkage; the header compiles
 * alone as C99 or later and as C++11 or later.
 */
#ifndef ALBUMDESK_TOOLKIT_QM6COM_H
#define ALBUMDESK_TOOLKIT_QM6COM_H

#include <stddef.h>
#include <stdint.h>

#if defined(QM6COM_BUILD)
#define QM6COM_API __attribute__((visibility("default")))
#else
#define QM6COM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t QmBool;   /* 0 false, 1 true */
typedef uint32_t QmHandle; /* 0 is no block */

/* ---- Movable global memory ------------------------------------------------------ */

/* A new zero-filled block of the given size (at least 1 byte); 0 when it cannot be had.
 * Blocks never move, so a pointer from QmGlobalLock stays good until the block is freed. */
QM6COM_API QmHandle QmGlobalAlloc(size_t bytes);
/* A new block like QmGlobalAlloc's whose bytes are left as they come: for a caller that
 * writes every byte of it at once (a decoded picture), so no time goes into clearing. */
QM6COM_API QmHandle QmGlobalAllocUncleared(size_t bytes);
/* The block's address, counting one lock more; NULL for a handle that is not live. */
QM6COM_API void* QmGlobalLock(QmHandle handle);
/* Counts one lock less. Non-zero while the block stays locked, 0 otherwise. */
QM6COM_API QmBool QmGlobalUnlock(QmHandle handle);
/* The block's size in bytes; 0 for a handle that is not live. */
QM6COM_API size_t QmGlobalSize(QmHandle handle);
/* Frees the block (locked or not). 0 when freed; the handle itself when it was not live. */
QM6COM_API QmHandle QmGlobalFree(QmHandle handle);
/* The number of live blocks in the process (for leak checks). */
QM6COM_API uint32_t QmGlobalCount(void);

/* ---- Status code --------------------------------------------------------------- */

/* The last status of a toolkit call on the calling thread. */
enum {
  QM_STATUS_OK = 0,
  QM_STATUS_CANCELLED = 1,      /* always followed by a failure code */
  QM_STATUS_NO_DIALOG = 2,      /* the progress display could not be opened */
  QM_STATUS_NO_MEMORY = 3,      /* the output bitmap could not be allocated */
  QM_STATUS_BAD_KIND = 4,       /* a bitmap of a kind the operation cannot take */
  QM_STATUS_FAILED = 6,         /* general failure */
  QM_STATUS_SAVE_FAILED = 7,    /* writing stopped */
  QM_STATUS_LOAD_FAILED = 17    /* reading stopped */
};
QM6COM_API int32_t SetErrorStatus(int32_t status); /* returns the status set */
QM6COM_API int32_t GetErrorStatus(void);

/* ---- Bitmaps ------------------------------------------------------------------- */

typedef struct QmBitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} QmBitmapInfoHeader;

/* What GetImageKind reports about a bitmap (40 bytes). */
typedef struct ImageKindRecord {
  uint16_t bitCount;      /* 0: bits per pixel, 0 for a handle that holds no bitmap */
  uint16_t reserved0;
  uint32_t reserved1[3];
  int32_t width;          /* 16 */
  int32_t height;         /* 20 */
  uint32_t paletteEntries; /* 24 */
  uint32_t grey;          /* 28: 1 for an 8-bit bitmap whose palette entries are all grey */
  uint32_t reserved2[2];
} ImageKindRecord;

/* Fills the record for the bitmap and returns it; a handle that holds no bitmap leaves it
 * all 0. A NULL record: NULL, nothing done. */
QM6COM_API ImageKindRecord* GetImageKind(ImageKindRecord* kind, QmHandle dib);
/* Bytes of palette behind the 40-byte header; 0 for a NULL header. */
QM6COM_API uint32_t GetDibPalSize(const QmBitmapInfoHeader* header);
/* Pixels per metre to dots per inch and back, rounded to the nearest whole number. */
QM6COM_API int32_t CovertDotM2I(int32_t pelsPerMetre);
QM6COM_API int32_t CovertDotI2M(int32_t dotsPerInch);
/* Stores a resolution in dots per inch into the bitmap's header as pixels per metre. */
QM6COM_API QmBool QMSetDpi(QmHandle dib, int32_t xDpi, int32_t yDpi);

/* ---- Files --------------------------------------------------------------------- */

/* Size of the named regular file; -1 when there is none (or the path is NULL). */
QM6COM_API int64_t DataFileNameSize(const char* path);
/* Deletes the file. Non-zero when a file was removed; 0 when there was none to remove (or
 * the path is NULL), which the toolkit's callers take as no error. */
QM6COM_API QmBool DataFileDelete(const char* path);

/* ---- Progress ------------------------------------------------------------------ */

/* The program shows progress (and lets the user cancel) through a hook. Any member may
 * be NULL. With no hook, opening succeeds, progress goes on and nothing is shown. */
typedef struct QmProgressHook {
  void* user;
  /* Opens the display with the three values a caller handed to a toolkit operation;
   * 0 when it cannot be opened. */
  QmBool (*open)(void* user, int32_t value1, int32_t value2, int32_t value3);
  void (*close)(void* user);
  /* current of total done (current may pass total by one at the end), on the scale
   * low..high; context is the caller's progress context (0 for the toolkit's own
   * display). Returns 0 to cancel. */
  QmBool (*progress)(void* user, int32_t current, int32_t total, int32_t low, int32_t high,
                     intptr_t context);
} QmProgressHook;

/* Registers the hook (copied); NULL removes it. */
QM6COM_API void QmSetProgressHook(const QmProgressHook* hook);

QM6COM_API QmBool PercentDlgOpen(int32_t value1, int32_t value2, int32_t value3);
QM6COM_API void PercentDlgClose(void);
QM6COM_API QmBool PercentProgress(int32_t current, int32_t total, int32_t low, int32_t high,
                                  intptr_t context);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(QmBitmapInfoHeader) == 40, "QmBitmapInfoHeader is 40 bytes");
static_assert(sizeof(ImageKindRecord) == 40, "ImageKindRecord is 40 bytes");
static_assert(offsetof(ImageKindRecord, width) == 16, "ImageKindRecord.width");
static_assert(offsetof(ImageKindRecord, height) == 20, "ImageKindRecord.height");
static_assert(offsetof(ImageKindRecord, grey) == 28, "ImageKindRecord.grey");
#endif

#endif /* ALBUMDESK_TOOLKIT_QM6COM_H */
