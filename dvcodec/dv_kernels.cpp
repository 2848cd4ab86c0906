#include "dv_kernels.h"

#include <atomic>

namespace zebdv {

const Kernels& portableKernelTable();
#if defined(ZEBDV_HAVE_AVX2_KERNELS)
const Kernels& avx2KernelTable();
const Kernels& avx512KernelTable();
#endif

const Kernels& portableKernels() { return portableKernelTable(); }

const Kernels* avx2Kernels() {
#if defined(ZEBDV_HAVE_AVX2_KERNELS)
  static const bool supported = __builtin_cpu_supports("avx2");
  if (supported) return &avx2KernelTable();
#endif
  return nullptr;
}

const Kernels* avx512Kernels() {
#if defined(ZEBDV_HAVE_AVX2_KERNELS)
  static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                                __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  if (supported) return &avx512KernelTable();
#endif
  return nullptr;
}

const Kernels& fastestKernels() {
  if (const Kernels* k = avx512Kernels()) return *k;
  if (const Kernels* k = avx2Kernels()) return *k;
  return portableKernels();
}

namespace {
std::atomic<const Kernels*> g_selected{nullptr};
}  // namespace

const Kernels& kernels() {
  const Kernels* k = g_selected.load(std::memory_order_relaxed);
  if (!k) {
    k = &fastestKernels();
    g_selected.store(k, std::memory_order_relaxed);
  }
  return *k;
}

void selectKernels(const Kernels* k) { g_selected.store(k, std::memory_order_relaxed); }

}  // namespace zebdv
