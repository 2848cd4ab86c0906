// The kernels built for AVX2 (this file is compiled with -mavx2 where the compiler
// targets x86-64; it is only called when the processor has AVX2).
#define ZEBDV_KERNEL_TABLE_FN avx2KernelTable
#define ZEBDV_KERNEL_NAME "avx2"
#include "dv_kernels_impl.h"
