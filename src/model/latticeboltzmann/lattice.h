#pragma once

#include "vector3d.h"
#include "vector3i.h"

// The four discrete velocity sets and the shared equilibrium and moment
// routines. Tables have a row per possible Q (0..27); only rows 9, 15, 19 and
// 27 are filled, and every row has room for 27 directions so code may index up
// to 27 entries without knowing Q.
namespace Lattice {

constexpr int MaxQ = 27;
constexpr double ActiveWeight = 1e-100;

struct Tables
{
    int e[28][MaxQ][3];
    double w[28][MaxQ];
    int opp[28][MaxQ];
};

extern const Tables tables;

inline Vector3i direction(int q, int i)
{
    const int *v = tables.e[q][i];
    return Vector3i(v[0], v[1], v[2]);
}
inline double weight(int q, int i) { return tables.w[q][i]; }
inline int opposite(int q, int i) { return tables.opp[q][i]; }
inline bool isActive(int q, int i) { return tables.w[q][i] > ActiveWeight; }

// e_i . u with the same operation order everywhere it is used.
inline double dot(int q, int i, const Vector3d &u)
{
    const int *v = tables.e[q][i];
    return v[0] * u.x + v[1] * u.y + v[2] * u.z;
}

// The model of the current parameters.
int currentQ();

// "D3Q15" -> 15, "D3Q19" -> 19, "D3Q27" -> 27, anything else -> 9.
int modelFromName(const char *name);
const char *modelName(int q);

// Second-order equilibrium ((4.5 s^2 + (3 s + 1)) - 1.5 u.u) * (w rho), s = e.u.
inline double equilibrium(const Vector3d &u, double rho, int q, int i)
{
    const double w = tables.w[q][i];
    if (w <= ActiveWeight)
        return 0.0;
    const double s = dot(q, i, u);
    return ((4.5 * s * s + (3.0 * s + 1.0)) - 1.5 * u.dot(u)) * (w * rho);
}

// First-order equilibrium (3 s + 1) * (w rho), used by the scalar cells.
inline double equilibriumFirstOrder(const Vector3d &u, double rho, int q, int i)
{
    const double w = tables.w[q][i];
    if (w <= ActiveWeight)
        return 0.0;
    return (3.0 * dot(q, i, u) + 1.0) * (w * rho);
}

void equilibriumArray(const Vector3d &u, double rho, int q, double *out);

// rho = sum f_i, u = sum f_i e_i / rho (zero when rho <= 1e-100).
void moments(const double *f, int q, double &rho, Vector3d &u);

} // namespace Lattice
