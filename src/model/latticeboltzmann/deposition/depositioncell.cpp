#include "depositioncell.h"

#include "depositionwall.h"
#include "model/latticeboltzmann/blockpool.h"
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

constexpr std::size_t BlockBytes = 2 * DepositionCell::Values * sizeof(double);

} // namespace

DepositionCell::DepositionCell(int q) : planar(q == 9)
{
    if (!planar && !warnedPlanar.exchange(true))
        qWarning() << "Deposition cells need the D2Q9 model; on a 3D model they stay still.";
    allocateBlock();
}

DepositionCell::~DepositionCell()
{
    if (block)
        BlockPool::release(block, BlockBytes);
}

void DepositionCell::allocateBlock()
{
    block = static_cast<double *>(BlockPool::allocate(BlockBytes));
    for (int i = 0; i < 2 * Values; ++i)
        block[i] = 0.0;
}

void DepositionCell::attach(Populations *scalars, int siteIndex)
{
    if (!block)
        return;
    for (int i = 0; i < Values; ++i) {
        const std::size_t at = std::size_t(i) * scalars->stride + std::size_t(siteIndex);
        scalars->cur[at] = block[i];
        scalars->next[at] = block[Values + i];
    }
    BlockPool::release(block, BlockBytes);
    block = nullptr;
    store = scalars;
    site = siteIndex;
}

void DepositionCell::detach()
{
    if (block)
        return;
    const Populations *scalars = store;
    const std::size_t at = std::size_t(site);
    allocateBlock();
    for (int i = 0; i < Values; ++i) {
        block[i] = scalars->cur[std::size_t(i) * scalars->stride + at];
        block[Values + i] = scalars->next[std::size_t(i) * scalars->stride + at];
    }
    store = nullptr;
    site = -1;
}

void DepositionCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    if (!planar)
        return;
    const double tau = params[1];
    const double theta = concentration();
    // The relaxation as a product by 1 / tau, as the line kernel forms it
    // (a division per direction there costs more than the rest).
    const double omega = 1.0 / tau;
    for (int i = 0; i < 9; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, cur(i) * (1.0 - omega) + theta * Lattice::tables.w[9][i] * omega, 1);
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
    next(DepositIndex) =
        std::min(1.0, cur(DepositIndex) + grid->getParameters()->getDepositionRate() * theta * s);
}

void DepositionCell::postUpdate()
{
    if (!planar)
        return;
    for (int i = 0; i < 9; ++i)
        cur(i) = next(i);
    cur(DepositIndex) = next(DepositIndex);
}

void DepositionCell::finishUpdate(Grid *grid, int x, int y, int z)
{
    const double deposited = cur(DepositIndex);
    if (!planar || deposited == 0.0)
        return;
    // The neighbours' next populations are what they committed: nothing
    // writes them between the commit and the next collision.
    for (int i = 0; i < 9; ++i) {
        const int *e = Lattice::tables.e[9][i];
        BaseCell *n = grid->getCell(x + e[0], y + e[1], z);
        if (!n || dynamic_cast<WallCell *>(PassiveScalarCell::innerOf(n)))
            continue;
        const int o = Lattice::tables.opp[9][i];
        const DepositionCell *d = dynamic_cast<DepositionCell *>(PassiveScalarCell::innerOf(n));
        const double back = d ? d->next(o) : n->getF(o, 1);
        cur(i) = cur(i) + (back - cur(i)) * deposited;
    }
}

void DepositionCell::reset(double, double p1)
{
    cur(DepositIndex) = next(DepositIndex) = 0.0;
    if (p1 >= 0.0)
        theta0 = p1;
    for (int i = 0; i < 9; ++i)
        cur(i) = Lattice::tables.w[9][i] * theta0;
}

double DepositionCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < 9; ++i)
        sum += std::abs(next(i) - cur(i));
    return cur(ChangeIndex) = sum / 9.0;
}

void DepositionCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "deposition");
    writer.writeAttribute("initialConcentration", XmlFormat::real(theta0));
    writer.writeAttribute("deposited", XmlFormat::real(cur(DepositIndex)));
    for (int i = 0; i < 9; ++i)
        writer.writeAttribute(QStringLiteral("g%1").arg(i), XmlFormat::real(cur(i)));
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
    cur(DepositIndex) = next(DepositIndex) = d;
    for (int i = 0; i < 9; ++i)
        cur(i) = values[i];
}
