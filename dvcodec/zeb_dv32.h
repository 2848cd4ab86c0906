/* zeb_dv32: the DV frame codec library.
 *
 * Decodes one consumer DV frame (525/60 or 625/50) into the pixel array of a
 * 24-bit bottom-up bitmap, with optional aspect resampling. The library exports
 * thirteen plain C functions over opaque handles; the caller owns every buffer and
 * record it passes in.
 *
 * A decoder is used by one thread at a time. Decoders never change the source
 * frame: the same buffer may be decoded any number of times.
 *
 * This version decodes DVF images and plain DV frames at full size (heights 480 and
 * 576 and any height outside the size table). Packet streams, attached rings and the
 * reduced sizes report -400, the picture filters leave the picture as decoded, and
 * the ring and encoder exports give NULL (or -400 from DvcEncode).
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
  DVC_ERR_BAD_ARGUMENT = -300, /* unknown size, missing decoder or format */
  DVC_ERR_UNSUPPORTED = -400
};

/* The caller's description of the bitmap: eleven 32-bit fields, 44 bytes. */
typedef struct DvcDibFormat {
  uint32_t width;     /* output width in pixels */
  uint32_t height;    /* output height in rows */
  uint32_t reserved1; /* not read */
  uint32_t bitCount;  /* written by DvcDecode: 24 */
  uint32_t layout;    /* encoder input only: 1 = 24-bit BGR, else 32-bit aRGB */
  uint32_t reserved2; /* not read */
  uint32_t reserved3; /* not read */
  uint32_t stride;    /* written by DvcDecode: 3 x width rounded up to a multiple of 4 */
  uint32_t filter;    /* picture filter 0-4 applied to the full-size picture */
  uint32_t resample;  /* 0 none, 1 nearest neighbour, 2 filtered; may be rewritten */
  uint32_t inputForm; /* 0 DVF frame image, 1 DV packet stream, 2 plain DV frame */
} DvcDibFormat;

/* Input forms of DvcDibFormat.inputForm. */
enum { DVC_FORM_DVF = 0, DVC_FORM_PACKETS = 1, DVC_FORM_FRAME = 2 };

/* Flags of DvcOpenDecoder / DvcOpenEncoder: bit 0 set = 625/50, clear = 525/60. */
enum { DVC_SYSTEM_625 = 1 };

ZEB_DV32_API int16_t DvcAddRingBuffer(DvDecoder* decoder, DvRingBuffer* ring);
ZEB_DV32_API int16_t DvcCloseDecoder(DvDecoder* decoder);
ZEB_DV32_API int16_t DvcCloseEncoder(DvEncoder* encoder);
ZEB_DV32_API DvcResult DvcDecode(DvDecoder* decoder, uint8_t* source, uint32_t sourceLength,
                                 uint8_t* destination, uint32_t* outputSize, DvcDibFormat* format);
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
