/* zeb_dv32: the DV frame codec library.
 *
 * Decodes one consumer DV frame (525/60 or 625/50) into the pixel array of a
 * 24-bit bottom-up bitmap: at full, half, quarter or eighth size (the height
 * chooses), with optional aspect resampling, and at full size with an optional
 * picture filter (line averaging, motion-adaptive de-interlacing keeping either
 * field, edge-directed interpolation). The frame comes as a DVF image, a plain DV
 * frame, a stream of IEEE 1394 DV packets in memory, or from a ring buffer that a
 * producer fills with packets. Encodes a 720-wide 24- or 32-bit bitmap into the
 * video blocks of a DVF image. The library exports thirteen plain C functions over
 * opaque handles; the caller owns every buffer and record it passes in. Plain C; the
 * header compiles alone as C99 or later and as C++11 or later.
 *
 * A decoder, an encoder and a ring are each used by one thread at a time; a ring
 * shared by a producer thread and a decoder needs the caller's lock around every
 * call into either. Decoders never change the source frame (the same buffer may be
 * decoded any number of times), and the encoder only reads its bitmap.
 */
#ifndef ZEB_DV32_H
#define ZEB_DV32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZEB_DV32_API __attribute__((visibility("default")))
#else
#define ZEB_DV32_API
#endif

typedef struct DvDecoder DvDecoder;
typedef struct DvEncoder DvEncoder;
typedef struct DvRingBuffer DvRingBuffer;

/* Result codes; callers test the low 16 bits. */
typedef int16_t DvcResult;
enum {
  DVC_OK = 0,
  DVC_ERR_NO_INPUT = -1,       /* no source, unknown input form, or not a whole frame */
  DVC_ERR_NO_MEMORY = -101,
  DVC_ERR_DEST_TOO_SMALL = -102,
  DVC_ERR_BAD_ARGUMENT = -300, /* unknown size, missing decoder or format, input the encoder cannot read */
  DVC_ERR_UNSUPPORTED = -400
};

/* The caller's description of the bitmap: eleven 32-bit fields, 44 bytes. */
typedef struct DvcDibFormat {
  uint32_t width;     /* output width in pixels (encoder: 720) */
  uint32_t height;    /* output height in rows */
  uint32_t reserved1; /* not read */
  uint32_t bitCount;  /* written by DvcDecode: 24 */
  uint32_t layout;    /* encoder input only: 1 = BGR pixels (24 or 32 bits), else 32-bit aRGB */
  uint32_t reserved2; /* not read */
  uint32_t reserved3; /* not read */
  uint32_t stride;    /* written by DvcDecode: 3 x width rounded up to a multiple of 4; read by DvcEncode */
  uint32_t filter;    /* picture filter 0-4 applied to the full-size picture */
  uint32_t resample;  /* 0 none, 1 nearest neighbour, 2 filtered; may be rewritten */
  uint32_t inputForm; /* 0 DVF frame image, 1 DV packet stream, 2 plain DV frame */
} DvcDibFormat;

/* Input forms of DvcDibFormat.inputForm. */
enum { DVC_FORM_DVF = 0, DVC_FORM_PACKETS = 1, DVC_FORM_FRAME = 2 };

/* Flags of DvcOpenDecoder / DvcOpenEncoder: bit 0 set = 625/50, clear = 525/60. */
enum { DVC_SYSTEM_625 = 1 };

/* ---- Decoding ------------------------------------------------------------------- */

/* A decoder for 525/60 frames, or 625/50 ones with DVC_SYSTEM_625 set (the other bits are
 * not looked at); NULL when memory is short. */
ZEB_DV32_API DvDecoder* DvcOpenDecoder(uint8_t flags);
/* Frees the decoder; NULL does nothing. Returns 0. */
ZEB_DV32_API int16_t DvcCloseDecoder(DvDecoder* decoder);

/* Decodes one frame into the pixel rows of a 24-bit bottom-up bitmap (BGR pixels, rows
 * padded to 4 bytes) at destination.
 *
 * format (required) gives the bitmap's width and height, the filter, the resampling and
 * the input form. DvcDecode writes bitCount (24) and stride (3 x width rounded up to a
 * multiple of 4) into it and may rewrite resample. The height chooses the size at which
 * the frame is decoded; at these heights the width must be one of the three given, and
 * any other is refused with -300 (the first of each pair goes with the first height):
 *     height      size      square pixels   the frame's own   16:9
 *     480 / 576   full      640 / 768       720               852 / 1024
 *     240 / 288   half      320 / 384       360               426 / 512
 *     120 / 144   quarter   160 / 192       180               213 / 256
 *      60 /  72   eighth     80 /  96        90               106 / 128
 * At full size a square-pixel width is resampled filtered unless resample asks otherwise;
 * at the smaller sizes any resampling asked for is nearest neighbour; the frame's own
 * width is never resampled. Any other height decodes at full size, resampled as asked. A
 * width or height of 0, or a bitmap of 4 GiB or more, is refused with -300.
 * Whatever the height, the picture has the decoder's lines at the size chosen (480 or 576
 * at full size, for a 525/60 or 625/50 decoder) and the width chosen. A bitmap narrower
 * than the picture receives its top-left part; one at least as wide must have at least the
 * picture's rows, else -102. A bitmap taller than the picture receives it in its first
 * (bottom) rows; its other rows, and the columns right of a narrower picture, keep their
 * bytes.
 *
 * destination must hold stride x height bytes; no byte beyond them is written.
 * DvcGetDibInfo(width, height) is a size that always suffices. A NULL destination writes
 * nothing: the frame is decoded and -1 returned (or -102 as above).
 *
 * source holds sourceLength bytes in the form format->inputForm names: a DVF image (32 +
 * 10 or 12 x 11920 bytes), a plain DV frame (120000 or 144000 bytes) or a stream of DV
 * packets; it is only read. A NULL source, too few bytes or an unknown form give -1 and
 * write nothing. With a ring attached (DvcAddRingBuffer), the frame comes from the ring
 * and source, sourceLength and inputForm are not looked at.
 *
 * outputSize may be NULL; otherwise it receives stride x height when the picture was
 * written and 0 when writing it failed (after the frame was decoded); a call refused
 * earlier leaves it as it was.
 *
 * A NULL decoder or format: -300, and nothing is written. */
ZEB_DV32_API DvcResult DvcDecode(DvDecoder* decoder, uint8_t* source, uint32_t sourceLength,
                                 uint8_t* destination, uint32_t* outputSize, DvcDibFormat* format);
/* The bytes of the pixel rows of a 24-bit bitmap with height rows of at least 720 pixels
 * (width, when wider): (3 x max(width, 720) rounded up to a multiple of 4) x height. A
 * destination of this size holds any picture that DvcDecode writes for a bitmap of that
 * width and height. 0 when the height is 0 or the size does not fit 32 bits. */
ZEB_DV32_API uint32_t DvcGetDibInfo(uint32_t width, uint32_t height);

/* ---- Rings ---------------------------------------------------------------------- */

/* Rings: a producer takes the next slot (NULL while the ring is full), writes a packet
 * (or several) into it and commits the bytes written; commits go to the slots in the
 * order they were handed out, a commit larger than the slot counts as the slot. Once
 * attached (which empties the ring), every DvcDecode of that decoder takes its frame
 * from the ring, and returns -1 until a whole frame is there; it first drops the oldest
 * bytes beyond the low mark (keep that at two frames or more). The ring stays the
 * caller's: free it after the decoder's last decode. */

/* A ring of count slots of unit bytes each; NULL for a unit or count of 0, more than
 * 1048576 slots or 256 MiB, or when memory is short. */
ZEB_DV32_API DvRingBuffer* DvcNewRingBuffer(uint32_t unit, uint32_t count, uint32_t lowMark);
/* The next slot to write into, its size in *slotSize (when slotSize is not NULL); NULL,
 * with a size of 0, while the ring is full or for a NULL ring. */
ZEB_DV32_API uint8_t* DvcGetNextRingBuffer(DvRingBuffer* ring, uint32_t* slotSize);
/* Commits the bytes written into the oldest slot handed out; NULL, or a ring with no slot
 * handed out, does nothing. Returns 0. */
ZEB_DV32_API int16_t DvcUpdateRingBuffer(DvRingBuffer* ring, uint32_t bytes);
/* Attaches the ring to the decoder; a NULL decoder or ring does nothing. Returns 0. */
ZEB_DV32_API int16_t DvcAddRingBuffer(DvDecoder* decoder, DvRingBuffer* ring);
/* Frees the ring; NULL does nothing. */
ZEB_DV32_API void DvcFreeRingBuffer(DvRingBuffer* ring);

/* ---- Encoding ------------------------------------------------------------------- */

/* An encoder for 525/60 frames, or 625/50 ones with DVC_SYSTEM_625 set; NULL when memory
 * is short. */
ZEB_DV32_API DvEncoder* DvcOpenEncoder(uint8_t flags);
/* Frees the encoder; NULL does nothing. Returns 0. */
ZEB_DV32_API int16_t DvcCloseEncoder(DvEncoder* encoder);
/* Writes the head, the quantiser numbers and the video data of the video blocks of the
 * DVF image at destination (32 + 11920 x 10 or 12 bytes; its other bytes stay as they
 * are). source holds the picture top row first, format->height rows (at least the frame's
 * 480 or 576) of format->stride bytes, in the pixels format->bitCount and format->layout
 * give (24 bits need layout 1). -400 for a width other than 720; -300 for a NULL format,
 * encoder, destination or source, or input it cannot read. */
ZEB_DV32_API DvcResult DvcEncode(DvEncoder* encoder, uint8_t* destination, const uint8_t* source,
                                 DvcDibFormat* format);
/* Always 1. */
ZEB_DV32_API int16_t DvcGetLastErrorEncoder(void);

#ifdef __cplusplus
}  /* extern "C" */

/* The export table. ELF binds by name; the ordinals are kept as the library's
 * documented numbering of its exports (the alphabetical order of the names), which
 * callers that bind by number on other platforms rely on. A test compares this table
 * with the symbols the library exports. */
namespace zebdv {
struct Export {
  int ordinal;
  const char* name;
};
constexpr Export kExports[13] = {
    {1, "DvcAddRingBuffer"},     {2, "DvcCloseDecoder"},       {3, "DvcCloseEncoder"},
    {4, "DvcDecode"},            {5, "DvcEncode"},             {6, "DvcFreeRingBuffer"},
    {7, "DvcGetDibInfo"},        {8, "DvcGetLastErrorEncoder"}, {9, "DvcGetNextRingBuffer"},
    {10, "DvcNewRingBuffer"},    {11, "DvcOpenDecoder"},       {12, "DvcOpenEncoder"},
    {13, "DvcUpdateRingBuffer"},
};
static_assert(sizeof(DvcDibFormat) == 44, "DvcDibFormat is eleven 32-bit fields");
}  // namespace zebdv
#endif

#endif /* ZEB_DV32_H */
