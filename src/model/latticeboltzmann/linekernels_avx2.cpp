// The line kernels for the avx2 instruction set (see linekernels_impl.h).
#define KERNEL_SET avx2Set
#include "linekernels_impl.h"
