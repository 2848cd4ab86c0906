// The body of the kernels (see dv_kernels.h). This file is compiled twice, once per
// instruction set, by dv_kernels_portable.cpp and dv_kernels_avx2.cpp; everything in
// it has internal linkage so the two builds never mix. It uses the compiler's vector
// types (GCC and Clang), which become plain SSE2 code in the portable build.
//
// Before including, define ZEBDV_KERNEL_TABLE_FN (the name of the function that returns
// this build's table) and ZEBDV_KERNEL_NAME.

#include <cstring>

#include "dv_color.h"
#include "dv_kernels.h"

// 32-byte vectors pass between these internal functions only (all inlined), so the
// calling convention for them outside AVX builds does not matter.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace zebdv {
namespace {

typedef float v8sf __attribute__((vector_size(32)));
typedef int32_t v8si __attribute__((vector_size(32)));
typedef int8_t v32qi __attribute__((vector_size(32)));
typedef uint8_t v32qu __attribute__((vector_size(32)));

inline v8sf loadf(const float* p) {
  v8sf v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void storef(float* p, v8sf v) { std::memcpy(p, &v, sizeof v); }
inline v8si loadi(const uint8_t* p) {
  v8si v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void storei(uint8_t* p, v8si v) { std::memcpy(p, &v, sizeof v); }
inline v8si splat(int32_t x) { return v8si{x, x, x, x, x, x, x, x}; }
inline v8sf splatf(float x) { return v8sf{x, x, x, x, x, x, x, x}; }
inline v8si vmax(v8si a, v8si b) {
  v8si m = a > b;
  return (a & m) | (b & ~m);
}
inline v8si vmin(v8si a, v8si b) {
  v8si m = a < b;
  return (a & m) | (b & ~m);
}

// One fast 8-point inverse DCT across eight vectors (lane-wise). The inputs carry the
// factorisation's pre-scales; the DC passes with gain 1.
inline void idct8(v8sf* v) {
  const v8sf c1414 = splatf(1.414213562f);
  const v8sf c1847 = splatf(1.847759065f);
  const v8sf c1082 = splatf(1.082392200f);
  const v8sf c2613 = splatf(2.613125930f);
  // Even part.
  v8sf tmp10 = v[0] + v[4];
  v8sf tmp11 = v[0] - v[4];
  v8sf tmp13 = v[2] + v[6];
  v8sf tmp12 = (v[2] - v[6]) * c1414 - tmp13;
  v8sf e0 = tmp10 + tmp13, e3 = tmp10 - tmp13, e1 = tmp11 + tmp12, e2 = tmp11 - tmp12;
  // Odd part.
  v8sf z13 = v[5] + v[3], z10 = v[5] - v[3], z11 = v[1] + v[7], z12 = v[1] - v[7];
  v8sf o7 = z11 + z13;
  v8sf o11 = (z11 - z13) * c1414;
  v8sf z5 = (z10 + z12) * c1847;
  v8sf o10 = z5 - z12 * c1082;
  v8sf o12 = z5 - z10 * c2613;
  v8sf o6 = o12 - o7;
  v8sf o5 = o11 - o6;
  v8sf o4 = o10 - o5;
  v[0] = e0 + o7;
  v[7] = e0 - o7;
  v[1] = e1 + o6;
  v[6] = e1 - o6;
  v[2] = e2 + o5;
  v[5] = e2 - o5;
  v[3] = e3 + o4;
  v[4] = e3 - o4;
}

// The even half of the above: a 4-point inverse DCT of v[0..3] (pre-scaled by the
// factors of frequencies 0, 2, 4 and 6).
inline void idct4(v8sf* v) {
  const v8sf c1414 = splatf(1.414213562f);
  v8sf tmp10 = v[0] + v[2];
  v8sf tmp11 = v[0] - v[2];
  v8sf tmp13 = v[1] + v[3];
  v8sf tmp12 = (v[1] - v[3]) * c1414 - tmp13;
  v[0] = tmp10 + tmp13;
  v[1] = tmp11 + tmp12;
  v[2] = tmp11 - tmp12;
  v[3] = tmp10 - tmp13;
}

inline void transpose8(v8sf* r) {
  v8sf t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 1, 9, 4, 12, 5, 13);
  v8sf t1 = __builtin_shufflevector(r[0], r[1], 2, 10, 3, 11, 6, 14, 7, 15);
  v8sf t2 = __builtin_shufflevector(r[2], r[3], 0, 8, 1, 9, 4, 12, 5, 13);
  v8sf t3 = __builtin_shufflevector(r[2], r[3], 2, 10, 3, 11, 6, 14, 7, 15);
  v8sf t4 = __builtin_shufflevector(r[4], r[5], 0, 8, 1, 9, 4, 12, 5, 13);
  v8sf t5 = __builtin_shufflevector(r[4], r[5], 2, 10, 3, 11, 6, 14, 7, 15);
  v8sf t6 = __builtin_shufflevector(r[6], r[7], 0, 8, 1, 9, 4, 12, 5, 13);
  v8sf t7 = __builtin_shufflevector(r[6], r[7], 2, 10, 3, 11, 6, 14, 7, 15);
  v8sf s0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
  v8sf s1 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
  v8sf s2 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
  v8sf s3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
  v8sf s4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
  v8sf s5 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
  v8sf s6 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
  v8sf s7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
  r[0] = __builtin_shufflevector(s0, s4, 0, 1, 2, 3, 8, 9, 10, 11);
  r[1] = __builtin_shufflevector(s1, s5, 0, 1, 2, 3, 8, 9, 10, 11);
  r[2] = __builtin_shufflevector(s2, s6, 0, 1, 2, 3, 8, 9, 10, 11);
  r[3] = __builtin_shufflevector(s3, s7, 0, 1, 2, 3, 8, 9, 10, 11);
  r[4] = __builtin_shufflevector(s0, s4, 4, 5, 6, 7, 12, 13, 14, 15);
  r[5] = __builtin_shufflevector(s1, s5, 4, 5, 6, 7, 12, 13, 14, 15);
  r[6] = __builtin_shufflevector(s2, s6, 4, 5, 6, 7, 12, 13, 14, 15);
  r[7] = __builtin_shufflevector(s3, s7, 4, 5, 6, 7, 12, 13, 14, 15);
}

// Rounds half away from zero, clamps to -128..127 and stores eight rows of bytes.
inline void storeSamples(const v8sf* rows, int8_t* out) {
  const v8si signBit = splat(int32_t(0x80000000u));
  const v8si halfBits = splat(0x3F000000);  // 0.5f
  for (int y = 0; y < 8; ++y) {
    v8si sign = (v8si)rows[y] & signBit;
    v8sf half = (v8sf)(sign | halfBits);
    v8si v = __builtin_convertvector(rows[y] + half, v8si);
    v = vmin(vmax(v, splat(-128)), splat(127));
    v32qi bytes = (v32qi)v;
    v32qi packed = __builtin_shufflevector(bytes, bytes, 0, 4, 8, 12, 16, 20, 24, 28, 0, 4, 8, 12, 16, 20, 24,
                                           28, 0, 4, 8, 12, 16, 20, 24, 28, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(out + 8 * y, &packed, 8);
  }
}

// Loads the coefficient vectors (one per horizontal frequency) and clears the block.
inline void loadCoefficients(float* c, v8sf* v) {
  const v8sf zero = splatf(0.0f);
  for (int h = 0; h < 8; ++h) {
    v[h] = loadf(c + 8 * h);
    storef(c + 8 * h, zero);
  }
}

void idct88(float* coefficients, int8_t* samples) {
  v8sf v[8];
  loadCoefficients(coefficients, v);
  idct8(v);       // horizontal: v[x] holds column x, lanes are vertical frequencies
  transpose8(v);  // v[f] holds vertical frequency f, lanes are columns
  idct8(v);       // vertical: v[y] is row y
  storeSamples(v, samples);
}

void idct248(float* coefficients, int8_t* samples) {
  v8sf v[8];
  loadCoefficients(coefficients, v);
  idct8(v);
  transpose8(v);
  // Rows 0-3 hold the sums of the line pairs, rows 4-7 their differences.
  idct4(v);
  idct4(v + 4);
  v8sf rows[8];
  for (int z = 0; z < 4; ++z) {
    rows[2 * z] = v[z] + v[4 + z];
    rows[2 * z + 1] = v[z] - v[4 + z];
  }
  storeSamples(rows, samples);
}

inline v8si clamp255(v8si v) { return vmin(vmax(v, splat(0)), splat(255)); }

void yccaToBgr24Row(const uint8_t* src, uint8_t* dst, int32_t n) {
  const v8si lowMask = splat(0x3FFFFF);
  int32_t x = 0;
  for (; x + 8 <= n; x += 8, src += 32, dst += 24) {
    const v8si px = loadi(src);
    const v8si y = px & splat(0xFF);
    const v8si cr = (px << 16) >> 24;
    const v8si cb = (px << 8) >> 24;
    const v8si yy = (y - 16) * kCoefY + kRound22;
    const v8si r = clamp255((cr * kCoefRCr + yy) >> 22);
    const v8si g = clamp255((cr * kCoefGCr + cb * kCoefGCb + yy) >> 22);
    // The blue sum can pass 2^31 for bright, blue pixels: add the two halves separately.
    const v8si bb = cb * kCoefBCb;
    const v8si b = clamp255((yy >> 22) + (bb >> 22) + (((yy & lowMask) + (bb & lowMask)) >> 22));
    const v32qu bgr = (v32qu)(b | (g << 8) | (r << 16));
    const v32qu packed = __builtin_shufflevector(bgr, bgr, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20,
                                                 21, 22, 24, 25, 26, 28, 29, 30, 0, 0, 0, 0, 0, 0, 0, 0);
    std::memcpy(dst, &packed, 24);
  }
  for (; x < n; ++x, src += 4, dst += 3) {
    yccToRgb(src[0], int8_t(src[1]), int8_t(src[2]), kRound22, dst + 2, dst + 1, dst);
  }
}

void upsample411Row(uint8_t* row, int32_t width) {
  const v8si k = v8si{0, 1, 2, 3, 0, 1, 2, 3};
  const v8si keep = splat(int32_t(0xFF0000FFu));
  for (int32_t x = 0; x < width; x += 8) {
    const v8si px = loadi(row + 4 * x);
    // The sample after this vector's two groups (the last group repeats its own).
    const uint8_t* next = x + 8 < width ? row + 4 * (x + 8) : row + 4 * (x + 4);
    int32_t nextWord;
    std::memcpy(&nextWord, next, 4);
    const v8si nx = splat(nextWord);
    const v8si cr = (px << 16) >> 24, cb = (px << 8) >> 24;
    const v8si ncr = (nx << 16) >> 24, ncb = (nx << 8) >> 24;
    const v8si a = __builtin_shufflevector(cr, cr, 0, 0, 0, 0, 4, 4, 4, 4);
    const v8si b = __builtin_shufflevector(cr, ncr, 4, 4, 4, 4, 8, 8, 8, 8);
    const v8si c = __builtin_shufflevector(cb, cb, 0, 0, 0, 0, 4, 4, 4, 4);
    const v8si d = __builtin_shufflevector(cb, ncb, 4, 4, 4, 4, 8, 8, 8, 8);
    const v8si icr = ((a << 2) + k * (b - a)) >> 2;
    const v8si icb = ((c << 2) + k * (d - c)) >> 2;
    storei(row + 4 * x, (px & keep) | ((icr & 0xFF) << 8) | ((icb & 0xFF) << 16));
  }
}

}  // namespace

const Kernels& ZEBDV_KERNEL_TABLE_FN() {
  static const Kernels table = {ZEBDV_KERNEL_NAME, idct88, idct248, yccaToBgr24Row, upsample411Row};
  return table;
}

}  // namespace zebdv
