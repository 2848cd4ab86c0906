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
 * opaque handles; the caller owns every buffer and record it passes in.
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

/* Rings: a producer takes the next slot (NULL while the ring is full), writes a packet
 * (or several) into it and commits the bytes written; commits go to the slots in the
 * order they were handed out, a commit larger than the slot counts as the slot. Once
 * attached (which empties the ring), every DvcDecode of that decoder takes its frame
 * from the ring, and returns -1 until a whole frame is there; it first drops the oldest
 * bytes beyond the low mark (keep that at two frames or more). The ring stays the
 * caller's: free it after the decoder's last decode. */
ZEB_DV32_API int16_t DvcAddRingBuffer(DvDecoder* decoder, DvRingBuffer* ring);
ZEB_DV32_API int16_t DvcCloseDecoder(DvDecoder* decoder);
ZEB_DV32_API int16_t DvcCloseEncoder(DvEncoder* encoder);
ZEB_DV32_API DvcResult DvcDecode(DvDecoder* decoder, uint8_t* source, uint32_t sourceLength,
                                 uint8_t* destination, uint32_t* outputSize, DvcDibFormat* format);
/* Writes the head, the quantiser numbers and the video data of the video blocks of the
 * DVF image at destination (32 + 11920 x 10 or 12 bytes; its other bytes stay as they
 * are); -400 for a width other than 720, -300 for input it cannot read. */
ZEB_DV32_API DvcResult DvcEncode(DvEncoder* encoder, uint8_t* destination, const uint8_t* source,
                                 DvcDibFormat* format);
ZEB_DV32_API void DvcFreeRingBuffer(DvRingBuffer* ring);
ZEB_DV32_API uint32_t DvcGetDibInfo(uint32_t width, uint32_t height);
ZEB_DV32_API int16_t DvcGetLastErrorEncoder(void);
ZEB_DV32_API uint8_t* DvcGetNextRingBuffer(DvRingBuffer* ring, uint32_t* slotSize);
ZEB_DV32_API DvRingBuffer* DvcNewRingBuffer(uint32_t unit, uint32_t count, uint32_t lowMark);
ZEB_DV32_API DvDecoder* DvcOpenDecoder(uint8_t flags);
ZEB_DV32_API DvEncoder* DvcOpenEncoder(uint8_t flags);
ZEB_DV32_API int16_t DvcUpdateRingBuffer(DvRingBuffer* ring, uint32_t bytes);

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
inline constexpr Export kExports[13] = {
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
