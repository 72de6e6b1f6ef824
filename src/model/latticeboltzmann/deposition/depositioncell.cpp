#include "depositioncell.h"

#include "depositionwall.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

std::atomic<bool> warnedPlanar{false};

} // namespace

DepositionCell::DepositionCell(int q) : planar(q == 9)
{
    if (!planar && !warnedPlanar.exchange(true))
        qWarning() << "Deposition cells need the D2Q9 model; on a 3D model they stay still.";
    for (int i = 0; i < 9; ++i)
        g[i] = gNext[i] = committed[i] = 0.0;
}

void DepositionCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    if (!planar)
        return;
    const double tau = params[1];
    for (int i = 0; i < 9; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, g[i] * (1.0 - 1.0 / tau) + theta * Lattice::tables.w[9][i] / tau, 1);
    double s = 0.0;
    for (int i = 1; i < 9; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        if (n->isFluid())
            s += n->getP(0) * (9.0 / 5.0) * Lattice::tables.w[9][i];
        else if (dynamic_cast<DepositionWall *>(PassiveScalarCell::innerOf(n)))
            s += (9.0 / 5.0) * Lattice::tables.w[9][i];
    }
    // The neighbours' deposits are read during this phase, so the new value
    // takes effect at the commit.
    depositedNext = std::min(1.0, deposited + grid->getParameters()->getDepositionRate() * theta * s);
}

void DepositionCell::postUpdate()
{
    if (!planar)
        return;
    double t = 0.0;
    for (int i = 0; i < 9; ++i) {
        g[i] = committed[i] = gNext[i];
        t += g[i];
    }
    theta = t;
    deposited = depositedNext;
}

void DepositionCell::finishUpdate(Grid *grid, int x, int y, int z)
{
    if (!planar || deposited == 0.0)
        return;
    for (int i = 0; i < 9; ++i) {
        const int *e = Lattice::tables.e[9][i];
        BaseCell *n = grid->getCell(x + e[0], y + e[1], z);
        if (!n || dynamic_cast<WallCell *>(PassiveScalarCell::innerOf(n)))
            continue;
        const int o = Lattice::tables.opp[9][i];
        const DepositionCell *d = dynamic_cast<DepositionCell *>(PassiveScalarCell::innerOf(n));
        const double back = d ? d->committed[o] : n->getF(o, 1);
        g[i] = g[i] + (back - g[i]) * deposited;
    }
    // The concentration follows the reflected populations, so the next
    // relaxation keeps the amount of the substance.
    double t = 0.0;
    for (int i = 0; i < 9; ++i)
        t += g[i];
    theta = t;
}

void DepositionCell::reset(double, double p1)
{
    deposited = depositedNext = 0.0;
    if (p1 >= 0.0)
        theta0 = p1;
    double t = 0.0;
    for (int i = 0; i < 9; ++i) {
        g[i] = committed[i] = Lattice::tables.w[9][i] * theta0;
        t += g[i];
    }
    theta = t;
}

double DepositionCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < 9; ++i)
        sum += std::abs(gNext[i] - g[i]);
    return lastDeltaP = sum / 9.0;
}

void DepositionCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "deposition");
    writer.writeAttribute("initialConcentration", XmlFormat::real(theta0));
    writer.writeAttribute("deposited", XmlFormat::real(deposited));
    for (int i = 0; i < 9; ++i)
        writer.writeAttribute(QStringLiteral("g%1").arg(i), XmlFormat::real(g[i]));
}

void DepositionCell::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    const double t0 = a.real("initialConcentration", theta0);
    const double d = a.real("deposited", 0.0, 0.0, 1.0);
    double values[9];
    for (int i = 0; i < 9; ++i)
        values[i] = a.real(QStringLiteral("g%1").arg(i));
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    theta0 = t0;
    deposited = depositedNext = d;
    double t = 0.0;
    for (int i = 0; i < 9; ++i) {
        g[i] = committed[i] = values[i];
        t += values[i];
    }
    theta = t;
}
