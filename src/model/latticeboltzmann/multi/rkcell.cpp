#include "rkcell.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/multi/exactcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

RKCell::RKCell(const SimulationParameters &parameters) : q(parameters.getModel())
{
    for (int i = 0; i < Lattice::MaxQ; ++i)
        r[i] = rNext[i] = b[i] = bNext[i] = 0.0;
    const double d1 = parameters.randomInitialDensity();
    const double d2 = parameters.randomInitialDensity();
    reset(d2, d1);
}

void RKCell::recompute()
{
    double red = 0.0, blue = 0.0;
    Vector3d m;
    for (int i = 0; i < q; ++i) {
        if (Lattice::tables.w[q][i] <= Lattice::ActiveWeight)
            continue;
        const int *e = Lattice::tables.e[q][i];
        const double n = r[i] + b[i];
        red += r[i];
        blue += b[i];
        m += Vector3d(e[0] * n, e[1] * n, e[2] * n);
    }
    rhoR = red;
    rhoB = blue;
    const double rho = red + blue;
    u = rho > Lattice::ActiveWeight ? m * (1.0 / rho) : Vector3d();
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

void RKCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const SimulationParameters *p = grid->getParameters();
    const double tau = params[0], a = p->getRkAmplitude(), beta = p->getRkBeta();
    const double rho = rhoR + rhoB;
    const int order = p->getVelocityOrder();
    const double dimensions = q == 9 ? 2.0 : 3.0;

    // Colour gradient over the neighbour block, so periodic edges wrap.
    Vector3d g;
    for (int i = 1; i < q; ++i)
        if (const RKCell *n = colourNeighbour(neighbours[i])) {
            const int *e = Lattice::tables.e[q][i];
            const double d = n->rhoR - n->rhoB;
            g += Vector3d(e[0] * d, e[1] * d, e[2] * d);
        }
    const double gg = g.length();
    const bool sorted = gg > 1e-10 && rho > Lattice::ActiveWeight;

    const double keep = 1.0 - 1.0 / tau, omega = 1.0 / tau, uu = u.dot(u);
    const double redShare = rho > Lattice::ActiveWeight ? rhoR / rho : 0.0;
    const double blueShare = rho > Lattice::ActiveWeight ? rhoB / rho : 0.0;
    const double mixing = rho > Lattice::ActiveWeight ? beta * rhoR * rhoB / rho : 0.0;
    for (int i = 0; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        const double feq = SCCell::equilibriumOf(u, uu, rho, q, i, order);
        double post = (r[i] + b[i]) * keep + omega * feq;
        double red = redShare * post, blue = blueShare * post;
        if (sorted) {
            const double w = Lattice::tables.w[q][i];
            const int *e = Lattice::tables.e[q][i];
            const double ee = double(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
            const double eg = Lattice::dot(q, i, g);
            post += a * gg * w * (eg * eg / (gg * gg) - ee / dimensions);
            const double cosPhi = ee > 0.0 ? eg / (gg * std::sqrt(ee)) : 0.0;
            const double h = mixing * w * cosPhi;
            red = redShare * post + h;
            blue = blueShare * post - h;
        }
        // A colour neighbour takes both populations straight; any other
        // cell decides itself.
        if (RKCell *colour = exactCell<RKCell>(n)) {
            colour->rNext[i] = red;
            colour->bNext[i] = blue;
        } else {
            n->setNextF(i, red, 0);
            n->setNextF(i, blue, 1);
        }
    }
}

BaseCell *RKCell::clone(const SimulationParameters &parameters)
{
    RKCell *c = new RKCell(parameters);
    c->reset(rhoR, rhoB);
    return c;
}

void RKCell::postUpdate()
{
    for (int i = 0; i < q; ++i) {
        r[i] = rNext[i];
        b[i] = bNext[i];
    }
    recompute();
}

void RKCell::reset(double red, double blue)
{
    if (red >= 0.0)
        p0 = red;
    if (blue >= 0.0)
        p1 = blue;
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::tables.w[q][i] > Lattice::ActiveWeight ? Lattice::tables.w[q][i] : 0.0;
        r[i] = w * p0;
        b[i] = w * p1;
    }
    recompute();
}

double RKCell::getF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return component == 0 ? r[i] : component == 1 ? b[i] : 0.0;
}

void RKCell::setNextF(int i, double value, int component)
{
    if (i < 0 || i >= q)
        return;
    if (component == 0)
        rNext[i] = value;
    else if (component == 1)
        bNext[i] = value;
}

double RKCell::getNextF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return component == 0 ? rNext[i] : component == 1 ? bNext[i] : 0.0;
}

double RKCell::getP(int component)
{
    return component == 0 ? rhoR : component == 1 ? rhoB : rhoR + rhoB;
}

double RKCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(rNext[i] + bNext[i] - r[i] - b[i]);
    return lastDeltaP = sum / q;
}

void RKCell::setF(double values[])
{
    for (int i = 0; i < q; ++i) {
        r[i] = values[i];
        b[i] = values[q + i];
    }
    recompute();
}

void RKCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "multi_rk");
    for (int i = 0; i < q; ++i) {
        writer.writeAttribute(QStringLiteral("red%1").arg(i), XmlFormat::real(r[i]));
        writer.writeAttribute(QStringLiteral("blue%1").arg(i), XmlFormat::real(b[i]));
    }
}

void RKCell::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    double values[2 * Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        values[i] = a.real(QStringLiteral("red%1").arg(i));
        values[q + i] = a.real(QStringLiteral("blue%1").arg(i));
    }
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    setF(values);
}
