// The kernels built for AVX-512 with 256-bit vectors (VL, BW and VBMI; compiled with
// those where the compiler targets x86-64, and only called when the processor has them).
#define ZEBDV_KERNEL_TABLE_FN avx512KernelTable
#define ZEBDV_KERNEL_NAME "avx512"
#include "dv_kernels_impl.h"
