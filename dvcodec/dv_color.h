// The colour conversion of decoded pictures: BT.601 studio-range YCbCr to RGB with
// 22 fractional bits. Shared by the scalar code, the vector kernels and the tests.
#pragma once

#include <cstdint>

namespace zebdv {

inline constexpr int32_t kCoefY = 4883763;    // 1.16438
inline constexpr int32_t kCoefRCr = 6694235;  // 1.59603
inline constexpr int32_t kCoefGCr = -3409172; // -0.81281
inline constexpr int32_t kCoefGCb = -1642531; // -0.39161
inline constexpr int32_t kCoefBCb = 8460875;  // 2.01723
inline constexpr int32_t kRound22 = 0x200000;

inline int32_t clampByte(int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : int32_t(v)); }

// y is the unsigned luminance byte, cr and cb the signed colour differences. round is
// kRound22 for the rounded conversion, 0 for the truncating one of the resamplers.
inline void yccToRgb(int32_t y, int32_t cr, int32_t cb, int32_t round, uint8_t* r, uint8_t* g, uint8_t* b) {
  const int64_t yy = int64_t(kCoefY) * (y - 16) + round;
  *r = uint8_t(clampByte((int64_t(kCoefRCr) * cr + yy) >> 22));
  *g = uint8_t(clampByte((int64_t(kCoefGCr) * cr + int64_t(kCoefGCb) * cb + yy) >> 22));
  *b = uint8_t(clampByte((int64_t(kCoefBCb) * cb + yy) >> 22));
}

}  // namespace zebdv
