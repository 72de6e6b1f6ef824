// The line kernels for the avx2 instruction set (see linekernels_impl.h).
#define KERNEL_SET avx2Set
#define KERNEL_SINGLE_PASS_FROM_Q 15
#include "linekernels_impl.h"
