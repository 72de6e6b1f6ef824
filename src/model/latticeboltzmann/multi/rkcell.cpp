#include "rkcell.h"

#include "model/latticeboltzmann/blockpool.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/linekernels_colour.h"
#include "model/latticeboltzmann/multi/exactcell.h"
#include "model/latticeboltzmann/multi/mixturelayout.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

namespace {

std::size_t blockBytes(int q)
{
    return 4 * std::size_t(q) * sizeof(double);
}

} // namespace

RKCell::RKCell(const SimulationParameters &parameters) : q(parameters.getModel())
{
    // One pooled block, so cells built in site order have their values in
    // site order.
    values = static_cast<double *>(BlockPool::allocate(blockBytes(q)));
    for (int i = 0; i < 4 * q; ++i)
        values[i] = 0.0;
    const double d1 = parameters.randomInitialDensity();
    const double d2 = parameters.randomInitialDensity();
    reset(d2, d1);
}

RKCell::~RKCell()
{
    if (values)
        BlockPool::release(values, blockBytes(q));
}

double RKCell::current(int i, int colour) const
{
    if (values)
        return values[(colour == 0 ? 0 : 2 * q) + i];
    const Populations &store = layout->store(colour);
    return store.cur[std::size_t(i) * store.stride + std::size_t(site)];
}

double RKCell::next(int i, int colour) const
{
    if (values)
        return values[(colour == 0 ? q : 3 * q) + i];
    const Populations &store = layout->store(colour);
    return store.next[std::size_t(i) * store.stride + std::size_t(site)];
}

double &RKCell::nextEntry(int i, int colour)
{
    if (values)
        return values[(colour == 0 ? q : 3 * q) + i];
    Populations &store = layout->store(colour);
    return store.next[std::size_t(i) * store.stride + std::size_t(site)];
}

void RKCell::attach(MixtureLayout *stores, int siteIndex)
{
    if (!values)
        return;
    for (int colour = 0; colour < 2; ++colour) {
        Populations &store = stores->store(colour);
        for (int i = 0; i < q; ++i) {
            store.cur[std::size_t(i) * store.stride + std::size_t(siteIndex)] = current(i, colour);
            store.next[std::size_t(i) * store.stride + std::size_t(siteIndex)] = next(i, colour);
        }
    }
    BlockPool::release(values, blockBytes(q));
    values = nullptr;
    layout = stores;
    site = siteIndex;
    recompute();
}

void RKCell::detach()
{
    if (values)
        return;
    double *own = static_cast<double *>(BlockPool::allocate(blockBytes(q)));
    for (int i = 0; i < q; ++i) {
        own[i] = current(i, 0);
        own[q + i] = next(i, 0);
        own[2 * q + i] = current(i, 1);
        own[3 * q + i] = next(i, 1);
    }
    values = own;
    layout = nullptr;
    site = -1;
    recompute();
}

void RKCell::recompute()
{
    double red, blue, mx, my, mz;
    if (values) {
        LineKernels::colourMoments(q, 1, 1, values, values + 2 * q, &red, &blue, &mx, &my, &mz);
    } else {
        const Populations &r = layout->store(0), &b = layout->store(1);
        LineKernels::colourMoments(q, 1, r.stride, r.cur + site, b.cur + site, &red, &blue, &mx, &my, &mz);
    }
    keepMoments(red, blue, Vector3d(mx, my, mz));
}

void RKCell::keepMoments(double red, double blue, const Vector3d &momentum)
{
    rhoR = red;
    rhoB = blue;
    const double rho = red + blue;
    u = rho > Lattice::ActiveWeight ? momentum * (1.0 / rho) : Vector3d();
    if (!values)
        layout->phaseField()[site] = phase();
}

double RKCell::nextDensity() const
{
    double red = 0.0, blue = 0.0;
    for (int i = 0; i < q; ++i)
        if (Lattice::tables.w[q][i] > Lattice::ActiveWeight) {
            red += next(i, 0);
            blue += next(i, 1);
        }
    return red + blue;
}

namespace {

// The neighbour's colour cell: itself, or the cell a scalar wraps.
const RKCell *colourNeighbour(BaseCell *cell)
{
    if (const RKCell *n = exactCell<RKCell>(cell))
        return n;
    return dynamic_cast<RKCell *>(PassiveScalarCell::innerOf(cell));
}

} // namespace

void RKCell::collideSites(int q, int n, std::size_t stride, const double *red, const double *blue,
                          const double *gx, const double *gy, const double *gz, double *outRed, double *outBlue,
                          const Collision &c)
{
    LineKernels::collideColourTile(q, n, stride, red, blue, gx, gy, gz, outRed, outBlue, c);
}

void RKCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const SimulationParameters *p = grid->getParameters();

    // Colour gradient over the neighbour block, so periodic edges wrap.
    Vector3d g;
    for (int i = 1; i < q; ++i)
        if (const RKCell *n = colourNeighbour(neighbours[i])) {
            const int *e = Lattice::tables.e[q][i];
            const double d = n->phase();
            g += Vector3d(e[0] * d, e[1] * d, e[2] * d);
        }

    double red[Lattice::MaxQ], blue[Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        red[i] = current(i, 0);
        blue[i] = current(i, 1);
    }
    double outRed[Lattice::MaxQ * TileSites], outBlue[Lattice::MaxQ * TileSites];
    const Collision c{params[0], p->getRkAmplitude(), p->getRkBeta(), p->getVelocityOrder()};
    collideSites(q, 1, 1, red, blue, &g.x, &g.y, &g.z, outRed, outBlue, c);
    for (int i = 0; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        const double r = outRed[i * TileSites], b = outBlue[i * TileSites];
        // A colour neighbour takes both populations straight; any other
        // cell decides itself.
        if (RKCell *colour = exactCell<RKCell>(n)) {
            colour->nextEntry(i, 0) = r;
            colour->nextEntry(i, 1) = b;
        } else {
            n->setNextF(i, r, 0);
            n->setNextF(i, b, 1);
        }
    }
}

BaseCell *RKCell::clone(const SimulationParameters &parameters)
{
    RKCell *c = new RKCell(parameters);
    c->reset(rhoR, rhoB);
    return c;
}

// While attached, the grid commits by flipping its stores after the phase
// and the cell takes its moments in finishUpdate.
void RKCell::postUpdate()
{
    if (!values)
        return;
    for (int i = 0; i < q; ++i) {
        values[i] = values[q + i];
        values[2 * q + i] = values[3 * q + i];
    }
    recompute();
}

void RKCell::finishUpdate(Grid *, int, int, int)
{
    if (!values)
        recompute();
}

void RKCell::reset(double red, double blue)
{
    if (red >= 0.0)
        p0 = red;
    if (blue >= 0.0)
        p1 = blue;
    double r[Lattice::MaxQ], b[Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::tables.w[q][i] > Lattice::ActiveWeight ? Lattice::tables.w[q][i] : 0.0;
        r[i] = w * p0;
        b[i] = w * p1;
    }
    setCurrent(r, b);
}

void RKCell::setCurrent(const double *red, const double *blue)
{
    for (int i = 0; i < q; ++i) {
        if (values) {
            values[i] = red[i];
            values[2 * q + i] = blue[i];
        } else {
            for (int colour = 0; colour < 2; ++colour) {
                Populations &store = layout->store(colour);
                store.cur[std::size_t(i) * store.stride + std::size_t(site)] = colour == 0 ? red[i] : blue[i];
            }
        }
    }
    recompute();
}

double RKCell::getF(int i, int component)
{
    if (i < 0 || i >= q || component < 0 || component > 1)
        return 0.0;
    return current(i, component);
}

void RKCell::setNextF(int i, double value, int component)
{
    if (i < 0 || i >= q || component < 0 || component > 1)
        return;
    nextEntry(i, component) = value;
}

double RKCell::getNextF(int i, int component)
{
    if (i < 0 || i >= q || component < 0 || component > 1)
        return 0.0;
    return next(i, component);
}

double RKCell::getP(int component)
{
    return component == 0 ? rhoR : component == 1 ? rhoB : rhoR + rhoB;
}

double RKCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(next(i, 0) + next(i, 1) - current(i, 0) - current(i, 1));
    return lastDeltaP = sum / q;
}

void RKCell::setF(double v[])
{
    setCurrent(v, v + q);
}

void RKCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "multi_rk");
    for (int i = 0; i < q; ++i) {
        writer.writeAttribute(QStringLiteral("red%1").arg(i), XmlFormat::real(current(i, 0)));
        writer.writeAttribute(QStringLiteral("blue%1").arg(i), XmlFormat::real(current(i, 1)));
    }
}

void RKCell::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    double red[Lattice::MaxQ], blue[Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        red[i] = a.real(QStringLiteral("red%1").arg(i));
        blue[i] = a.real(QStringLiteral("blue%1").arg(i));
    }
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    setCurrent(red, blue);
}
