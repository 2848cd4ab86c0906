/* The toolkit's picture operations (libQm6Effect.so): what the program does to
 * pictures in memory. A picture is a handle of a packed bitmap in the global memory of
 * libQm6Com.so (see toolkit/com/qm6com.h); 0 is none.
 *
 * Every operation that returns a picture returns a new one, which the caller releases
 * with ImageFree; the pictures handed in stay the caller's. New pictures are 24-bit,
 * bottom-up. The operations take 24-bit pictures and 8-bit pictures with a palette.
 * Only a zero handle or result is a failure.
 *
 * Coordinates count from the top-left pixel of a picture, x to the right and y down.
 * Plain C linkage.
 */
#ifndef ALBUMDESK_TOOLKIT_QM6EFFECT_H
#define ALBUMDESK_TOOLKIT_QM6EFFECT_H

#include <stdint.h>

#include "toolkit/com/qm6com.h"

#if defined(QM6EFFECT_BUILD)
#define QM6EFFECT_API __attribute__((visibility("default")))
#else
#define QM6EFFECT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A clip: a picture cut from another one, and a small block that records where it came
 * from (four i32: left, top, width, height in the source). Both handles are the
 * caller's to release. */
typedef struct QmClip {
  QmHandle picture;
  QmHandle place;
} QmClip;

/* ClipCut shapes. */
enum { QM_CLIP_WHOLE = 1, QM_CLIP_POLYGON = 2 };

/* Fills the record (bits per pixel at byte 0, width at 16, height at 20); non-zero when
 * the handle holds a picture the operations can take. */
QM6EFFECT_API QmBool ImageInfo(QmHandle picture, ImageKindRecord* info);
/* Releases a picture (or any block); 0 does nothing. */
QM6EFFECT_API void ImageFree(QmHandle picture);
/* An equal copy, block for block. */
QM6EFFECT_API QmHandle ImageCopy(QmHandle picture);
/* A picture of the size filled with the colour; bits must be 24. */
QM6EFFECT_API QmHandle ImageCreate(int32_t width, int32_t height, int32_t bits, int32_t red, int32_t green,
                                   int32_t blue);
/* A copy at the depth; bits must be 24. */
QM6EFFECT_API QmHandle ImageToDepth(QmHandle picture, int32_t bits);

/* Cuts a clip: QM_CLIP_WHOLE the whole picture (points and count unused);
 * QM_CLIP_POLYGON the rectangle whose corners are the count (x, y) pairs of points (an
 * axis-parallel rectangle; its right and bottom edges lie outside it, so (0, 0), (w, 0),
 * (w, h), (0, h) is the whole of a w x h picture). The rectangle is cut where it lies on
 * the picture; one that misses it, or another shape, fails. */
QM6EFFECT_API QmBool ClipCut(QmHandle picture, QmClip* clip, int32_t shape, const int32_t* points, int32_t count);
/* The clip's picture scaled to exactly width x height into a new clip. Shrinking
 * averages the source area behind each new pixel; enlarging interpolates linearly. */
QM6EFFECT_API QmBool ClipResize(const QmClip* clip, QmClip* resized, int32_t width, int32_t height);
/* The picture scaled to exactly width x height, as ClipResize of a clip of the whole
 * picture gives it, without the copy that the clip costs. */
QM6EFFECT_API QmHandle ImageResize(QmHandle picture, int32_t width, int32_t height);
/* A new picture: the canvas with the clip's picture turned by the angle (hundredths of a
 * degree, counter-clockwise; whole quarter turns only, which turn every pixel exactly)
 * laid over it with its centre at (centreX, centreY). The centre of a w x h picture is
 * its pixel (w / 2, h / 2), so a clip as large as the canvas lies exactly on it when
 * centred on the canvas's centre. What falls outside the canvas is dropped. */
QM6EFFECT_API QmHandle ClipPaste(QmHandle canvas, const QmClip* clip, int32_t angle, int32_t centreX,
                                 int32_t centreY);
/* A new picture: the background with the picture laid over it, its top-left pixel at
 * (left, top). What falls outside the background is dropped. */
QM6EFFECT_API QmHandle ImageOverlay(QmHandle background, QmHandle picture, int32_t left, int32_t top);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* ALBUMDESK_TOOLKIT_QM6EFFECT_H */
