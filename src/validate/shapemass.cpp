#include "shapemass.h"

#include "flowmeasure.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <cmath>
#include <memory>

ShapeMass::Result ShapeMass::run(WallScheme scheme, bool turning, int iterations)
{
    const int n = 40;
    Grid grid;
    FlowMeasure::setUp(grid, 9, 0.8, false, false);
    grid.resize(n, n, 1);
    for (int k = 0; k < n; ++k) {
        grid.setCell(k, 0, 0, new WallCell, true, false);
        grid.setCell(k, n - 1, 0, new WallCell, true, false);
        grid.setCell(0, k, 0, new WallCell, true, false);
        grid.setCell(n - 1, k, 0, new WallCell, true, false);
    }
    auto cylinder = std::make_unique<SphereShape>(7.3);
    cylinder->setCentre(Vector3d(19.3, 20.6, 0.0));
    cylinder->setScheme(scheme);
    if (turning)
        cylinder->setAngularVelocity(Vector3d(0.0, 0.0, 0.02 / 7.3));
    ShapeSet shapes;
    shapes.place(grid, shapes.add(std::move(cylinder)));
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        if (!c->isFluid())
            return;
        double f[Lattice::MaxQ];
        Lattice::equilibriumArray(Vector3d(0.02, 0.01, 0.0), 1.0, 9, f);
        c->setF(f);
    });
    const double before = FlowMeasure::fluidMass(grid);
    Result r;
    const int burst = 100;
    for (int done = 0; done < iterations; done += burst) {
        grid.step(burst);
        const double d = (FlowMeasure::fluidMass(grid) - before) / before;
        r.largest = std::max(r.largest, std::abs(d));
        r.drift = d;
    }
    return r;
}
