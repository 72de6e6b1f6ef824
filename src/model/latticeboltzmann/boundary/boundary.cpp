#include "boundary.h"

#include "facetable.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"

#include <QXmlStreamReader>
#include <QtDebug>

#include <cmath>

double Boundary::modulation(int period, int iteration)
{
    if (period == 0)
        return 0.0;
    // The constant is the program's own rounding of 2 pi, kept so that runs
    // reproduce earlier ones.
    return std::sin(6.2831853 * double(iteration % period) / double(period));
}

SimulationParameters *Boundary::parametersOf(Grid *grid)
{
    return grid->getParameters();
}

int Boundary::iterationsOf(Grid *grid)
{
    return grid ? grid->getStatistics().iterations : 0;
}

int Boundary::targetSide(int q, BaseCell *neighbours[], BaseCell *&target)
{
    target = nullptr;
    const int side = FaceTable::select(q, neighbours);
    if (side < 0)
        return -1;
    target = neighbours[FaceTable::face(q, side).front];
    return target ? side : -1;
}

MovingCell *Boundary::movingSource(int q, Grid *grid, Vector3i position, int side, int k, BaseCell *target)
{
    if (!grid || !target || !target->isFluid())
        return nullptr;
    const Vector3d normal = FaceTable::face(q, side).normal;
    const Vector3i e = Lattice::direction(q, k);
    const Vector3i source(position.x + int(normal.x) - e.x, position.y + int(normal.y) - e.y,
                          position.z + int(normal.z) - e.z);
    auto *moving = dynamic_cast<MovingCell *>(PassiveScalarCell::innerOf(MovingCell::neighbourAt(grid, source)));
    // The wall writes only into the cell it finds in direction k.
    if (!moving || MovingCell::neighbourAt(grid, source + e) != target)
        return nullptr;
    return moving;
}

void Boundary::activate(QXmlStreamReader &reader, Grid *)
{
    // -1 marks the quantity that is not prescribed.
    AttributeReader a(reader);
    const double pressure = a.real("pressure", 0.0, -1.0);
    const double velocity = a.real("velocity");
    if (!a.ok()) {
        qWarning("%s", qPrintable(a.error()));
        return;
    }
    p = pressure;
    u = velocity;
}
