#include "taylorgreen.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>
#include <vector>

TaylorGreen::Result TaylorGreen::run(int n, double tau, bool single)
{
    Grid grid;
    FlowMeasure::setUp(grid, 9, tau, true, n >= 64)->setSinglePopulations(single);
    grid.resize(n, n, 1);
    const double k = 2.0 * M_PI / n, u0 = 0.04 * 32.0 / n, nu = (tau - 0.5) / 3.0;
    auto velocity = [&](int x, int y, double t) {
        const double decay = std::exp(-2.0 * nu * k * k * t);
        return Vector3d(-u0 * std::cos(k * x) * std::sin(k * y) * decay, u0 * std::sin(k * x) * std::cos(k * y) * decay,
                        0.0);
    };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            // p = -u0^2 / 4 (cos 2kx + cos 2ky) and rho = 1 + 3 p.
            const double rho = 1.0 - 0.75 * u0 * u0 * (std::cos(2 * k * x) + std::cos(2 * k * y));
            double f[Lattice::MaxQ];
            Lattice::equilibriumArray(velocity(x, y, 0.0), rho, 9, f);
            grid.getCell(x, y, 0)->setF(f);
        }
    Result r;
    r.viscosityExpected = nu;
    r.iterations = int(std::lround(1.0 / (2.0 * nu * k * k)));
    std::vector<double> times, logs;
    for (int t = 0; t <= r.iterations; ++t) {
        if (t >= r.iterations / 10 && t % 5 == 0) {
            double energy = 0.0;
            grid.forEachCell([&](BaseCell *c, int, int, int) { energy += c->getVelocity(0).lengthSquared(); });
            times.push_back(t);
            logs.push_back(std::log(energy));
        }
        if (t < r.iterations)
            grid.step(1);
    }
    // Least-squares slope of log E over t: -2 nu (2 k^2) for the energy.
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double m = double(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        sx += times[i];
        sy += logs[i];
        sxx += times[i] * times[i];
        sxy += times[i] * logs[i];
    }
    r.viscosity = -(m * sxy - sx * sy) / (m * sxx - sx * sx) / (4.0 * k * k);
    double squares = 0.0, norm = 0.0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const Vector3d e = velocity(x, y, r.iterations);
            squares += (grid.getCell(x, y, 0)->getVelocity(0) - e).lengthSquared();
            norm += e.lengthSquared();
        }
    r.l2Error = std::sqrt(squares / norm);
    return r;
}
