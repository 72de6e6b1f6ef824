#include "linekernels.h"

namespace LineKernels {

int bestLevel()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const int level = __builtin_cpu_supports("avx512f") ? 3 : __builtin_cpu_supports("avx2") ? 2 : 1;
    return level;
#else
    return 1;
#endif
}

const Set &kernels(int level)
{
    if (level <= 0 || level > bestLevel())
        level = bestLevel();
    return level >= 3 ? avx512Set : level == 2 ? avx2Set : baselineSet;
}

} // namespace LineKernels
