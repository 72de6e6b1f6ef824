#include "lattice.h"

#include "persistence/simulationparameters.h"

#include <cstring>

namespace Lattice {
namespace {

struct Row
{
    int e[MaxQ][3];
    int numerator[MaxQ];
    int denominator[MaxQ];
};

// Directions in the program's storage order and their weights as fractions.
constexpr Row d2q9 = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}, {0, -1, 0}, {1, -1, 0}},
                      {4, 1, 1, 1, 1, 1, 1, 1, 1},
                      {9, 9, 36, 9, 36, 9, 36, 9, 36}};

constexpr Row d3q15 = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {1, 1, -1}, {-1, 1, -1},
                        {-1, -1, -1}, {1, -1, -1}, {0, 0, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}},
                       {2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                       {9, 9, 9, 9, 9, 9, 72, 72, 72, 72, 9, 72, 72, 72, 72}};

constexpr Row d3q19 = {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}, {0, -1, 0}, {1, -1, 0},
                        {0, 0, -1}, {1, 0, -1}, {0, 1, -1}, {-1, 0, -1}, {0, -1, -1}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1},
                        {-1, 0, 1}, {0, -1, 1}},
                       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
                       {3, 18, 36, 18, 36, 18, 36, 18, 36, 18, 36, 36, 36, 36, 18, 36, 36, 36, 36}};

constexpr Row d3q27 = {{{0, 0, 0},   {1, 0, 0},   {1, 1, 0},  {0, 1, 0},   {-1, 1, 0},  {-1, 0, 0},  {-1, -1, 0},
                        {0, -1, 0},  {1, -1, 0},  {0, 0, -1}, {1, 0, -1},  {1, 1, -1},  {0, 1, -1},  {-1, 1, -1},
                        {-1, 0, -1}, {-1, -1, -1}, {0, -1, -1}, {1, -1, -1}, {0, 0, 1},   {1, 0, 1},   {1, 1, 1},
                        {0, 1, 1},   {-1, 1, 1},  {-1, 0, 1}, {-1, -1, 1}, {0, -1, 1},  {1, -1, 1}},
                       {8, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1},
                       {27, 27, 54, 27, 54, 27, 54, 27, 54, 27, 54, 216, 54, 216, 54, 216, 54, 216,
                        27, 54, 216, 54, 216, 54, 216, 54, 216}};

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

} // namespace

constexpr Tables builtTables = build();
const Tables tables = builtTables;

int currentQ()
{
    return currentParameters()->getModel();
}

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
