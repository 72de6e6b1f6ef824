#include "spheredrag.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/forces/gravity.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <cmath>
#include <memory>

double SphereDrag::hasimoto(double c)
{
    return 1.0 / (1.0 - 1.7601 * std::cbrt(c) + c - 1.5593 * c * c);
}

SphereDrag::Result SphereDrag::run(double radius, int box, WallScheme scheme, const QString &stlFile, double tau)
{
    Result r;
    Grid grid;
    SimulationParameters *p = FlowMeasure::setUp(grid, 19, tau, true, true);
    grid.resize(box, box, box);

    std::unique_ptr<Shape> sphere;
    if (stlFile.isEmpty()) {
        sphere = std::make_unique<SphereShape>(radius);
    } else {
        QString error;
        std::unique_ptr<MeshShape> mesh = MeshShape::fromFile(stlFile, &error);
        if (!mesh) {
            qWarning("%s", qPrintable(error));
            return r;
        }
        mesh->setScale(radius);
        sphere = std::move(mesh);
    }
    // Off the lattice's symmetry planes.
    sphere->setCentre(Vector3d(0.5 * box + 0.23, 0.5 * box + 0.11, 0.5 * box + 0.37));
    sphere->setScheme(scheme);
    ShapeSet shapes;
    const int index = shapes.add(std::move(sphere));
    shapes.place(grid, index);

    // A creeping flow: the Reynolds number 2 a U / nu stays near 0.01.
    const double nu = (tau - 0.5) / 3.0;
    const double c = 4.0 / 3.0 * M_PI * radius * radius * radius / (double(box) * box * box);
    r.kHasimoto = hasimoto(c);
    const double targetSpeed = 0.005 * nu / radius;
    const int fluid = grid.getStatistics().fluidCells;
    const double g = targetSpeed * 6.0 * M_PI * nu * radius * r.kHasimoto / fluid;
    p->setGravity(g);
    p->addForce(new Gravity);

    auto meanVelocity = [&] {
        double sum = 0.0;
        grid.forEachCell([&](BaseCell *cell, int, int, int) {
            if (cell->isFluid())
                sum -= FlowMeasure::physicalVelocity(cell).y;
        });
        return sum / (double(box) * box * box);
    };
    auto drag = [&] {
        shapes.computeForces(grid);
        return -shapes.force(index).y;
    };
    // The mean flow settles as exp(-t / T) with T = rho L^3 / (6 pi mu a K),
    // several hundred iterations: the limits of the mean velocity and of the
    // drag are extrapolated from three samples (Aitken's rule) once a single
    // exponential is left, and the run stops when the limits hold still.
    const int burst = 100;
    double u[3] = {0, 0, 0}, f[3] = {0, 0, 0}, lastU = 0.0;
    auto limit = [](const double *v) {
        const double d1 = v[1] - v[0], d2 = v[2] - v[1];
        const double bend = d2 - d1;
        return bend != 0.0 && d2 / d1 > 0.0 && d2 / d1 < 1.0 ? v[2] - d2 * d2 / bend : v[2];
    };
    while (r.iterations < 40000) {
        grid.step(burst);
        r.iterations += burst;
        for (int k = 0; k < 2; ++k) {
            u[k] = u[k + 1];
            f[k] = f[k + 1];
        }
        u[2] = meanVelocity();
        f[2] = drag();
        if (r.iterations < 3 * burst)
            continue;
        const double estimate = limit(u);
        if (r.iterations >= 600 && std::abs(estimate - lastU) <= 1e-6 * std::abs(estimate)) {
            r.velocity = estimate;
            r.drag = limit(f);
            break;
        }
        lastU = estimate;
        r.velocity = estimate;
        r.drag = limit(f);
    }
    const double mass = FlowMeasure::fluidMass(grid);
    r.bodyForce = g * mass;
    const double mu = mass / fluid * nu;
    r.k = r.drag / (6.0 * M_PI * mu * radius * r.velocity);
    r.error = r.k / r.kHasimoto - 1.0;
    return r;
}
