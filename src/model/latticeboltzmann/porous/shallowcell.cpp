#include "shallowcell.h"

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
    for (int i = 0; i < 9; ++i)
        fNext[i] = 0.0;
    reset(1.0, -1.0);
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

void ShallowCell::recompute()
{
    double depth = 0.0, mx = 0.0, my = 0.0;
    for (int i = 0; i < 9; ++i) {
        const int *e = Lattice::tables.e[9][i];
        depth += f[i];
        mx += f[i] * e[0];
        my += f[i] * e[1];
    }
    h = depth;
    // A dry cell has no velocity rather than a division by zero.
    u = depth > 1e-12 ? Vector3d(mx / depth, my / depth, 0.0) : Vector3d();
}

void ShallowCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    if (!planar)
        return;
    const SimulationParameters *p = grid->getParameters();
    const double g = p->getShallowG(), kappa = p->getShallowNB(), tau = params[0];
    double feq[9];
    equilibrium(h, u, g, feq);
    Vector3d friction;
    if (h > 1e-12)
        friction = u * (-g * kappa * kappa * std::pow(h, -0.3333333333333333) * u.length());
    for (int i = 0; i < 9; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, f[i] + (feq[i] - f[i]) / tau + Lattice::dot(9, i, friction) / 6.0, -1);
}

void ShallowCell::postUpdate()
{
    if (!planar)
        return;
    for (int i = 0; i < 9; ++i)
        f[i] = fNext[i];
    recompute();
}

void ShallowCell::reset(double density, double)
{
    if (density >= 0.0)
        p0 = density;
    equilibrium(p0, Vector3d(), settings->getShallowG(), f);
    recompute();
}

double ShallowCell::computeDeltaP()
{
    if (!planar)
        return lastDeltaP = 0.0;
    double sum = 0.0;
    for (int i = 0; i < 9; ++i)
        sum += std::abs(fNext[i] - f[i]);
    return lastDeltaP = sum / 9.0;
}

void ShallowCell::setF(double values[])
{
    for (int i = 0; i < 9; ++i)
        f[i] = values[i];
    recompute();
}

void ShallowCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "shallow");
    for (int i = 0; i < 9; ++i)
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(f[i]));
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
