// The body of the kernels (see dv_kernels.h). This file is compiled three times, once per
// instruction set, by dv_kernels_portable.cpp, dv_kernels_avx2.cpp and
// dv_kernels_avx512.cpp; everything in it has internal linkage so the builds never mix.
// It uses the compiler's vector types (GCC and Clang), which become plain SSE2 code in
// the portable build.
//
// Before including, define ZEBDV_KERNEL_TABLE_FN (the name of the function that returns
// this build's table) and ZEBDV_KERNEL_NAME.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
// GCC 12's AVX-512 intrinsics that take part of a register start from an undefined one,
// which its uninitialised-use warning mistakes for a fault.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include "dv_color.h"
#include "dv_edge.h"
#include "dv_encoder.h"
#include "dv_kernels.h"
#include "dv_tables.h"

// 32-byte vectors pass between these internal functions only (all inlined), so the
// calling convention for them outside AVX builds does not matter.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace zebdv {
namespace {

typedef float v8sf __attribute__((vector_size(32)));
typedef int32_t v8si __attribute__((vector_size(32)));
typedef int8_t v32qi __attribute__((vector_size(32)));
typedef uint8_t v32qu __attribute__((vector_size(32)));
typedef float v16sf __attribute__((vector_size(64)));
typedef int16_t v16hi __attribute__((vector_size(32)));
typedef int32_t v16si __attribute__((vector_size(64)));
typedef uint32_t v16su __attribute__((vector_size(64)));
typedef int8_t v16qi __attribute__((vector_size(16)));
typedef uint8_t v16qu __attribute__((vector_size(16)));
typedef int16_t v8hi __attribute__((vector_size(16)));

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
#if defined(__AVX2__)
  return (v8si)_mm256_max_epi32((__m256i)a, (__m256i)b);
#else
  v8si m = a > b;
  return (a & m) | (b & ~m);
#endif
}
inline v8si vmin(v8si a, v8si b) {
#if defined(__AVX2__)
  return (v8si)_mm256_min_epi32((__m256i)a, (__m256i)b);
#else
  v8si m = a < b;
  return (a & m) | (b & ~m);
#endif
}

template <typename V>
inline V splatOf(float x);
template <>
inline v8sf splatOf<v8sf>(float x) {
  return splatf(x);
}
template <>
inline v16sf splatOf<v16sf>(float x) {
  return v16sf{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
}

// One fast 8-point inverse DCT across eight vectors (lane-wise). The inputs carry the
// factorisation's pre-scales; the DC passes with gain 1.
template <typename V>
inline void idct8(V* v) {
  const V c1414 = splatOf<V>(1.414213562f);
  const V c1847 = splatOf<V>(1.847759065f);
  const V c1082 = splatOf<V>(1.082392200f);
  const V c2613 = splatOf<V>(2.613125930f);
  // Even part.
  V tmp10 = v[0] + v[4];
  V tmp11 = v[0] - v[4];
  V tmp13 = v[2] + v[6];
  V tmp12 = (v[2] - v[6]) * c1414 - tmp13;
  V e0 = tmp10 + tmp13, e3 = tmp10 - tmp13, e1 = tmp11 + tmp12, e2 = tmp11 - tmp12;
  // Odd part.
  V z13 = v[5] + v[3], z10 = v[5] - v[3], z11 = v[1] + v[7], z12 = v[1] - v[7];
  V o7 = z11 + z13;
  V o11 = (z11 - z13) * c1414;
  V z5 = (z10 + z12) * c1847;
  V o10 = z5 - z12 * c1082;
  V o12 = z5 - z10 * c2613;
  V o6 = o12 - o7;
  V o5 = o11 - o6;
  V o4 = o10 - o5;
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
template <typename V>
inline void idct4(V* v) {
  const V c1414 = splatOf<V>(1.414213562f);
  V tmp10 = v[0] + v[2];
  V tmp11 = v[0] - v[2];
  V tmp13 = v[1] + v[3];
  V tmp12 = (v[1] - v[3]) * c1414 - tmp13;
  v[0] = tmp10 + tmp13;
  v[1] = tmp11 + tmp12;
  v[2] = tmp11 - tmp12;
  v[3] = tmp10 - tmp13;
}

inline void transpose8(v8sf* r) {
#if defined(__SSE2__) && !defined(__AVX__)
  // Without 32-byte registers: four 4 x 4 transposes of the quarters.
  __m128 lo[8], hi[8];
  for (int i = 0; i < 8; ++i) {
    std::memcpy(&lo[i], &r[i], 16);
    std::memcpy(&hi[i], reinterpret_cast<const float*>(&r[i]) + 4, 16);
  }
  _MM_TRANSPOSE4_PS(lo[0], lo[1], lo[2], lo[3]);
  _MM_TRANSPOSE4_PS(hi[0], hi[1], hi[2], hi[3]);
  _MM_TRANSPOSE4_PS(lo[4], lo[5], lo[6], lo[7]);
  _MM_TRANSPOSE4_PS(hi[4], hi[5], hi[6], hi[7]);
  for (int i = 0; i < 4; ++i) {
    std::memcpy(&r[i], &lo[i], 16);
    std::memcpy(reinterpret_cast<float*>(&r[i]) + 4, &lo[4 + i], 16);
    std::memcpy(&r[4 + i], &hi[i], 16);
    std::memcpy(reinterpret_cast<float*>(&r[4 + i]) + 4, &hi[4 + i], 16);
  }
#else
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
#endif
}

#if defined(__AVX512F__)
// Two blocks side by side: lanes 0-7 the first, 8-15 the second.
inline void transpose8(v16sf* r) {
  __m512 t[8], s[8];
  for (int i = 0; i < 4; ++i) {
    t[2 * i] = _mm512_unpacklo_ps((__m512)r[2 * i], (__m512)r[2 * i + 1]);
    t[2 * i + 1] = _mm512_unpackhi_ps((__m512)r[2 * i], (__m512)r[2 * i + 1]);
  }
  for (int i = 0; i < 2; ++i) {
    s[4 * i] = _mm512_shuffle_ps(t[4 * i], t[4 * i + 2], 0x44);
    s[4 * i + 1] = _mm512_shuffle_ps(t[4 * i], t[4 * i + 2], 0xEE);
    s[4 * i + 2] = _mm512_shuffle_ps(t[4 * i + 1], t[4 * i + 3], 0x44);
    s[4 * i + 3] = _mm512_shuffle_ps(t[4 * i + 1], t[4 * i + 3], 0xEE);
  }
  // Within each block: the lower quarters of s[i] and s[4 + i], then the upper ones.
  const __m512i lower = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 8, 9, 10, 11, 24, 25, 26, 27);
  const __m512i upper = _mm512_setr_epi32(4, 5, 6, 7, 20, 21, 22, 23, 12, 13, 14, 15, 28, 29, 30, 31);
  for (int i = 0; i < 4; ++i) {
    r[i] = (v16sf)_mm512_permutex2var_ps(s[i], lower, s[4 + i]);
    r[4 + i] = (v16sf)_mm512_permutex2var_ps(s[i], upper, s[4 + i]);
  }
}
#endif

// Rounds half away from zero (the truncating conversion after adding 0.5 with the
// value's sign).
inline v8si roundAway(v8sf x) {
  const v8si sign = (v8si)x & splat(int32_t(0x80000000u));
  return __builtin_convertvector(x + (v8sf)(sign | splat(0x3F000000)), v8si);
}

inline v16si roundAway(v16sf x) {
  const v16si sign = (v16si)x & int32_t(0x80000000u);
  return __builtin_convertvector(x + (v16sf)(sign | 0x3F000000), v16si);
}

// Rounds, clamps to -128..127 and stores eight rows of eight bytes, each `stride` bytes
// after the one before, every byte exclusive-ored with `bias` (0x80: + 128).
inline void storeSamples(const v8sf* rows, uint8_t* out, ptrdiff_t stride, uint8_t bias) {
  v8si v[8];
#pragma GCC unroll 8
  for (int y = 0; y < 8; ++y) v[y] = roundAway(rows[y]);
#if defined(__AVX2__)
  // Saturating packs clamp on the way: int32 -> int16 -> int8, then restore the order.
  __m256i w01 = _mm256_packs_epi32((__m256i)v[0], (__m256i)v[1]);
  __m256i w23 = _mm256_packs_epi32((__m256i)v[2], (__m256i)v[3]);
  __m256i w45 = _mm256_packs_epi32((__m256i)v[4], (__m256i)v[5]);
  __m256i w67 = _mm256_packs_epi32((__m256i)v[6], (__m256i)v[7]);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  const __m256i flip = _mm256_set1_epi8(char(bias));
  const __m256i halves[2] = {
      _mm256_xor_si256(_mm256_permutevar8x32_epi32(_mm256_packs_epi16(w01, w23), order), flip),
      _mm256_xor_si256(_mm256_permutevar8x32_epi32(_mm256_packs_epi16(w45, w67), order), flip)};
  if (stride == 8) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), halves[0]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), halves[1]);
    return;
  }
  for (int h = 0; h < 2; ++h) {
    const __m128i lo = _mm256_castsi256_si128(halves[h]), hi = _mm256_extracti128_si256(halves[h], 1);
    uint8_t* at = out + 4 * h * stride;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + stride), _mm_unpackhi_epi64(lo, lo));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 2 * stride), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 3 * stride), _mm_unpackhi_epi64(hi, hi));
  }
#elif defined(__SSE2__)
  const __m128i flip = _mm_set1_epi8(char(bias));
  for (int y = 0; y < 8; y += 2) {
    __m128i a[4];
    std::memcpy(a, &v[y], 32);
    std::memcpy(a + 2, &v[y + 1], 32);
    __m128i r0 = _mm_packs_epi32(a[0], a[1]), r1 = _mm_packs_epi32(a[2], a[3]);
    const __m128i two = _mm_xor_si128(_mm_packs_epi16(r0, r1), flip);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), two);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm_unpackhi_epi64(two, two));
  }
#else
  for (int y = 0; y < 8; ++y) {
    const v8si c = vmin(vmax(v[y], splat(-128)), splat(127));
    for (int x = 0; x < 8; ++x) out[y * stride + x] = uint8_t(int8_t(c[x])) ^ bias;
  }
#endif
}

// Loads the coefficient vectors (one per horizontal frequency) times their weights and
// clears the block.
inline void loadCoefficients(float* c, const float* weights, v8sf* v) {
  const v8sf zero = splatf(0.0f);
#pragma GCC unroll 8
  for (int h = 0; h < 8; ++h) {
    v[h] = loadf(c + 8 * h) * loadf(weights + 8 * h);
    storef(c + 8 * h, zero);
  }
}

// The inverse transforms of the loaded input (v[h] holds horizontal frequency h, lanes
// the vertical frequencies).
inline void inverse88(v8sf* v, uint8_t* out, ptrdiff_t stride, uint8_t bias) {
  idct8(v);       // horizontal: v[x] holds column x, lanes are vertical frequencies
  transpose8(v);  // v[f] holds vertical frequency f, lanes are columns
  idct8(v);       // vertical: v[y] is row y
  storeSamples(v, out, stride, bias);
}

inline void inverse248(v8sf* v, uint8_t* out, ptrdiff_t stride, uint8_t bias) {
  idct8(v);
  transpose8(v);
  // Rows 0-3 hold the sums of the line pairs, rows 4-7 their differences.
  idct4(v);
  idct4(v + 4);
  v8sf rows[8];
#pragma GCC unroll 4
  for (int z = 0; z < 4; ++z) {
    rows[2 * z] = v[z] + v[4 + z];
    rows[2 * z + 1] = v[z] - v[4 + z];
  }
  storeSamples(rows, out, stride, bias);
}

void idct88(float* coefficients, const float* weights, int8_t* samples) {
  v8sf v[8];
  loadCoefficients(coefficients, weights, v);
  inverse88(v, reinterpret_cast<uint8_t*>(samples), 8, 0);
}

void idct248(float* coefficients, const float* weights, int8_t* samples) {
  v8sf v[8];
  loadCoefficients(coefficients, weights, v);
  inverse248(v, reinterpret_cast<uint8_t*>(samples), 8, 0);
}

void idctToRows(float* coefficients, const float* weights, int mode, uint8_t* out, ptrdiff_t stride, uint8_t bias) {
  v8sf v[8];
  loadCoefficients(coefficients, weights, v);
  if (mode) {
    inverse248(v, out, stride, bias);
  } else {
    inverse88(v, out, stride, bias);
  }
}


inline v8si clamp255(v8si v) { return vmin(vmax(v, splat(0)), splat(255)); }

// Eight signed bytes widened to 32-bit lanes.
inline v8si widen8(const int8_t* p) {
#if defined(__AVX2__)
  return (v8si)_mm256_cvtepi8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
#elif defined(__SSE2__)
  const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  const __m128i w = _mm_unpacklo_epi8(b, b);  // each byte twice: sign-extend by shifting
  __m128i half[2] = {_mm_srai_epi32(_mm_unpacklo_epi16(w, w), 24), _mm_srai_epi32(_mm_unpackhi_epi16(w, w), 24)};
  v8si v;
  std::memcpy(&v, half, sizeof v);
  return v;
#else
  return v8si{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]};
#endif
}

// Eight pixels of Y (unsigned) and Cr, Cb (signed) to B, G, R in the low three bytes of
// each lane; `round` is the rounding term of the 22-bit products.
inline v8si yccToBgr8(v8si y, v8si cr, v8si cb, int32_t round) {
  const v8si lowMask = splat(0x3FFFFF);
  const v8si yy = (y - 16) * kCoefY + round;
  const v8si r = clamp255((cr * kCoefRCr + yy) >> 22);
  const v8si g = clamp255((cr * kCoefGCr + cb * kCoefGCb + yy) >> 22);
  // The blue sum can pass 2^31 for bright, blue pixels: add the two halves separately.
  const v8si bb = cb * kCoefBCb;
  const v8si b = clamp255((yy >> 22) + (bb >> 22) + (((yy & lowMask) + (bb & lowMask)) >> 22));
  return b | (g << 8) | (r << 16);
}

// Eight 'YCCa' pixels to B, G, R, rounded to nearest.
inline v8si yccaToBgr8(v8si px) { return yccToBgr8(px & splat(0xFF), (px << 16) >> 24, (px << 8) >> 24, kRound22); }

// The 32-bit pixels at eight byte offsets from `base`.
inline v8si gather8(const uint8_t* base, v8si offsets) {
#if defined(__AVX2__)
  return (v8si)_mm256_i32gather_epi32(reinterpret_cast<const int*>(base), (__m256i)offsets, 1);
#else
  v8si v;
  for (int i = 0; i < 8; ++i) std::memcpy(reinterpret_cast<int32_t*>(&v) + i, base + offsets[i], 4);
  return v;
#endif
}

inline v8si loadLanes(const int32_t* p) {
  v8si v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Stores eight pixels (B, G, R in the low three bytes of each lane) as 3-byte pixels:
// columns j..j+7 of a row of n (only those below n are stored). With AVX2 the bytes are
// packed with shuffles and written with a whole 32-byte store while three more columns
// follow (the next group rewrites the extra bytes); elsewhere pixel by pixel.
inline void storeBgr(uint8_t* dst, v8si bgr, int32_t j, int32_t n) {
#if defined(__AVX2__)
  // Within each 16-byte half first, then the two halves side by side.
  const __m256i lanes = _mm256_shuffle_epi8(
      (__m256i)bgr, _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9,
                                     10, 12, 13, 14, -1, -1, -1, -1));
  const __m256i packed = _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
#if defined(__AVX512BW__) && defined(__AVX512VL__)
  // Exactly the bytes of the pixels below n.
  const int32_t count = n - j < 8 ? n - j : 8;
  _mm256_mask_storeu_epi8(dst, __mmask32((1ull << (3 * count)) - 1), packed);
  return;
#endif
  if (j + 11 <= n) {
    std::memcpy(dst, &packed, 32);
  } else if (j + 8 <= n) {
    std::memcpy(dst, &packed, 24);
  } else {
    uint8_t bytes[32];
    std::memcpy(bytes, &packed, 32);
    std::memcpy(dst, bytes, size_t(n - j) * 3);
  }
#else
  const int32_t count = n - j < 8 ? n - j : 8;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t pixel = uint32_t(bgr[i]);
    dst[3 * i] = uint8_t(pixel);
    dst[3 * i + 1] = uint8_t(pixel >> 8);
    dst[3 * i + 2] = uint8_t(pixel >> 16);
  }
#endif
}

void yccaToBgr24Row(const uint8_t* src, uint8_t* dst, int32_t n) {
  int32_t x = 0;
  for (; x + 8 <= n; x += 8, src += 32, dst += 24) storeBgr(dst, yccaToBgr8(loadi(src)), x, n);
  for (; x < n; ++x, src += 4, dst += 3) {
    yccToRgb(src[0], int8_t(src[1]), int8_t(src[2]), kRound22, dst + 2, dst + 1, dst);
  }
}

// Eight unsigned bytes widened to 32-bit lanes.
inline v8si widen8u(const uint8_t* p) {
#if defined(__AVX2__)
  return (v8si)_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
#else
  return v8si{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]};
#endif
}

// Lanes 0-3 from lane A of s, lanes 4-7 from lane B.
template <int A, int B>
inline v8si twoGroups(v8si s) {
  return __builtin_shufflevector(s, s, A, A, A, A, B, B, B, B);
}

// The four pixels of each of two groups, stepping from each group's sample (lanes of
// `at`) towards the next one (lanes of `next`): (4 c + k (c' - c)) / 4 rounded down.
inline v8si stepGroups(v8si at, v8si next) {
  const v8si k = v8si{0, 1, 2, 3, 0, 1, 2, 3};
  return ((at << 2) + k * (next - at)) >> 2;
}

#if defined(__AVX512VBMI__)
// The blue products moved up by 288 x 2^22, so that the blue sum of yccToBgr (which can
// pass 2^31) stays within an unsigned 32-bit lane and shifts down logically.
inline constexpr int32_t kBlueBias = 288;
inline v16si blueTerm(v16si cb) { return (v16si)((v16su)(cb * kCoefBCb) + (uint32_t(kBlueBias) << 22)); }

// Sixteen pixels of B, G, R from their luminance terms yy = (y - 16) x kCoefY + round and
// colour terms (Cr x kCoefRCr, Cr x kCoefGCr + Cb x kCoefGCb, Cb x kCoefBCb + the bias):
// the sums shifted down as yccToBgr does, clamped to 0-255 by saturating packs, and put
// in pixel order: 48 bytes.
inline __m512i bgrOfTerms(v16si yy, v16si red, v16si green, v16su blueBiased) {
  const v16si r = (red + yy) >> 22, g = (green + yy) >> 22;
  const v16si b = (v16si)((blueBiased + (v16su)yy) >> 22) - kBlueBias;
  // Per 128-bit lane: B, G, R and R again of four pixels.
  const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32((__m512i)b, (__m512i)g),
                                            _mm512_packs_epi32((__m512i)r, (__m512i)r));
  alignas(64) static const uint8_t kOrder[64] = {
      0,  4,  8,  1,  5,  9,  2,  6,  10, 3,  7,  11, 16, 20, 24, 17, 21, 25, 18, 22, 26, 19, 23, 27,
      32, 36, 40, 33, 37, 41, 34, 38, 42, 35, 39, 43, 48, 52, 56, 49, 53, 57, 50, 54, 58, 51, 55, 59};
  return _mm512_permutexvar_epi8(_mm512_load_si512(kOrder), bytes);
}
#endif

// Four samples from p, each twice.
inline v8si pairSamples(const int8_t* p) {
#if defined(__AVX2__)
  int32_t four;
  std::memcpy(&four, p, 4);
  return (v8si)_mm256_permutevar8x32_epi32(_mm256_cvtepi8_epi32(_mm_cvtsi32_si128(four)),
                                           _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
#else
  return v8si{p[0], p[0], p[1], p[1], p[2], p[2], p[3], p[3]};
#endif
}

// Samples g + A (lanes 0-3) and g + B (lanes 4-7) of a line of count samples; a sample
// past the line is the line's last one.
template <int A, int B>
inline v8si groupSamples(const int8_t* p, int32_t g, int32_t count) {
  const int32_t a = g + A < count ? g + A : count - 1, b = g + B < count ? g + B : count - 1;
  const int32_t sa = p[a], sb = p[b];
  return v8si{sa, sa, sa, sa, sb, sb, sb, sb};
}

// The colour difference of pixel x of a line of planes (see planesToBgr24Row).
inline int32_t planeChroma(const int8_t* c, int32_t x, int32_t count, int fourOneOne) {
  if (!fourOneOne) return c[x >> 1];
  const int32_t g = x >> 2, k = x & 3;
  const int32_t at = c[g], next = g + 1 < count ? c[g + 1] : at;
  return (4 * at + k * (next - at)) >> 2;
}

void planesToBgr24Row(const uint8_t* y, const int8_t* cr, const int8_t* cb, uint8_t* dst, int32_t n,
                      int32_t count, int fourOneOne) {
  int32_t x = 0;
#if defined(__AVX512VBMI__)
  // Sixteen pixels a step. The colour differences: sixteen samples from the step's first
  // one (those past the line read as 0 and never used), spread over the pixels; 4:1:1
  // steps each group towards the next sample, the line's last group towards its own.
  const __m512i at411 = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  const __m512i next411 = _mm512_setr_epi32(1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4);
  const __m512i pairs = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
  const v16si k = v16si{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
  for (; x < n; x += 16) {
    const int32_t left = n - x < 16 ? n - x : 16;
    const v16si luma = (v16si)_mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(__mmask16((1u << left) - 1), y + x));
    v16si chroma[2];
    const int8_t* planes[2] = {cr, cb};
    const int32_t first = fourOneOne ? x >> 2 : x >> 1;
    const int32_t samples = count - first < 16 ? count - first : 16;
    for (int c = 0; c < 2; ++c) {
      const __m512i s16 = _mm512_cvtepi8_epi32(_mm_maskz_loadu_epi8(__mmask16((1u << samples) - 1), planes[c] + first));
      if (fourOneOne) {
        const v16si at = (v16si)_mm512_permutexvar_epi32(at411, s16);
        v16si next = (v16si)_mm512_permutexvar_epi32(next411, s16);
        if (samples < 5) next = (v16si)_mm512_mask_blend_epi32(__mmask16(0xFFFFu << (4 * (samples - 1))), (__m512i)next, (__m512i)at);
        chroma[c] = ((at << 2) + k * (next - at)) >> 2;
      } else {
        chroma[c] = (v16si)_mm512_permutexvar_epi32(pairs, s16);
      }
    }
    const v16si yy = luma * kCoefY + (kRound22 - 16 * kCoefY);
    _mm512_mask_storeu_epi8(dst + 3 * size_t(x), __mmask64((1ull << (3 * left)) - 1),
                            bgrOfTerms(yy, chroma[0] * kCoefRCr, chroma[0] * kCoefGCr + chroma[1] * kCoefGCb,
                                       (v16su)blueTerm(chroma[1])));
  }
#else
  for (; x + 8 <= n; x += 8) {
    v8si chroma[2];
    const int8_t* planes[2] = {cr, cb};
    for (int c = 0; c < 2; ++c) {
      const int8_t* p = planes[c];
      if (fourOneOne) {
        // Two groups: samples g and g + 1 (both on the line), each stepping to the next.
        const int32_t g = x >> 2;
#if defined(__AVX2__)
        if (g + 4 <= count) {
          int32_t four;
          std::memcpy(&four, p + g, 4);
          const __m256i s = _mm256_cvtepi8_epi32(_mm_cvtsi32_si128(four));
          chroma[c] = stepGroups((v8si)_mm256_permutevar8x32_epi32(s, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1)),
                                 (v8si)_mm256_permutevar8x32_epi32(s, _mm256_setr_epi32(1, 1, 1, 1, 2, 2, 2, 2)));
          continue;
        }
#endif
        chroma[c] = stepGroups(groupSamples<0, 1>(p, g, count), groupSamples<1, 2>(p, g, count));
      } else {
        chroma[c] = pairSamples(p + (x >> 1));
      }
    }
    storeBgr(dst + 3 * size_t(x), yccToBgr8(widen8u(y + x), chroma[0], chroma[1], kRound22), x, n);
  }
#endif
  for (; x < n; ++x) {
    uint8_t* px = dst + 3 * size_t(x);
    yccToRgb(y[x], planeChroma(cr, x, count, fourOneOne), planeChroma(cb, x, count, fourOneOne), kRound22, px + 2,
             px + 1, px);
  }
}

void planes420ToBgr24Rows(const uint8_t* y0, const uint8_t* y1, const int8_t* cr, const int8_t* cb, uint8_t* dst0,
                          uint8_t* dst1, int32_t n) {
#if defined(__AVX512VBMI__)
  // Thirty-two pixels of both rows a step. The colour-difference products of sixteen
  // samples are made once and spread over the pixels of both rows, each sample's two
  // columns; then each pixel's luminance joins them as yccToBgr does.
  const __m512i lower = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
  const __m512i upper = _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
  const uint8_t* lumaRows[2] = {y0, y1};
  uint8_t* outRows[2] = {dst0, dst1};
  const int rowCount = y1 ? 2 : 1;
  for (int32_t x = 0; x < n; x += 32) {
    const int32_t samples = (n - x + 1) / 2 < 16 ? (n - x + 1) / 2 : 16;
    const __mmask16 sampleMask = __mmask16((1u << samples) - 1);
    const v16si vr = (v16si)_mm512_cvtepi8_epi32(_mm_maskz_loadu_epi8(sampleMask, cr + x / 2));
    const v16si vb = (v16si)_mm512_cvtepi8_epi32(_mm_maskz_loadu_epi8(sampleMask, cb + x / 2));
    const v16si terms[3] = {vr * kCoefRCr, vr * kCoefGCr + vb * kCoefGCb, blueTerm(vb)};
    for (int half = 0; half < 2; ++half) {
      const int32_t at = x + 16 * half;
      if (at >= n) break;
      const int32_t left = n - at < 16 ? n - at : 16;
      const __m512i spread = half ? upper : lower;
      v16si t[3];
      for (int i = 0; i < 3; ++i) t[i] = (v16si)_mm512_permutexvar_epi32(spread, (__m512i)terms[i]);
      for (int row = 0; row < rowCount; ++row) {
        const v16si luma =
            (v16si)_mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(__mmask16((1u << left) - 1), lumaRows[row] + at));
        const v16si yy = luma * kCoefY + (kRound22 - 16 * kCoefY);
        _mm512_mask_storeu_epi8(outRows[row] + 3 * size_t(at), __mmask64((1ull << (3 * left)) - 1),
                                bgrOfTerms(yy, t[0], t[1], (v16su)t[2]));
      }
    }
  }
#else
  planesToBgr24Row(y0, cr, cb, dst0, n, (n + 1) / 2, 0);
  if (y1) planesToBgr24Row(y1, cr, cb, dst1, n, (n + 1) / 2, 0);
#endif
}

// Eight pixels from their Y samples (signed, stored + 128) and Cr, Cb values.
inline v8si yccaPixels(v8si y, v8si cr, v8si cb) {
  return ((y + 128) & 0xFF) | ((cr & 0xFF) << 8) | ((cb & 0xFF) << 16);
}

void writeMacroblock411(const int8_t* const samples[6], uint8_t* pixels, uint32_t stride, int shape) {
  if (shape == 0) {
    // 32 x 8 pixels: the four luminance blocks side by side; each colour-difference
    // sample covers a group of four pixels of its line. The last group of a line steps
    // towards its own sample for now: its neighbour lies in the next macroblock.
    for (int r = 0; r < 8; ++r) {
      const v8si cr = widen8(samples[4] + 8 * r), cb = widen8(samples[5] + 8 * r);
      const v8si crNext = __builtin_shufflevector(cr, cr, 1, 2, 3, 4, 5, 6, 7, 7);
      const v8si cbNext = __builtin_shufflevector(cb, cb, 1, 2, 3, 4, 5, 6, 7, 7);
      uint8_t* row = pixels + size_t(r) * stride;
      storei(row, yccaPixels(widen8(samples[0] + 8 * r), stepGroups(twoGroups<0, 1>(cr), twoGroups<0, 1>(crNext)),
                             stepGroups(twoGroups<0, 1>(cb), twoGroups<0, 1>(cbNext))));
      storei(row + 32, yccaPixels(widen8(samples[1] + 8 * r), stepGroups(twoGroups<2, 3>(cr), twoGroups<2, 3>(crNext)),
                                  stepGroups(twoGroups<2, 3>(cb), twoGroups<2, 3>(cbNext))));
      storei(row + 64, yccaPixels(widen8(samples[2] + 8 * r), stepGroups(twoGroups<4, 5>(cr), twoGroups<4, 5>(crNext)),
                                  stepGroups(twoGroups<4, 5>(cb), twoGroups<4, 5>(cbNext))));
      storei(row + 96, yccaPixels(widen8(samples[3] + 8 * r), stepGroups(twoGroups<6, 7>(cr), twoGroups<6, 7>(crNext)),
                                  stepGroups(twoGroups<6, 7>(cb), twoGroups<6, 7>(cbNext))));
    }
    return;
  }
  // The right-hand 16 x 16: luminance blocks 0, 1 above 2, 3; the left half of each
  // colour-difference sample row makes the upper eight lines, the right half the lower
  // eight, four groups a line, the last one (the end of the picture line) repeating its
  // sample.
  for (int r = 0; r < 8; ++r) {
    const v8si cr = widen8(samples[4] + 8 * r), cb = widen8(samples[5] + 8 * r);
    const v8si crNext = __builtin_shufflevector(cr, cr, 1, 2, 3, 3, 5, 6, 7, 7);
    const v8si cbNext = __builtin_shufflevector(cb, cb, 1, 2, 3, 3, 5, 6, 7, 7);
    uint8_t* upper = pixels + size_t(r) * stride;
    uint8_t* lower = pixels + size_t(r + 8) * stride;
    storei(upper, yccaPixels(widen8(samples[0] + 8 * r), stepGroups(twoGroups<0, 1>(cr), twoGroups<0, 1>(crNext)),
                             stepGroups(twoGroups<0, 1>(cb), twoGroups<0, 1>(cbNext))));
    storei(upper + 32, yccaPixels(widen8(samples[1] + 8 * r), stepGroups(twoGroups<2, 3>(cr), twoGroups<2, 3>(crNext)),
                                  stepGroups(twoGroups<2, 3>(cb), twoGroups<2, 3>(cbNext))));
    storei(lower, yccaPixels(widen8(samples[2] + 8 * r), stepGroups(twoGroups<4, 5>(cr), twoGroups<4, 5>(crNext)),
                             stepGroups(twoGroups<4, 5>(cb), twoGroups<4, 5>(cbNext))));
    storei(lower + 32, yccaPixels(widen8(samples[3] + 8 * r), stepGroups(twoGroups<6, 7>(cr), twoGroups<6, 7>(crNext)),
                                  stepGroups(twoGroups<6, 7>(cb), twoGroups<6, 7>(cbNext))));
  }
}

void writeMacroblock420(const int8_t* const samples[6], uint8_t* pixels, uint32_t stride, int /*shape*/) {
  // 16 x 16 pixels: luminance blocks 0, 1 above 2, 3; each colour-difference sample
  // covers 2 x 2 pixels.
  for (int r = 0; r < 8; ++r) {
    const v8si cr = widen8(samples[4] + 8 * r), cb = widen8(samples[5] + 8 * r);
    const v8si crLeft = __builtin_shufflevector(cr, cr, 0, 0, 1, 1, 2, 2, 3, 3);
    const v8si crRight = __builtin_shufflevector(cr, cr, 4, 4, 5, 5, 6, 6, 7, 7);
    const v8si cbLeft = __builtin_shufflevector(cb, cb, 0, 0, 1, 1, 2, 2, 3, 3);
    const v8si cbRight = __builtin_shufflevector(cb, cb, 4, 4, 5, 5, 6, 6, 7, 7);
    for (int line = 2 * r; line < 2 * r + 2; ++line) {
      const int8_t* left = samples[line < 8 ? 0 : 2] + 8 * (line & 7);
      const int8_t* right = samples[line < 8 ? 1 : 3] + 8 * (line & 7);
      uint8_t* row = pixels + size_t(line) * stride;
      storei(row, yccaPixels(widen8(left), crLeft, cbLeft));
      storei(row + 32, yccaPixels(widen8(right), crRight, cbRight));
    }
  }
}

void yccaResampleNearestRow(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* offsets) {
  for (int32_t j = 0; j < n; j += 8, dst += 24) {
    const v8si px = gather8(src, loadLanes(offsets + j));
    const v8si bgr = yccToBgr8(px & splat(0xFF), (px << 16) >> 24, (px << 8) >> 24, 0);
    storeBgr(dst, bgr, j, n);
  }
}

// Lanes of a 16-pixel window: index i < 8 from lo, else from hi.
inline v8si select16(v8si lo, v8si hi, v8si index) {
#if defined(__AVX2__)
  const __m256i a = _mm256_permutevar8x32_epi32((__m256i)lo, (__m256i)index);
  const __m256i b = _mm256_permutevar8x32_epi32((__m256i)hi, (__m256i)index);
  return (v8si)_mm256_blendv_epi8(a, b, (__m256i)(index > 7));
#else
  v8si v;
  for (int i = 0; i < 8; ++i) v[i] = index[i] < 8 ? lo[index[i]] : hi[index[i] - 8];
  return v;
#endif
}

void yccaResampleFilteredRow(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* taps,
                             const int32_t* groups, int32_t stride) {
#if defined(__AVX512VBMI__) && defined(__AVX512VL__) && defined(__AVX512BW__)
  // Each channel's five pixels per column as 16-bit pairs, gathered from the window's 64
  // bytes by one byte permute per pair (the high bytes zeroed), and summed with their
  // taps by pairs: the same sums as below.
  (void)taps;
  (void)stride;
  const __m256i bias = _mm256_set1_epi32(0x00808000);  // Cr and Cb + 128
  const __m256i one = _mm256_set1_epi8(1);
  const __mmask32 lowBytes = 0x55555555u;
  for (int32_t j = 0; j < n; j += 8, dst += 24, groups += kResampleGroupInts) {
    const int32_t base = groups[0];
    const __m256i lo = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * base)), bias);
    const __m256i hi = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * base + 32)), bias);
    __m256i sum[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int pair = 0; pair < 3; ++pair) {
      const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(groups + kResamplePairTaps + 8 * pair));
      __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(groups + kResamplePairBytes + 8 * pair));
      for (int c = 0; c < 3; ++c, index = _mm256_add_epi8(index, one)) {
        const __m256i values = _mm256_maskz_permutex2var_epi8(lowBytes, lo, index, hi);
        sum[c] = _mm256_add_epi32(sum[c], _mm256_madd_epi16(values, t));
      }
    }
    const v8si sy = (v8si)sum[0], sr = (v8si)sum[1], sb = (v8si)sum[2];
    const v8si bgr = yccToBgr8(clamp255(sy >> 8), clamp255(sr >> 8) - 128, clamp255(sb >> 8) - 128, 0);
    storeBgr(dst, bgr, j, n);
  }
#else
  for (int32_t j = 0; j < n; j += 8, dst += 24, groups += kResampleGroupInts) {
    // The group's five source pixels per column lie in 16 pixels from `base`; the
    // table gives each lane's pixel in that window, tap by tap.
    const int32_t base = groups[0];
    const v8si lo = loadi(src + 4 * base), hi = loadi(src + 4 * base + 32);
    v8si sy = splat(0), sr = splat(0), sb = splat(0);
#pragma GCC unroll 5
    for (int k = 0; k < 5; ++k) {
      const v8si px = select16(lo, hi, loadLanes(groups + 8 + 8 * k));
      const v8si t = loadLanes(taps + k * stride + j);
      sy += t * (px & splat(0xFF));
      sr += t * (((px >> 8) & splat(0xFF)) ^ splat(0x80));  // Cr + 128
      sb += t * (((px >> 16) & splat(0xFF)) ^ splat(0x80));
    }
    const v8si bgr = yccToBgr8(clamp255(sy >> 8), clamp255(sr >> 8) - 128, clamp255(sb >> 8) - 128, 0);
    storeBgr(dst, bgr, j, n);
  }
#endif
}

// ---- The reduced sizes -----------------------------------------------------------------

// Means to samples: floored and clamped to -128..127.
inline v8si samplesOf(v8sf means) {
  const v8si t = __builtin_convertvector(means, v8si);
  const v8si floored = t + (v8si)(__builtin_convertvector(t, v8sf) > means);  // -1 where truncation went up
  return vmin(vmax(floored, splat(-128)), splat(127));
}

inline v8sf load4x2(const float* a, const float* b) { return v8sf{a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3]}; }

// Eight 'BGRa' pixels from eight luminance means and their colour-difference means.
inline v8si bgraOf(v8sf y, v8sf cr, v8sf cb) {
  return yccToBgr8(samplesOf(y) + 128, samplesOf(cr), samplesOf(cb), kRound22);
}

void writeHalf411(const float* means, uint8_t* pixels, uint32_t stride, int shape) {
  const float* cr = means + 4 * 32;
  const float* cb = means + 5 * 32;
  for (int i = 0; i < 4; ++i) {
    // Blocks 0 and 1 take colour-difference columns 0-3 of row i, blocks 2 and 3 columns 4-7.
    const float* r = cr + 8 * i;
    const float* b = cb + 8 * i;
    const v8si left = bgraOf(load4x2(means + 4 * i, means + 32 + 4 * i),
                             v8sf{r[0], r[0], r[1], r[1], r[2], r[2], r[3], r[3]},
                             v8sf{b[0], b[0], b[1], b[1], b[2], b[2], b[3], b[3]});
    const v8si right = bgraOf(load4x2(means + 64 + 4 * i, means + 96 + 4 * i),
                              v8sf{r[4], r[4], r[5], r[5], r[6], r[6], r[7], r[7]},
                              v8sf{b[4], b[4], b[5], b[5], b[6], b[6], b[7], b[7]});
    storei(pixels + size_t(i) * stride, left);
    storei(shape == 0 ? pixels + size_t(i) * stride + 32 : pixels + size_t(i + 4) * stride, right);
  }
}

void writeHalf420(const float* means, uint8_t* pixels, uint32_t stride, int /*shape*/) {
  const float* cr = means + 4 * 32;
  const float* cb = means + 5 * 32;
  for (int r = 0; r < 8; ++r) {
    const int top = r < 4 ? 0 : 2;  // luminance blocks 0, 1 above 2, 3
    const int i = r & 3;
    const v8si px = bgraOf(load4x2(means + 32 * top + 4 * i, means + 32 * (top + 1) + 4 * i),
                           v8sf{cr[top], cr[top], cr[top], cr[top], cr[top + 1], cr[top + 1], cr[top + 1], cr[top + 1]},
                           v8sf{cb[top], cb[top], cb[top], cb[top], cb[top + 1], cb[top + 1], cb[top + 1], cb[top + 1]});
    storei(pixels + size_t(r) * stride, px);
  }
}

// The quarter-size luminance of two blocks a and b: two rows of four pixels.
inline v8sf quarterPair(const float* a, const float* b) { return v8sf{a[0], a[1], b[0], b[1], a[2], a[3], b[2], b[3]}; }

inline void store4x2(uint8_t* pixels, uint32_t stride, v8si px) {
  std::memcpy(pixels, &px, 16);
  std::memcpy(pixels + stride, reinterpret_cast<const uint8_t*>(&px) + 16, 16);
}

void writeQuarter525(const float* means, uint8_t* pixels, uint32_t stride, int shape) {
  const v8sf cr = splatf(means[4 * 32]), cb = splatf(means[5 * 32]);
  if (shape == 0) {
    for (int i = 0; i < 2; ++i) {
      const float* m = means + 2 * i;
      const v8sf y = v8sf{m[0], m[1], m[32], m[33], m[64], m[65], m[96], m[97]};
      storei(pixels + size_t(i) * stride, bgraOf(y, cr, cb));
    }
    return;
  }
  store4x2(pixels, stride, bgraOf(quarterPair(means, means + 32), cr, cb));
  store4x2(pixels + 2 * size_t(stride), stride, bgraOf(quarterPair(means + 64, means + 96), cr, cb));
}

void writeQuarter625(const float* means, uint8_t* pixels, uint32_t stride, int /*shape*/) {
  const float* cr = means + 4 * 32;
  const float* cb = means + 5 * 32;
  for (int half = 0; half < 2; ++half) {
    const int top = 2 * half;
    const v8si y = samplesOf(quarterPair(means + 32 * top, means + 32 * (top + 1)));
    const v8si r = samplesOf(v8sf{cr[top], cr[top], cr[top + 1], cr[top + 1], cr[top], cr[top], cr[top + 1], cr[top + 1]});
    const v8si b = samplesOf(v8sf{cb[top], cb[top], cb[top + 1], cb[top + 1], cb[top], cb[top], cb[top + 1], cb[top + 1]});
    store4x2(pixels + 2 * size_t(half) * stride, stride, yccaPixels(y, r, b));
  }
}

void rgb32ToBgr24Row(const uint8_t* src, uint8_t* dst, int32_t n, const int32_t* offsets, int argb) {
  for (int32_t j = 0; j < n; j += 8, dst += 24) {
    v8si px;
    if (offsets) {
      px = gather8(src, loadLanes(offsets + j));
    } else if (j + 8 <= n) {
      px = loadi(src + 4 * size_t(j));
    } else {
      px = splat(0);
      std::memcpy(&px, src + 4 * size_t(j), 4 * size_t(n - j));
    }
    const v8si bgr = argb ? (((px >> 24) & splat(0xFF)) | ((px >> 8) & splat(0xFF00)) | ((px << 8) & splat(0xFF0000)))
                          : px & splat(0xFFFFFF);
    storeBgr(dst, bgr, j, n);
  }
}

// ---- The encoder ----------------------------------------------------------------------

// The sums of the eight lines of a block.
inline void lineSums(const int8_t* samples, int32_t sums[8]) {
#if defined(__AVX2__)
  // Unsigned bytes (each + 128) summed eight at a time; less 8 x 128 a line.
  const __m256i flip = _mm256_set1_epi8(int8_t(0x80));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i a = _mm256_sad_epu8(_mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples)), flip), zero);
  const __m256i b =
      _mm256_sad_epu8(_mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + 32)), flip), zero);
  alignas(32) int64_t s[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(s), a);
  _mm256_store_si256(reinterpret_cast<__m256i*>(s + 4), b);
  for (int y = 0; y < 8; ++y) sums[y] = int32_t(s[y]) - 1024;
#else
  for (int y = 0; y < 8; ++y) {
    int32_t sum = 0;
    for (int x = 0; x < 8; ++x) sum += samples[8 * y + x];
    sums[y] = sum;
  }
#endif
}

// The 64 rounded coefficients (in the order 8 row + h) to the scan order.
inline void toScanOrder(const int16_t* natural, const uint8_t* scan, int16_t* coefficients) {
#if defined(__AVX512BW__)
  const __m512i lo = _mm512_loadu_si512(natural), hi = _mm512_loadu_si512(natural + 32);
  const __m512i first = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(scan)));
  const __m512i second = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(scan + 32)));
  // The DC's place keeps what is there (the caller's DC goes there after).
  _mm512_mask_storeu_epi16(coefficients, 0xFFFFFFFEu, _mm512_permutex2var_epi16(lo, first, hi));
  _mm512_storeu_si512(coefficients + 32, _mm512_permutex2var_epi16(lo, second, hi));
#else
  for (int k = 1; k < 64; ++k) coefficients[k] = natural[scan[k]];
#endif
}

// The mode of a block and its DC from its line sums.
inline int blockMode(const int8_t* samples, int16_t* dc) {
  int32_t line[8];
  lineSums(samples, line);
  const int32_t sum = line[0] + line[1] + line[2] + line[3] + line[4] + line[5] + line[6] + line[7];
  const int32_t halves = line[0] + line[1] + line[2] + line[3] - line[4] - line[5] - line[6] - line[7];
  const int32_t fields = line[0] + line[2] + line[4] + line[6] - line[1] - line[3] - line[5] - line[7];
  *dc = int16_t(sum / 32);  // toward zero
  return std::abs(fields) > std::abs(halves) ? 1 : 0;
}

// The transform of forwardDct over vectors of eight lanes per block: rows[y] holds line y
// of the samples (lanes: columns); out[f] the vertical frequency f (2-4-8: 0-3 of the
// sums, 4-7 of the differences of the line pairs), lanes: horizontal frequencies. V is
// one block (8 lanes) or two (16 lanes, block by block), all of the same mode.
template <typename V>
inline void forwardTransform(V* v, int mode, const float* eight, const float* four, V* out) {
  // Columns of samples (lanes: lines), then the horizontal transform t[h] (lanes: lines),
  // turned into rows (lanes: horizontal frequencies) for the vertical transform.
  transpose8(v);
  V t[8];
  for (int h = 0; h < 8; ++h) {
    V acc = splatOf<V>(eight[8 * h]) * v[0];
    for (int x = 1; x < 8; ++x) acc += splatOf<V>(eight[8 * h + x]) * v[x];
    t[h] = acc;
  }
  transpose8(t);  // t[y]: line y, lanes h
  if (mode == 0) {
    for (int f = 0; f < 8; ++f) {
      V acc = splatOf<V>(eight[8 * f]) * t[0];
      for (int y = 1; y < 8; ++y) acc += splatOf<V>(eight[8 * f + y]) * t[y];
      out[f] = acc;
    }
    return;
  }
  V sums[4], differences[4];
  for (int z = 0; z < 4; ++z) {
    sums[z] = t[2 * z] + t[2 * z + 1];
    differences[z] = t[2 * z] - t[2 * z + 1];
  }
  for (int r = 0; r < 4; ++r) {
    V s = splatOf<V>(four[4 * r]) * sums[0], d = splatOf<V>(four[4 * r]) * differences[0];
    for (int z = 1; z < 4; ++z) {
      s += splatOf<V>(four[4 * r + z]) * sums[z];
      d += splatOf<V>(four[4 * r + z]) * differences[z];
    }
    out[r] = s;
    out[4 + r] = d;
  }
}

void forwardDctOne(const int8_t* samples, const float* eight, const float* four, EncoderBlock* block) {
  int16_t dc;
  const int mode = blockMode(samples, &dc);
  v8sf v[8], out[8];
  for (int y = 0; y < 8; ++y) v[y] = __builtin_convertvector(widen8(samples + 8 * y), v8sf);
  forwardTransform(v, mode, eight, four, out);
  alignas(64) int16_t natural[64];
  for (int f = 0; f < 8; ++f) {
    const v8hi rounded = __builtin_convertvector(roundAway(out[f]), v8hi);
    std::memcpy(natural + 8 * f, &rounded, sizeof rounded);
  }
  toScanOrder(natural, mode ? kScan248 : kScan88, block->coefficients);
  block->coefficients[0] = dc;
  block->mode = uint8_t(mode);
}

#if defined(__AVX512F__)
// Two blocks of the same mode at once.
void forwardDctTwo(const int8_t* a, const int8_t* b, int mode, const float* eight, const float* four,
                   EncoderBlock* blockA, EncoderBlock* blockB) {
  v16sf v[8], out[8];
  for (int y = 0; y < 8; ++y) {
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 8 * y)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 8 * y)));
    v[y] = (v16sf)_mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(bytes));
  }
  forwardTransform(v, mode, eight, four, out);
  alignas(64) int16_t natural[2][64];
  for (int f = 0; f < 8; ++f) {
    const __m256i words = _mm512_cvtepi32_epi16((__m512i)roundAway(out[f]));
    _mm_store_si128(reinterpret_cast<__m128i*>(natural[0] + 8 * f), _mm256_castsi256_si128(words));
    _mm_store_si128(reinterpret_cast<__m128i*>(natural[1] + 8 * f), _mm256_extracti128_si256(words, 1));
  }
  const uint8_t* scan = mode ? kScan248 : kScan88;
  toScanOrder(natural[0], scan, blockA->coefficients);
  toScanOrder(natural[1], scan, blockB->coefficients);
  blockA->mode = blockB->mode = uint8_t(mode);
}
#endif

void forwardDct(const int8_t* samples, int count, const float* eight, const float* four, EncoderBlock* blocks) {
#if defined(__AVX512F__)
  // Blocks of the same mode in pairs; one of each mode may be left over.
  int waiting[2] = {-1, -1};
  for (int i = 0; i < count; ++i) {
    int16_t dc;
    const int mode = blockMode(samples + 64 * i, &dc);
    blocks[i].coefficients[0] = dc;
    if (waiting[mode] < 0) {
      waiting[mode] = i;
      continue;
    }
    const int j = waiting[mode];
    waiting[mode] = -1;
    forwardDctTwo(samples + 64 * j, samples + 64 * i, mode, eight, four, &blocks[j], &blocks[i]);
  }
  for (int j : waiting) {
    if (j >= 0) forwardDctOne(samples + 64 * j, eight, four, &blocks[j]);
  }
#else
  for (int i = 0; i < count; ++i) forwardDctOne(samples + 64 * i, eight, four, &blocks[i]);
#endif
}

// The class of a largest AC magnitude, before the offset.
inline int classOf(int largest) { return largest < 12 ? 0 : (largest < 24 ? 1 : (largest < 36 ? 2 : 3)); }

void classifyBlock(EncoderBlock* block, int classOffset) {
  int16_t* c = block->coefficients;
#if defined(__AVX512BW__)
  const __m512i lo = _mm512_loadu_si512(c), hi = _mm512_loadu_si512(c + 32);
  const __mmask32 ac = 0xFFFFFFFEu;  // the DC (lane 0 of lo) takes no part
  const __m512i m512 = _mm512_max_epu16(_mm512_maskz_abs_epi16(ac, lo), _mm512_abs_epi16(hi));
  const __m256i m256 = _mm256_max_epu16(_mm512_castsi512_si256(m512),
                                        _mm512_castsi512_si256(_mm512_shuffle_i64x2(m512, m512, 0xEE)));
  const __m128i m128 = _mm_max_epu16(_mm256_castsi256_si128(m256), _mm256_extracti128_si256(m256, 1));
  // The largest of eight: the smallest of their complements, complemented.
  const int largest = 0xFFFF - (_mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(m128, _mm_set1_epi32(-1)))) & 0xFFFF);
  const int cls = std::min(3, classOf(largest) + classOffset);
  __m512i a = lo, b = hi;
  if (cls == 3) {
    // halvedTowardZero as (v - (v >> 15)) >> 1, the DC left as it is.
    a = _mm512_mask_srai_epi16(lo, ac, _mm512_sub_epi16(lo, _mm512_srai_epi16(lo, 15)), 1);
    b = _mm512_srai_epi16(_mm512_sub_epi16(hi, _mm512_srai_epi16(hi, 15)), 1);
    _mm512_storeu_si512(c, a);
    _mm512_storeu_si512(c + 32, b);
  }
  const __m512i ma = _mm512_maskz_abs_epi16(ac, a), mb = _mm512_abs_epi16(b);
  _mm512_storeu_si512(block->magnitude, ma);
  _mm512_storeu_si512(block->magnitude + 32, mb);
  block->nonzero = uint64_t(_mm512_test_epi16_mask(ma, ma)) | uint64_t(_mm512_test_epi16_mask(mb, mb)) << 32;
  block->cls = uint8_t(cls);
#elif defined(__AVX2__)
  __m256i v[4], m[4];
  for (int i = 0; i < 4; ++i) v[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 16 * i));
  const __m256i notDc = _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i m256 = _mm256_max_epu16(_mm256_max_epu16(_mm256_and_si256(_mm256_abs_epi16(v[0]), notDc), _mm256_abs_epi16(v[1])),
                                        _mm256_max_epu16(_mm256_abs_epi16(v[2]), _mm256_abs_epi16(v[3])));
  const __m128i m128 = _mm_max_epu16(_mm256_castsi256_si128(m256), _mm256_extracti128_si256(m256, 1));
  // The largest of eight: the smallest of their complements, complemented.
  const int largest = 0xFFFF - (_mm_cvtsi128_si32(_mm_minpos_epu16(_mm_xor_si128(m128, _mm_set1_epi32(-1)))) & 0xFFFF);
  const int cls = std::min(3, classOf(largest) + classOffset);
  if (cls == 3) {
    // halvedTowardZero as (v - (v >> 15)) >> 1; the DC is put back after.
    const int16_t dc = c[0];
    for (int i = 0; i < 4; ++i) {
      v[i] = _mm256_srai_epi16(_mm256_sub_epi16(v[i], _mm256_srai_epi16(v[i], 15)), 1);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + 16 * i), v[i]);
    }
    c[0] = dc;
  }
  m[0] = _mm256_and_si256(_mm256_abs_epi16(v[0]), notDc);
  for (int i = 1; i < 4; ++i) m[i] = _mm256_abs_epi16(v[i]);
  uint64_t nonzero = 0;
  const __m256i zero = _mm256_setzero_si256();
  for (int i = 0; i < 4; i += 2) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block->magnitude + 16 * i), m[i]);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block->magnitude + 16 * (i + 1)), m[i + 1]);
    const __m256i zeros = _mm256_permute4x64_epi64(
        _mm256_packs_epi16(_mm256_cmpeq_epi16(m[i], zero), _mm256_cmpeq_epi16(m[i + 1], zero)), 0xD8);
    nonzero |= uint64_t(~uint32_t(_mm256_movemask_epi8(zeros))) << (16 * i);
  }
  block->nonzero = nonzero;
  block->cls = uint8_t(cls);
#else
  int largest = 0;
  for (int k = 1; k < 64; ++k) largest = std::max(largest, std::abs(int(c[k])));
  const int cls = std::min(3, classOf(largest) + classOffset);
  if (cls == 3) {
    for (int k = 1; k < 64; ++k) c[k] = int16_t(halvedTowardZero(c[k]));
  }
  uint64_t nonzero = 0;
  block->magnitude[0] = 0;
  for (int k = 1; k < 64; ++k) {
    block->magnitude[k] = uint16_t(std::abs(int(c[k])));
    nonzero |= uint64_t(c[k] != 0) << k;
  }
  block->nonzero = nonzero;
  block->cls = uint8_t(cls);
#endif
}

uint64_t quantise(const EncoderBlock* block, const QuantShifts* shifts, uint16_t* q) {
#if defined(__AVX512BW__)
  const __m512i limit = _mm512_set1_epi16(255);
  uint64_t mask = 0;
  for (int i = 0; i < 2; ++i) {
    const __m512i m = _mm512_loadu_si512(block->magnitude + 32 * i);
    const __m512i v = _mm512_min_epu16(_mm512_srlv_epi16(m, _mm512_loadu_si512(shifts->shift + 32 * i)), limit);
    _mm512_storeu_si512(q + 32 * i, v);
    mask |= uint64_t(_mm512_test_epi16_mask(v, v)) << (32 * i);
  }
  return mask;
#elif defined(__AVX2__)
  // x >> s as the high half of 2x times 2^(15 - s).
  const __m256i limit = _mm256_set1_epi16(255), zero = _mm256_setzero_si256();
  uint64_t mask = 0;
  for (int i = 0; i < 4; i += 2) {
    __m256i v[2];
    for (int j = 0; j < 2; ++j) {
      const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block->magnitude + 16 * (i + j)));
      const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shifts->multiplier + 16 * (i + j)));
      v[j] = _mm256_min_epu16(_mm256_mulhi_epu16(_mm256_add_epi16(m, m), f), limit);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(q + 16 * (i + j)), v[j]);
    }
    // Bytes of the zero lanes, in order: the pack takes 128-bit halves in turn.
    const __m256i zeros = _mm256_permute4x64_epi64(
        _mm256_packs_epi16(_mm256_cmpeq_epi16(v[0], zero), _mm256_cmpeq_epi16(v[1], zero)), 0xD8);
    mask |= uint64_t(~uint32_t(_mm256_movemask_epi8(zeros))) << (16 * i);
  }
  return mask;
#else
  uint64_t mask = 0;
  for (uint64_t m = block->nonzero; m; m &= m - 1) {
    const int k = __builtin_ctzll(m);
    const uint16_t v = uint16_t(std::min(block->magnitude[k] >> shifts->shift[k], 255));
    q[k] = v;
    mask |= uint64_t(v != 0) << k;
  }
  return mask;
#endif
}

// Eight pixels' Y, Cr and Cb from their R, G and B.
inline void rgbToYcc8(v8si r, v8si g, v8si b, v8si out[3]) {
  out[0] = vmin(vmax(((r * 1077047 + g * 2114472 + b * 410647 + 0x200000) >> 22) - 112, splat(-128)), splat(127));
  out[1] = vmin(vmax((r * 1842204 - g * 1542615 - b * 299588) >> 22, splat(-128)), splat(127));
  out[2] = vmin(vmax((r * -621691 - g * 1220512 + b * 1842204) >> 22, splat(-128)), splat(127));
}

// The low bytes of eight lanes, stored.
inline void storeLowBytes(int8_t* to, v8si v, int32_t count) {
#if defined(__AVX2__)
  if (count == 8) {
    const __m256i w = _mm256_packs_epi32((__m256i)v, (__m256i)v);  // the values fit: no saturation
    const __m128i b = _mm_packs_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
    const int32_t lo = _mm_cvtsi128_si32(b), hi = _mm_extract_epi32(b, 2);
    std::memcpy(to, &lo, 4);
    std::memcpy(to + 4, &hi, 4);
    return;
  }
#endif
  for (int32_t i = 0; i < count; ++i) to[i] = int8_t(v[i]);
}

// Y, or Cr and Cb, of the pixels 0, step, 2 step, ... of a row of n pixels: into out[0],
// or out[1] and out[2], one after the other.
void rgbToYccPixels(const uint8_t* src, uint32_t pixelSize, const uint8_t* offsets, int32_t n, int32_t step,
                    bool luma, int8_t* const out[3]) {
  const int32_t ps = int32_t(pixelSize) * step;
  const int32_t count = (n + step - 1) / step;
  const v8si lanes = v8si{0, ps, 2 * ps, 3 * ps, 4 * ps, 5 * ps, 6 * ps, 7 * ps};
  const v8si s0 = splat(8 * offsets[0]), s1 = splat(8 * offsets[1]), s2 = splat(8 * offsets[2]);
  v8si ycc[3];
  int32_t j = 0;
  // Whole groups whose four-byte reads stay inside the row's pixels (with 3-byte pixels
  // the last pixel's read would take a byte after the row).
  if (pixelSize >= 3 && offsets[0] < 4 && offsets[1] < 4 && offsets[2] < 4) {
    for (; (j + 7) * ps + 4 <= n * int32_t(pixelSize) && j + 8 <= count; j += 8) {
      const v8si px = gather8(src + size_t(j) * size_t(ps), lanes);
      rgbToYcc8((px >> s0) & splat(0xFF), (px >> s1) & splat(0xFF), (px >> s2) & splat(0xFF), ycc);
      if (luma) {
        storeLowBytes(out[0] + j, ycc[0], 8);
      } else {
        storeLowBytes(out[1] + j, ycc[1], 8);
        storeLowBytes(out[2] + j, ycc[2], 8);
      }
    }
  }
  for (; j < count; j += 8) {
    const int32_t left = count - j < 8 ? count - j : 8;
    v8si r = splat(0), g = splat(0), b = splat(0);
    for (int32_t i = 0; i < left; ++i) {
      const uint8_t* p = src + size_t(j + i) * size_t(ps);
      r[i] = p[offsets[0]];
      g[i] = p[offsets[1]];
      b[i] = p[offsets[2]];
    }
    rgbToYcc8(r, g, b, ycc);
    if (luma) {
      storeLowBytes(out[0] + j, ycc[0], left);
    } else {
      storeLowBytes(out[1] + j, ycc[1], left);
      storeLowBytes(out[2] + j, ycc[2], left);
    }
  }
}

void rgbToYccRow(const uint8_t* src, uint32_t pixelSize, const uint8_t* offsets, int8_t* y, int8_t* cr, int8_t* cb,
                 int32_t n, int32_t chromaStep) {
#if defined(__AVX512VBMI__)
  if ((pixelSize == 3 || pixelSize == 4) && offsets[0] < pixelSize && offsets[1] < pixelSize &&
      offsets[2] < pixelSize && (chromaStep == 0 || chromaStep == 1 || chromaStep == 2 || chromaStep == 4)) {
    // Sixteen pixels a step: each channel's bytes moved to the low byte of its pixel's
    // lane by one byte permute, the other bytes zeroed.
    const int32_t ps = int32_t(pixelSize);
    alignas(64) int8_t index[3][64];
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 64; ++i) index[c][i] = int8_t((i / 4) * ps + offsets[c]);
    const __m512i ir = _mm512_load_si512(index[0]), ig = _mm512_load_si512(index[1]), ib = _mm512_load_si512(index[2]);
    const __mmask64 low = 0x1111111111111111ull;
    const __mmask16 sampled = chromaStep == 4 ? 0x1111 : (chromaStep == 2 ? 0x5555 : 0xFFFF);
    for (int32_t x = 0; x < n; x += 16) {
      const int32_t count = n - x < 16 ? n - x : 16;
      const __m512i bytes = _mm512_maskz_loadu_epi8(count * ps == 64 ? ~0ull : (1ull << (count * ps)) - 1,
                                                    src + size_t(x) * size_t(ps));
      const v16si r = (v16si)_mm512_maskz_permutexvar_epi8(low, ir, bytes);
      const v16si g = (v16si)_mm512_maskz_permutexvar_epi8(low, ig, bytes);
      const v16si b = (v16si)_mm512_maskz_permutexvar_epi8(low, ib, bytes);
      const v16si lo = v16si{} - 128, hi = v16si{} + 127;
      auto clamp = [&](v16si v) { return (v16si)_mm512_min_epi32(_mm512_max_epi32((__m512i)v, (__m512i)lo), (__m512i)hi); };
      const v16si luma = clamp(((r * 1077047 + g * 2114472 + b * 410647 + 0x200000) >> 22) - 112);
      _mm_mask_storeu_epi8(y + x, __mmask16((1u << count) - 1), _mm512_cvtepi32_epi8((__m512i)luma));
      if (!chromaStep) continue;
      const v16si red = clamp((r * 1842204 - g * 1542615 - b * 299588) >> 22);
      const v16si blue = clamp((r * -621691 - g * 1220512 + b * 1842204) >> 22);
      const int32_t taken = (count + chromaStep - 1) / chromaStep;
      const __mmask16 store = __mmask16((1u << taken) - 1);
      const int32_t at = x / chromaStep;
      _mm_mask_storeu_epi8(cr + at, store, _mm512_cvtepi32_epi8(_mm512_maskz_compress_epi32(sampled, (__m512i)red)));
      _mm_mask_storeu_epi8(cb + at, store, _mm512_cvtepi32_epi8(_mm512_maskz_compress_epi32(sampled, (__m512i)blue)));
    }
    return;
  }
#endif
  int8_t* const out[3] = {y, cr, cb};
  rgbToYccPixels(src, pixelSize, offsets, n, 1, true, out);
  if (chromaStep > 0) rgbToYccPixels(src, pixelSize, offsets, n, chromaStep, false, out);
}


// ---- The motion de-interlacer's rows ('YCCa' pixels; see dv_filter.cpp) -------------------


inline v16si load16px(const uint8_t* p) {
  v16si v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline v16hi loadh(const int16_t* p) {
  v16hi v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline v16hi splath(int16_t x) { return v16hi{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x}; }
// Lane masks are all ones or all zeros: selects and extremes from them.
inline v16hi selecth(v16hi mask, v16hi a, v16hi b) { return (a & mask) | (b & ~mask); }
inline v16hi minh(v16hi a, v16hi b) { return selecth(a < b, a, b); }
inline v16hi maxh(v16hi a, v16hi b) { return selecth(a > b, a, b); }
inline v16hi absh(v16hi a) { return maxh(a, -a); }

// The three-tap means of pixel x (1 <= x <= n - 2): Y rounded down, Cr and Cb toward zero.
inline void motionTapsOne(const uint8_t* row, int32_t x, int16_t* ty, int16_t* tr, int16_t* tb) {
  const uint8_t *l = row + 4 * size_t(x - 1), *c = l + 4, *r = l + 8;
  ty[x] = int16_t((l[0] + 2 * c[0] + r[0]) >> 2);
  tr[x] = int16_t((int8_t(l[1]) + 2 * int8_t(c[1]) + int8_t(r[1])) / 4);
  tb[x] = int16_t((int8_t(l[2]) + 2 * int8_t(c[2]) + int8_t(r[2])) / 4);
}

void motionTapsRow(const uint8_t* row, int32_t width, int16_t* taps) {
  int16_t *ty = taps, *tr = taps + width, *tb = taps + 2 * size_t(width);
  // Pieces of up to kPiece outputs: first each pixel's Y, Cr and Cb as 16-bit planes
  // (pixel x0 - 1 + i at plane index i), then the three taps over the planes.
  constexpr int32_t kPiece = 256;
  alignas(32) int16_t planes[3][kPiece + 2 + 16];
  int32_t x0 = 1;
  for (; x0 + 17 <= width; x0 += kPiece) {
    // Whole groups of sixteen outputs; the rest of the row goes to the tail below.
    int32_t count = width - 1 - x0;
    if (count > kPiece) count = kPiece;
    count &= ~15;
    const uint8_t* from = row + 4 * size_t(x0 - 1);
    for (int32_t i = 0; i < count + 2; i += 16) {
      // The last group may reach past the pixels needed, never past the row's end.
      const int32_t at = i + 16 <= width - x0 + 1 ? i : width - x0 + 1 - 16;
      const v16si px = load16px(from + 4 * size_t(at));
      const v16hi y = __builtin_convertvector(px & 0xFF, v16hi);
      const v16hi cr = __builtin_convertvector((px << 16) >> 24, v16hi);
      const v16hi cb = __builtin_convertvector((px << 8) >> 24, v16hi);
      std::memcpy(planes[0] + at, &y, sizeof y);
      std::memcpy(planes[1] + at, &cr, sizeof cr);
      std::memcpy(planes[2] + at, &cb, sizeof cb);
    }
    for (int32_t i = 0; i < count; i += 16) {
      auto sum = [&](int c) {
        return loadh(planes[c] + i) + 2 * loadh(planes[c] + i + 1) + loadh(planes[c] + i + 2);
      };
      const v16hi y = sum(0) >> 2;
      const v16hi crSum = sum(1), cbSum = sum(2);
      const v16hi cr = (crSum + ((crSum >> 15) & 3)) >> 2;  // toward zero
      const v16hi cb = (cbSum + ((cbSum >> 15) & 3)) >> 2;
      std::memcpy(ty + x0 + i, &y, sizeof y);
      std::memcpy(tr + x0 + i, &cr, sizeof cr);
      std::memcpy(tb + x0 + i, &cb, sizeof cb);
    }
    if (count < kPiece) {
      x0 += count;
      break;
    }
  }
  for (int32_t x = x0; x + 1 < width; ++x) motionTapsOne(row, x, ty, tr, tb);
}

inline int motionDifference(int a, int c, int b) {
  const int u = a - c, v = b - c;
  return u > 0 && v > 0 ? u + v : (u < 0 && v < 0 ? -(u + v) : 0);
}
inline v16hi motionDifference(v16hi a, v16hi c, v16hi b) {
  const v16hi u = a - c, v = b - c, s = u + v, zero = splath(0);
  return (s & ((u > zero) & (v > zero))) | (-s & ((u < zero) & (v < zero)));
}

void motionLevelRow(const int16_t* above, const int16_t* at, const int16_t* below, uint8_t* out, int32_t width) {
  const size_t n = size_t(width);
  size_t x = 1;
  for (; x + 17 <= n; x += 16) {
    const v16hi dy = motionDifference(loadh(above + x), loadh(at + x), loadh(below + x));
    const v16hi dcr = motionDifference(loadh(above + n + x), loadh(at + n + x), loadh(below + n + x));
    const v16hi dcb = motionDifference(loadh(above + 2 * n + x), loadh(at + 2 * n + x), loadh(below + 2 * n + x));
    const v16hi d = selecth(dy > 1, dy, selecth(dcb > 1, dcb, dcr));
    // Comparisons give -1 where true: the level is minus their sum.
    const v16hi level = -((d > 1) + (d > 3) + (d > 7) + (d > 15) + (d > 31) + (d > 63) + (d > 127));
    const v16qi bytes = __builtin_convertvector(level, v16qi);
    std::memcpy(out + x, &bytes, sizeof bytes);
  }
  for (; x + 1 < n; ++x) {
    const int dy = motionDifference(above[x], at[x], below[x]);
    const int dcr = motionDifference(above[n + x], at[n + x], below[n + x]);
    const int dcb = motionDifference(above[2 * n + x], at[2 * n + x], below[2 * n + x]);
    const int d = dy >= 2 ? dy : (dcb >= 2 ? dcb : dcr);
    out[x] = uint8_t((d >= 2) + (d >= 4) + (d >= 8) + (d >= 16) + (d >= 32) + (d >= 64) + (d >= 128));
  }
  out[0] = 0;
  out[width - 1] = 0;
}

// The mean of two 'YCCa' pixels byte by byte, rounded down, Cr and Cb as signed bytes
// (moved by 128 to be unsigned for the mean); the fourth byte comes out as garbage.
inline uint32_t motionMean(uint32_t u, uint32_t v) {
  const uint32_t chroma = 0x00808000u;
  u ^= chroma;
  v ^= chroma;
  return ((u & v) + (((u ^ v) >> 1) & 0x7F7F7F7Fu)) ^ chroma;
}

void motionInterpolateRow(const uint8_t* above, uint8_t* out, const uint8_t* below, const uint8_t* marks,
                          int32_t width) {
  const int32_t channels = 0x00FFFFFF;
  int32_t x = 1;
  // Sixteen pixels a step: the five costs of edgeShift in 16-bit lanes, then both
  // pixels chosen and averaged as 32-bit words.
  for (; x + 17 <= width; x += 16) {
    const v16si al = load16px(above + 4 * size_t(x - 1)), a = load16px(above + 4 * size_t(x)),
                ar = load16px(above + 4 * size_t(x + 1));
    const v16si bl = load16px(below + 4 * size_t(x - 1)), b = load16px(below + 4 * size_t(x)),
                br = load16px(below + 4 * size_t(x + 1));
    const v16hi yal = __builtin_convertvector(al & 0xFF, v16hi), ya = __builtin_convertvector(a & 0xFF, v16hi),
                yar = __builtin_convertvector(ar & 0xFF, v16hi), ybl = __builtin_convertvector(bl & 0xFF, v16hi),
                yb = __builtin_convertvector(b & 0xFF, v16hi), ybr = __builtin_convertvector(br & 0xFF, v16hi);
    const v16hi alBr = absh(yal - ybr), arBl = absh(yar - ybl);
    const v16hi c0 = maxh(maxh(alBr, absh(ya - ybr)), absh(yar - ybr));
    const v16hi c1 = maxh(maxh(alBr, absh(yal - yb)), absh(yal - ybl));
    const v16hi c2 = absh(ya - yb);
    const v16hi c3 = maxh(maxh(arBl, absh(ya - ybl)), absh(yal - ybl));
    const v16hi c4 = maxh(maxh(arBl, absh(yar - yb)), absh(yar - ybr));
    const v16hi left = minh(c0, c1), right = minh(c3, c4);
    const v16hi takeLeft = (left <= c2) & (left <= right);  // above left with below right
    const v16hi takeMiddle = ~takeLeft & (c2 <= right);
    const v16si l = __builtin_convertvector(takeLeft, v16si), m = __builtin_convertvector(takeMiddle, v16si);
    const v16si r = ~(l | m);
    const v16si u = (al & l) | (a & m) | (ar & r), v = (br & l) | (b & m) | (bl & r);
    // The byte-wise mean as motionMean takes it, in unsigned lanes: the sum wraps.
    const v16su chroma = v16su{} + 0x00808000u;
    const v16su su = v16su(u) ^ chroma, sv = v16su(v) ^ chroma;
    const v16si mean = v16si(((su & sv) + (((su ^ sv) >> 1) & 0x7F7F7F7Fu)) ^ chroma);
    v16si replace = v16si{} + channels;
    if (marks) {
      v16qu markBytes;
      std::memcpy(&markBytes, marks + x, sizeof markBytes);
      replace &= -__builtin_convertvector((markBytes >> 2) & 1, v16si);  // bit 2: interpolate
    }
    const v16si result = (mean & replace) | (load16px(out + 4 * size_t(x)) & ~replace);
    std::memcpy(out + 4 * size_t(x), &result, sizeof result);
  }
  for (; x + 1 < width; ++x) {
    if (marks && !(marks[x] & 4)) continue;
    auto pixel = [](const uint8_t* row, int32_t i) {
      uint32_t p;
      std::memcpy(&p, row + 4 * size_t(i), 4);
      return p;
    };
    const int32_t shift = edgeShift(above[4 * (x - 1)], above[4 * x], above[4 * (x + 1)], below[4 * (x - 1)],
                                    below[4 * x], below[4 * (x + 1)]);
    const uint32_t mean = motionMean(pixel(above, x + shift), pixel(below, x - shift));
    const uint32_t result = (mean & uint32_t(channels)) | (pixel(out, x) & ~uint32_t(channels));
    std::memcpy(out + 4 * size_t(x), &result, 4);
  }
}
}  // namespace

const Kernels& ZEBDV_KERNEL_TABLE_FN() {
  static const Kernels table = {ZEBDV_KERNEL_NAME,      idct88,           idct248,
                                idctToRows,
                                yccaToBgr24Row, planesToBgr24Row, planes420ToBgr24Rows,        writeMacroblock411, writeMacroblock420,
                                yccaResampleNearestRow, yccaResampleFilteredRow, writeHalf411,
                                writeHalf420,           writeQuarter525,  writeQuarter625,
                                rgb32ToBgr24Row,        forwardDct,       classifyBlock,
                                quantise,               rgbToYccRow,
                                motionTapsRow,          motionLevelRow,   motionInterpolateRow};
  return table;
}

}  // namespace zebdv
