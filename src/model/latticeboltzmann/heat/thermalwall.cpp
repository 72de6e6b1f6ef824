#include "thermalwall.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "persistence/attributereader.h"
#include "persistence/simulationparameters.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cstdlib>

namespace {

bool isAxis(int q, int i)
{
    const int *e = Lattice::tables.e[q][i];
    return Lattice::isActive(q, i) && std::abs(e[0]) + std::abs(e[1]) + std::abs(e[2]) == 1;
}

// The first axis direction from the fluid cell at site towards a thermal wall;
// only that wall completes the cell's scalar.
int firstThermalDirection(Grid *grid, const Vector3i &site, int q)
{
    BaseCell **block = grid->neighbourBlock(site.x, site.y, site.z);
    if (!block)
        return -1;
    for (int i = 1; i < q; ++i)
        if (isAxis(q, i) && dynamic_cast<ThermalWall *>(PassiveScalarCell::innerOf(block[i])))
            return i;
    return -1;
}

} // namespace

void ThermalWall::setNextF(int i, double value, int component)
{
    if (component == 0)
        WallCell::setNextF(i, value, 0);
}

void ThermalWall::update(double[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    const int q = Lattice::currentQ();
    for (int n = 1; n < q; ++n) {
        if (!isAxis(q, n))
            continue;
        BaseCell *target = neighbours[n];
        if (!target || !target->isFluid())
            continue;
        const int *en = Lattice::tables.e[q][n];
        const Vector3i site(position.x + en[0], position.y + en[1], position.z + en[2]);
        const Vector3i wrapped = site.wrapped(grid->getWidth(), grid->getHeight(), grid->getLength());
        if (firstThermalDirection(grid, wrapped, q) != Lattice::opposite(q, n))
            return;
        // Directions that come into the fluid cell from the wall's side.
        double known = 0.0, weights = 0.0;
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            if (e[0] * en[0] + e[1] * en[1] + e[2] * en[2] > 0)
                weights += Lattice::weight(q, i);
            else if (Lattice::isActive(q, i))
                known += target->getNextF(i, 1);
        }
        const double missing = currentParameters()->getThermal(index) - known;
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            if (e[0] * en[0] + e[1] * en[1] + e[2] * en[2] > 0)
                target->setNextF(i, missing * Lattice::weight(q, i) / weights, 1);
        }
        return;
    }
}

void ThermalWall::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "thermalWall");
    writer.writeAttribute("index", QString::number(index));
}

void ThermalWall::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    const int i = a.integer("index", 0, 0, 1 << 20);
    if (a.ok())
        index = i;
    else
        qWarning() << "load error:" << a.error();
}
