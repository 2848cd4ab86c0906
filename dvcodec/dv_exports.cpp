// The library's exported functions. Handles are the library's own objects behind
// opaque pointer types.
#include "dv_decoder.h"
#include "dv_encoder.h"
#include "dv_pixel.h"
#include "dv_ring.h"
#include "zeb_dv32.h"

namespace {

zebdv::Decoder* decoderOf(DvDecoder* handle) { return reinterpret_cast<zebdv::Decoder*>(handle); }

}  // namespace

extern "C" {

DvDecoder* DvcOpenDecoder(uint8_t flags) { return reinterpret_cast<DvDecoder*>(zebdv::openDecoder(flags)); }

int16_t DvcCloseDecoder(DvDecoder* decoder) {
  zebdv::closeDecoder(decoderOf(decoder));
  return 0;
}

DvcResult DvcDecode(DvDecoder* decoder, uint8_t* source, uint32_t sourceLength, uint8_t* destination,
                    uint32_t* outputSize, DvcDibFormat* format) {
  return zebdv::decode(decoderOf(decoder), source, sourceLength, destination, outputSize, format);
}

uint32_t DvcGetDibInfo(uint32_t width, uint32_t height) {
  uint64_t bytes = 0;
  zebdv::getDibSize(height, width < 720 ? 720 : width, nullptr, &bytes, nullptr);
  return bytes > 0xFFFFFFFFu ? 0 : uint32_t(bytes);  // 0: no such bitmap fits 32 bits
}

int16_t DvcAddRingBuffer(DvDecoder* decoder, DvRingBuffer* ring) {
  zebdv::attachRing(decoderOf(decoder), ring);
  return 0;
}

DvRingBuffer* DvcNewRingBuffer(uint32_t unit, uint32_t count, uint32_t lowMark) {
  return zebdv::ringCreate(unit, count, lowMark);
}

uint8_t* DvcGetNextRingBuffer(DvRingBuffer* ring, uint32_t* slotSize) { return zebdv::ringNextSlot(ring, slotSize); }

int16_t DvcUpdateRingBuffer(DvRingBuffer* ring, uint32_t bytes) {
  zebdv::ringCommit(ring, bytes);
  return 0;
}

void DvcFreeRingBuffer(DvRingBuffer* ring) { zebdv::ringFree(ring); }

DvEncoder* DvcOpenEncoder(uint8_t flags) { return zebdv::openEncoder(flags); }

DvcResult DvcEncode(DvEncoder* encoder, uint8_t* destination, const uint8_t* source, DvcDibFormat* format) {
  return zebdv::encode(encoder, destination, source, format);
}

int16_t DvcCloseEncoder(DvEncoder* encoder) {
  zebdv::closeEncoder(encoder);
  return 0;
}

int16_t DvcGetLastErrorEncoder(void) { return 1; }

}  // extern "C"
