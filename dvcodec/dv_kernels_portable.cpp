// The kernels for any x86-64 (or other) processor.
#define ZEBDV_KERNEL_TABLE_FN portableKernelTable
#define ZEBDV_KERNEL_NAME "portable"
#include "dv_kernels_impl.h"
