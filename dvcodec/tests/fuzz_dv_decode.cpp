// Feeds arbitrary frames to DvcDecode: both systems, every input form, every listed size
// (and some others), every resampling and filter mode.
//
// Input: byte 0 flags (bit 0: 625/50; bits 1-2: input form; bit 3: repeat the payload
// to the exact length of the form; bit 4: no source), byte 1 the size, byte 2 the
// resampling mode (low nibble) and filter (high nibble), then the payload.
//
// Beyond not crashing, a successful decode must leave the source unchanged and give the
// same picture a second time.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zeb_dv32.h"

namespace {

struct Size {
  uint32_t width, height;
};

constexpr Size kSizes[] = {
    {640, 480}, {720, 480}, {852, 480}, {768, 576}, {720, 576}, {1024, 576}, {320, 240}, {360, 240}, {426, 240},
    {384, 288}, {360, 288}, {512, 288}, {160, 120}, {180, 120}, {213, 120}, {192, 144}, {180, 144}, {256, 144},
    {80, 60},   {90, 60},   {106, 60},  {96, 72},   {90, 72},   {128, 72},  {700, 480}, {123, 100}, {720, 479},
    {1, 1},     {2000, 3},  {16, 1000}, {0, 480},   {720, 0},
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  const Size s = kSizes[data[1] % (sizeof kSizes / sizeof kSizes[0])];
  const uint32_t resample = data[2] & 0x0F, filter = data[2] >> 4;
  const int system = (flags & 1) ? 625 : 525;
  const uint32_t form = (flags >> 1) & 3;
  const uint8_t* payload = data + 3;
  const size_t payloadSize = size - 3;

  std::vector<uint8_t> source;
  if (flags & 8) {
    const size_t sequences = system == 625 ? 12 : 10;
    source.resize(form == DVC_FORM_DVF ? 32 + sequences * 11920 : sequences * 12000);
    for (size_t i = 0; i < source.size(); ++i) source[i] = payloadSize ? payload[i % payloadSize] : 0;
  } else {
    source.assign(payload, payload + payloadSize);
  }
  const std::vector<uint8_t> original = source;

  const size_t stride = (size_t(s.width) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> first(stride * s.height + 1, 0xA5), second(first);
  DvDecoder* d = DvcOpenDecoder(flags & 1);
  if (!d) return 0;
  uint8_t* src = (flags & 16) ? nullptr : source.data();
  DvcDibFormat f = {s.width, s.height, 1, 24, 1, 1, 0, 0, filter, resample, form};
  uint32_t outSize = 0;
  const DvcResult r = DvcDecode(d, src, uint32_t(source.size()), first.data(), &outSize, &f);
  check(first.back() == 0xA5);  // nothing beyond stride x height
  check(source == original);
  if (r == DVC_OK) {
    check(outSize == stride * s.height);
    DvcDibFormat g = {s.width, s.height, 1, 24, 1, 1, 0, 0, filter, resample, form};
    check(DvcDecode(d, src, uint32_t(source.size()), second.data(), nullptr, &g) == DVC_OK);
    check(first == second);
  }
  DvcCloseDecoder(d);
  return 0;
}
