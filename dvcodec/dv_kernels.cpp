#include "dv_kernels.h"

namespace zebdv {

const Kernels& portableKernelTable();
#if defined(ZEBDV_HAVE_AVX2_KERNELS)
const Kernels& avx2KernelTable();
#endif

const Kernels& portableKernels() { return portableKernelTable(); }

const Kernels* avx2Kernels() {
#if defined(ZEBDV_HAVE_AVX2_KERNELS)
  static const bool supported = __builtin_cpu_supports("avx2");
  if (supported) return &avx2KernelTable();
#endif
  return nullptr;
}

const Kernels& kernels() {
  static const Kernels& chosen = avx2Kernels() ? *avx2Kernels() : portableKernels();
  return chosen;
}

}  // namespace zebdv
