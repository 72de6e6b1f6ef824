#include "circularcouette.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>
#include <memory>

CircularCouette::Result CircularCouette::run(int innerRadius, WallScheme scheme, double tau)
{
    const double r1 = innerRadius, r2 = 2.0 * innerRadius;
    const int n = 2 * int(r2) + 6;
    Grid grid;
    FlowMeasure::setUp(grid, 9, tau, false, n >= 64);
    grid.resize(n, n, 1);

    // Off the lattice's symmetry lines, so the links are cut at every fraction.
    const Vector3d centre(0.5 * (n - 1) + 0.17, 0.5 * (n - 1) + 0.31, 0.0);
    const double wallSpeed = 0.32 / innerRadius, omega = wallSpeed / r1;
    ShapeSet shapes;
    auto inner = std::make_unique<SphereShape>(r1);
    inner->setCentre(centre);
    inner->setScheme(scheme);
    inner->setAngularVelocity(Vector3d(0.0, 0.0, omega));
    auto outer = std::make_unique<SphereShape>(r2);
    outer->setCentre(centre);
    outer->setInverted(true);
    outer->setScheme(scheme);
    const int innerIndex = shapes.add(std::move(inner));
    shapes.place(grid, innerIndex);
    shapes.place(grid, shapes.add(std::move(outer)));

    const double a = -omega * r1 * r1 / (r2 * r2 - r1 * r1), b = omega * r1 * r1 * r2 * r2 / (r2 * r2 - r1 * r1);
    auto exact = [&](int x, int y) {
        const double dx = x - centre.x, dy = y - centre.y, r = std::sqrt(dx * dx + dy * dy);
        const double speed = a * r + b / r;
        return Vector3d(-dy / r * speed, dx / r * speed, 0.0);
    };
    grid.forEachCell([&](BaseCell *c, int x, int y, int) {
        if (!c->isFluid())
            return;
        double f[Lattice::MaxQ];
        Lattice::equilibriumArray(exact(x, y), 1.0, 9, f);
        c->setF(f);
    });
    const double before = FlowMeasure::fluidMass(grid);
    auto error = [&] {
        double squares = 0.0, norm = 0.0;
        grid.forEachCell([&](BaseCell *c, int x, int y, int) {
            if (!c->isFluid())
                return;
            const Vector3d e = exact(x, y), d = c->getVelocity(0) - e;
            squares += d.lengthSquared();
            norm += e.lengthSquared();
        });
        return std::sqrt(squares / norm);
    };
    Result r;
    r.iterations = FlowMeasure::runToSteadyState(grid, error, 1e-6, 200, 200000);
    r.l2Error = error();
    shapes.computeForces(grid);
    r.torque = shapes.torque(innerIndex).z;
    const double mu = before / grid.getStatistics().fluidCells * (tau - 0.5) / 3.0;
    r.torqueExact = -4.0 * M_PI * mu * omega * r1 * r1 * r2 * r2 / (r2 * r2 - r1 * r1);
    r.massDrift = (FlowMeasure::fluidMass(grid) - before) / before;
    return r;
}
