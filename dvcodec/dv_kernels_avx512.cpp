// The kernels built for AVX-512 (F, VL, BW and VBMI; compiled with those where the
// compiler targets x86-64, and only called when the processor has them). The encoder's
// transform, classing and quantising, its colour conversion and the conversion of
// decoded planes work in 512-bit registers; the inverse transforms stay in 256-bit ones,
// as two blocks side by side in 512-bit registers were hardly faster on processors with
// one 512-bit multiply-add unit and slow the 256-bit work around them.
#define ZEBDV_KERNEL_TABLE_FN avx512KernelTable
#define ZEBDV_KERNEL_NAME "avx512"
#include "dv_kernels_impl.h"
