#include "shallowcell.h"
#include "inversecuberoot.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <atomic>
#include <cmath>

namespace {

std::atomic<bool> warnedPlanar{false};

} // namespace

ShallowCell::ShallowCell(const SimulationParameters &parameters)
    : settings(&parameters), planar(parameters.getModel() == 9)
{
    if (!planar && !warnedPlanar.exchange(true))
        qWarning() << "Shallow-water cells need the D2Q9 model; on a 3D model they stay still.";
    f = static_cast<double *>(BlockPool::allocate(BlockBytes));
    fNext = f + 9;
    reset(1.0, -1.0);
}

ShallowCell::~ShallowCell()
{
    if (f)
        BlockPool::release(f, BlockBytes);
}

void ShallowCell::equilibrium(double depth, const Vector3d &v, double g, double out[9])
{
    const double uu = v.dot(v);
    double sum = 0.0;
    for (int i = 1; i < 9; ++i) {
        const double eu = Lattice::dot(9, i, v);
        const double share = (i % 2 == 1 ? depth / 3.0 : depth / 12.0);
        out[i] = share * (g * depth / 2.0 + eu + 1.5 * eu * eu - 0.5 * uu);
        sum += out[i];
    }
    out[0] = depth - sum;
}

void ShallowCell::moments(const double values[9], double &h, Vector3d &u)
{
    double depth = 0.0, mx = 0.0, my = 0.0;
    for (int i = 0; i < 9; ++i) {
        const int *e = Lattice::tables.e[9][i];
        depth += values[i];
        mx += values[i] * e[0];
        my += values[i] * e[1];
    }
    h = depth;
    // A dry cell has no velocity rather than a division by zero.
    u = depth > 1e-12 ? Vector3d(mx / depth, my / depth, 0.0) : Vector3d();
}

void ShallowCell::collide(const double values[9], double h, const Vector3d &u, double g, double kappa, double tau,
                          double out[9])
{
    double feq[9];
    equilibrium(h, u, g, feq);
    // The friction's share of each direction, F / 6 (e_i . F / 6 along the
    // axes and the diagonals alike), and the relaxation as a product: the
    // kernel forms nine of these per site, where divisions would cost more
    // than the rest of the collision.
    Vector3d push;
    if (h > 1e-12)
        push = u * (-g * kappa * kappa * inverseCubeRoot(h) * u.length()) * (1.0 / 6.0);
    const double omega = 1.0 / tau;
    for (int i = 0; i < 9; ++i)
        out[i] = values[i] + (feq[i] - values[i]) * omega + Lattice::dot(9, i, push);
}

void ShallowCell::recompute()
{
    if (!f)
        return;
    double *m = f + 18;
    double h;
    Vector3d u;
    moments(f, h, u);
    m[0] = h;
    m[1] = u.x;
    m[2] = u.y;
}

void ShallowCell::currentMoments(double &h, Vector3d &u) const
{
    if (f) {
        const double *m = f + 18;
        h = m[0];
        u = Vector3d(m[1], m[2], 0.0);
        return;
    }
    double values[9];
    for (int i = 0; i < 9; ++i)
        values[i] = current(i);
    moments(values, h, u);
}

double ShallowCell::getP(int)
{
    double h;
    Vector3d u;
    currentMoments(h, u);
    return h;
}

Vector3d ShallowCell::getVelocity(int)
{
    double h;
    Vector3d u;
    currentMoments(h, u);
    return u;
}

void ShallowCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    if (!planar)
        return;
    const SimulationParameters *p = grid->getParameters();
    double values[9], out[9];
    for (int i = 0; i < 9; ++i)
        values[i] = current(i);
    double h;
    Vector3d u;
    currentMoments(h, u);
    collide(values, h, u, p->getShallowG(), p->getShallowNB(), params[0], out);
    for (int i = 0; i < 9; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, out[i], -1);
}

// While attached, the grid commits by flipping its arrays after the phase.
void ShallowCell::postUpdate()
{
    if (!planar || !f)
        return;
    for (int i = 0; i < 9; ++i)
        f[i] = fNext[i];
    recompute();
}

void ShallowCell::reset(double density, double)
{
    if (density >= 0.0)
        p0 = density;
    double values[9];
    equilibrium(p0, Vector3d(), settings->getShallowG(), values);
    setF(values);
}

void ShallowCell::freezeDeltaP()
{
    if (f)
        return;
    lastDeltaP = getDeltaP();
    deltaGeneration = store->generation;
}

double ShallowCell::computeDeltaP()
{
    if (!planar)
        return lastDeltaP = 0.0;
    double sum = 0.0;
    for (int i = 0; i < 9; ++i)
        sum += std::abs(getNextF(i, 0) - current(i));
    if (!f)
        deltaGeneration = store->generation;
    return lastDeltaP = sum / 9.0;
}

// While attached, the grid's flips commit without the cell: after a flip the
// last deltaP is the change between the two arrays, taken when asked.
double ShallowCell::getDeltaP()
{
    if (f || !planar || deltaGeneration == store->generation)
        return lastDeltaP;
    double sum = 0.0;
    for (int i = 0; i < 9; ++i)
        sum += std::abs(current(i) - getNextF(i, 0));
    return sum / 9.0;
}

double ShallowCell::nextDepth() const
{
    double values[9];
    for (int i = 0; i < 9; ++i)
        values[i] = f ? fNext[i] : store->next[std::size_t(i) * store->stride + site];
    double h;
    Vector3d u;
    moments(values, h, u);
    return h;
}

void ShallowCell::setF(double values[])
{
    if (!f) {
        freezeDeltaP();
        for (int i = 0; i < 9; ++i) {
            store->cur[std::size_t(i) * store->stride + site] = values[i];
            store->next[std::size_t(i) * store->stride + site] = values[i];
        }
        store->touch();
        return;
    }
    for (int i = 0; i < 9; ++i)
        f[i] = fNext[i] = values[i];
    recompute();
}

void ShallowCell::attach(Populations *populations, int siteIndex)
{
    if (!f)
        return;
    for (int i = 0; i < 9; ++i) {
        populations->cur[std::size_t(i) * populations->stride + siteIndex] = f[i];
        populations->next[std::size_t(i) * populations->stride + siteIndex] = fNext[i];
    }
    populations->touch();
    BlockPool::release(f, BlockBytes);
    f = nullptr;
    store = populations;
    site = siteIndex;
    deltaGeneration = store->generation;
}

void ShallowCell::detach()
{
    if (f)
        return;
    freezeDeltaP();
    Populations *from = store;
    double *values = static_cast<double *>(BlockPool::allocate(BlockBytes));
    for (int i = 0; i < 9; ++i) {
        values[i] = from->cur[std::size_t(i) * from->stride + site];
        values[9 + i] = from->next[std::size_t(i) * from->stride + site];
    }
    f = values;
    fNext = values + 9;
    site = -1;
    recompute();
}

void ShallowCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "shallow");
    for (int i = 0; i < 9; ++i)
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(current(i)));
    writer.writeAttribute("p0", XmlFormat::real(p0));
}

void ShallowCell::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    double values[9];
    for (int i = 0; i < 9; ++i)
        values[i] = a.real(QStringLiteral("f%1").arg(i));
    const double depth = a.real("p0", p0, 0.0);
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    p0 = depth;
    setF(values);
}
