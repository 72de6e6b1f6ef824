#include "plainmoments.h"

#include "populations.h"

#include <algorithm>
#include <cmath>

PlainMoments::PlainMoments(const Populations &populations, const double *array, bool speed) : speed(speed)
{
    const int q = populations.q;
    if (!array || q <= 0 || q > Lattice::MaxQ)
        return;
    for (int i = 0; i < q; ++i) {
        if (Lattice::tables.w[q][i] <= Lattice::ActiveWeight)
            continue;
        const int *e = Lattice::tables.e[q][i];
        directions[count++] =
            Direction{array + std::size_t(i) * populations.stride, double(e[0]), double(e[1]), double(e[2])};
    }
}

void PlainMoments::values(std::size_t first, int n, double *out) const
{
    constexpr int Tile = 256;
    double r[Tile], mx[Tile], my[Tile], mz[Tile];
    for (int t0 = 0; t0 < n; t0 += Tile) {
        const int m = std::min(Tile, n - t0);
        const std::size_t base = first + std::size_t(t0);
        for (int j = 0; j < m; ++j)
            r[j] = mx[j] = my[j] = mz[j] = 0.0;
        for (int k = 0; k < count; ++k) {
            const Direction &d = directions[k];
            const double *f = d.values + base;
            const double ex = d.ex, ey = d.ey, ez = d.ez;
            for (int j = 0; j < m; ++j)
                r[j] += f[j];
            if (speed)
                for (int j = 0; j < m; ++j) {
                    mx[j] += f[j] * ex;
                    my[j] += f[j] * ey;
                    mz[j] += f[j] * ez;
                }
        }
        double *o = out + t0;
        if (!speed) {
            std::copy(r, r + m, o);
            continue;
        }
        for (int j = 0; j < m; ++j) {
            const double inv = 1.0 / r[j];
            const double ux = mx[j] * inv, uy = my[j] * inv, uz = mz[j] * inv;
            const double v = std::sqrt(ux * ux + uy * uy + uz * uz);
            o[j] = r[j] > Lattice::ActiveWeight ? v : 0.0;
        }
    }
}
