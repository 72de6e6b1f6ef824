// The line kernels for the baseline instruction set (see linekernels_impl.h).
#define KERNEL_SET baselineSet
#define KERNEL_SINGLE_PASS_FROM_Q 99
#include "linekernels_impl.h"
