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

namespace detail {

struct Row
{
    int e[MaxQ][3];
    int numerator[MaxQ];
    int denominator[MaxQ];
};

// Directions in the program's storage order and their weights as fractions.
constexpr Row d2q9 = {
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}, {0, -1, 0}, {1, -1, 0}},
    {4, 1, 1, 1, 1, 1, 1, 1, 1},
    {9, 9, 36, 9, 36, 9, 36, 9, 36}};

constexpr Row d3q15 = {{{0, 0, 0},
                        {1, 0, 0},
                        {0, 1, 0},
                        {-1, 0, 0},
                        {0, -1, 0},
                        {0, 0, -1},
                        {1, 1, -1},
                        {-1, 1, -1},
                        {-1, -1, -1},
                        {1, -1, -1},
                        {0, 0, 1},
                        {1, 1, 1},
                        {-1, 1, 1},
                        {-1, -1, 1},
                        {1, -1, 1}},
                       {2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                       {9, 9, 9, 9, 9, 9, 72, 72, 72, 72, 9, 72, 72, 72, 72}};

constexpr Row d3q19 = {{{0, 0, 0},
                        {1, 0, 0},
                        {1, 1, 0},
                        {0, 1, 0},
                        {-1, 1, 0},
                        {-1, 0, 0},
                        {-1, -1, 0},
                        {0, -1, 0},
                        {1, -1, 0},
                        {0, 0, -1},
                        {1, 0, -1},
                        {0, 1, -1},
                        {-1, 0, -1},
                        {0, -1, -1},
                        {0, 0, 1},
                        {1, 0, 1},
                        {0, 1, 1},
                        {-1, 0, 1},
                        {0, -1, 1}},
                       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                       {3, 18, 36, 18, 36, 18, 36, 18, 36, 18, 36, 36, 36, 36, 18, 36, 36, 36, 36}};

constexpr Row d3q27 = {{{0, 0, 0},   {1, 0, 0},    {1, 1, 0},   {0, 1, 0},   {-1, 1, 0}, {-1, 0, 0}, {-1, -1, 0},
                        {0, -1, 0},  {1, -1, 0},   {0, 0, -1},  {1, 0, -1},  {1, 1, -1}, {0, 1, -1}, {-1, 1, -1},
                        {-1, 0, -1}, {-1, -1, -1}, {0, -1, -1}, {1, -1, -1}, {0, 0, 1},  {1, 0, 1},  {1, 1, 1},
                        {0, 1, 1},   {-1, 1, 1},   {-1, 0, 1},  {-1, -1, 1}, {0, -1, 1}, {1, -1, 1}},
                       {8, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1},
                       {27, 27,  54, 27,  54, 27, 54,  27, 54,  27, 54,  216, 54, 216,
                        54, 216, 54, 216, 27, 54, 216, 54, 216, 54, 216, 54,  216}};

constexpr void fill(Tables &t, int q, const Row &row)
{
    for (int i = 0; i < q; ++i) {
        for (int a = 0; a < 3; ++a)
            t.e[q][i][a] = row.e[i][a];
        t.w[q][i] = double(row.numerator[i]) / double(row.denominator[i]);
    }
    for (int i = 0; i < q; ++i)
        for (int j = 0; j < q; ++j)
            if (row.e[j][0] == -row.e[i][0] && row.e[j][1] == -row.e[i][1] && row.e[j][2] == -row.e[i][2])
                t.opp[q][i] = j;
}

constexpr Tables build()
{
    Tables t{};
    fill(t, 9, d2q9);
    fill(t, 15, d3q15);
    fill(t, 19, d3q19);
    fill(t, 27, d3q27);
    return t;
}

} // namespace detail

// Built at compile time, so loops over a fixed Q fold the weights and directions.
inline constexpr Tables tables = detail::build();

// The direction components of model Q as doubles, one array per axis.
template <int Q> struct Components
{
    double x[Q], y[Q], z[Q];
};
template <int Q> constexpr Components<Q> makeComponents()
{
    Components<Q> c{};
    for (int i = 0; i < Q; ++i) {
        c.x[i] = tables.e[Q][i][0];
        c.y[i] = tables.e[Q][i][1];
        c.z[i] = tables.e[Q][i][2];
    }
    return c;
}
template <int Q> inline constexpr Components<Q> directionComponents = makeComponents<Q>();

inline Vector3i direction(int q, int i)
{
    const int *v = tables.e[q][i];
    return Vector3i(v[0], v[1], v[2]);
}
inline double weight(int q, int i)
{
    return tables.w[q][i];
}
inline int opposite(int q, int i)
{
    return tables.opp[q][i];
}
inline bool isActive(int q, int i)
{
    return tables.w[q][i] > ActiveWeight;
}

// e_i . u with the same operation order everywhere it is used.
inline double dot(int q, int i, const Vector3d &u)
{
    const int *v = tables.e[q][i];
    return v[0] * u.x + v[1] * u.y + v[2] * u.z;
}

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
