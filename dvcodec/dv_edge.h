// The direction of the edge-directed mean, shared by the picture filters and the kernels'
// scalar ends. Internal linkage: the kernels are built once per instruction set.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace zebdv {
namespace {

// The mean along the direction of least luminance change through a pixel of a replaced
// row: five costs from the six luminance neighbours (above left, above, above right,
// below left, below, below right), the smallest wins, ties going to the earlier. The
// pair averaged is pixel x + shift above and x - shift below.
[[maybe_unused]] int32_t edgeShift(int al, int a, int ar, int bl, int b, int br) {
  auto max3 = [](int u, int v, int w) { return u > v ? (u > w ? u : w) : (v > w ? v : w); };
  const int alBr = std::abs(al - br), arBl = std::abs(ar - bl);
  const int c0 = max3(alBr, std::abs(a - br), std::abs(ar - br));
  const int c1 = max3(alBr, std::abs(al - b), std::abs(al - bl));
  const int c2 = std::abs(a - b);
  const int c3 = max3(arBl, std::abs(a - bl), std::abs(al - bl));
  const int c4 = max3(arBl, std::abs(ar - b), std::abs(ar - br));
  const int left = c0 < c1 ? c0 : c1;   // AL and BR
  const int right = c3 < c4 ? c3 : c4;  // AR and BL
  if (left <= c2 && left <= right) return -1;
  return c2 <= right ? 0 : 1;
}

}  // namespace
}  // namespace zebdv
