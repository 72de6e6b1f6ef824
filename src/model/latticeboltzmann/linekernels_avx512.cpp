// The line kernels for the avx512 instruction set (see linekernels_impl.h).
#define KERNEL_SET avx512Set
#include "linekernels_impl.h"
