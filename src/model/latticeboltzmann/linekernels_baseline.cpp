// The line kernels for the baseline instruction set (see linekernels_impl.h).
#define KERNEL_SET baselineSet
#include "linekernels_impl.h"
