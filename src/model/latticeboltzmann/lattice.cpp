#include "lattice.h"

#include <cstring>

namespace Lattice {
int modelFromName(const char *name)
{
    if (std::strcmp(name, "D3Q15") == 0)
        return 15;
    if (std::strcmp(name, "D3Q19") == 0)
        return 19;
    if (std::strcmp(name, "D3Q27") == 0)
        return 27;
    return 9;
}

const char *modelName(int q)
{
    switch (q) {
    case 15:
        return "D3Q15";
    case 19:
        return "D3Q19";
    case 27:
        return "D3Q27";
    default:
        return "D2Q9";
    }
}

void equilibriumArray(const Vector3d &u, double rho, int q, double *out)
{
    for (int i = 0; i < q; ++i)
        out[i] = equilibrium(u, rho, q, i);
}

void moments(const double *f, int q, double &rho, Vector3d &u)
{
    double r = 0.0, mx = 0.0, my = 0.0, mz = 0.0;
    for (int i = 0; i < q; ++i) {
        if (tables.w[q][i] <= ActiveWeight)
            continue;
        const int *e = tables.e[q][i];
        r += f[i];
        mx += f[i] * e[0];
        my += f[i] * e[1];
        mz += f[i] * e[2];
    }
    rho = r;
    if (r > ActiveWeight) {
        const double inv = 1.0 / r;
        u = Vector3d(mx * inv, my * inv, mz * inv);
    } else {
        u = Vector3d();
    }
}

} // namespace Lattice
