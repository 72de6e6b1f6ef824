// The line kernels for the avx512 instruction set (see linekernels_impl.h).
#define KERNEL_SET avx512Set
#define KERNEL_SINGLE_PASS_FROM_Q 0
#include "linekernels_impl.h"
