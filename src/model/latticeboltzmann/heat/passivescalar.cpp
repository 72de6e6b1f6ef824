#include "passivescalar.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

PassiveScalar::PassiveScalar(const SimulationParameters &parameters) : settings(&parameters), q(parameters.getModel())
{
    for (int i = 0; i < Lattice::MaxQ; ++i)
        f[i] = fNext[i] = g[i] = gNext[i] = 0.0;
    reset(1.0, 0.0);
}

PassiveScalar::PassiveScalar(const SimulationParameters &parameters, double density, const Vector3d &velocity,
                             double scalar)
    : PassiveScalar(parameters)
{
    for (int i = 0; i < q; ++i) {
        f[i] = Lattice::equilibrium(velocity, density, q, i);
        g[i] = Lattice::isActive(q, i) ? Lattice::weight(q, i) * scalar : 0.0;
    }
    recompute();
}

void PassiveScalar::recompute()
{
    double r = 0.0, t = 0.0;
    Vector3d m;
    for (int i = 0; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        const int *e = Lattice::tables.e[q][i];
        r += f[i];
        t += g[i];
        m += Vector3d(e[0] * f[i], e[1] * f[i], e[2] * f[i]);
    }
    rho = r;
    theta = t;
    // An empty cell has no velocity rather than a division by zero.
    u = r > Lattice::ActiveWeight ? m * (1.0 / r) : Vector3d();
}

namespace {

// The buoyant acceleration F / rho that the collision shifts the
// equilibrium by (times tau); zero in an empty cell.
double buoyancy(const SimulationParameters *p, double theta, double rho)
{
    const double r = p->nanoDensityFactor();
    if (!(rho > Lattice::ActiveWeight && r > 0.0))
        return 0.0;
    return p->getPassiveScalarGravity() * p->getEffectiveThermalExpansion() * theta / (r * rho);
}

} // namespace

Vector3d PassiveScalar::getVelocity(int)
{
    const double a = buoyancy(settings, theta, rho);
    return a == 0.0 ? u : Vector3d(u.x, u.y + 0.5 * a, u.z);
}

void PassiveScalar::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const SimulationParameters *p = grid->getParameters();
    const double tauF = p->getEffectiveTau0(), tauG = p->getEffectiveTau1();
    const double beta = p->getEffectiveThermalExpansion(), r = p->nanoDensityFactor();
    const double gravity = p->getPassiveScalarGravity();
    // Gravity along -y lifts a positive scalar: the equilibrium velocity is
    // shifted by tau times the buoyant acceleration.
    Vector3d shifted = u;
    if (rho > Lattice::ActiveWeight && r > 0.0)
        shifted.y += gravity * beta * tauF * theta / (r * rho);
    const double uu = shifted.dot(shifted);
    const int order = p->getVelocityOrder();
    for (int i = 0; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        const double w = Lattice::isActive(q, i) ? Lattice::weight(q, i) : 0.0;
        const double scalarEq = w * theta * (1.0 + 3.0 * Lattice::dot(q, i, shifted));
        n->setNextF(i, (1.0 - 1.0 / tauG) * g[i] + scalarEq / tauG, 1);
        const double fluidEq = SCCell::equilibriumOf(shifted, uu, rho, q, i, order);
        n->setNextF(i, (1.0 - 1.0 / tauF) * f[i] + fluidEq / tauF, 0);
    }
}

void PassiveScalar::postUpdate()
{
    for (int i = 0; i < q; ++i) {
        f[i] = fNext[i];
        g[i] = gNext[i];
    }
    recompute();
}

void PassiveScalar::reset(double density, double scalar)
{
    if (density >= 0.0)
        p00 = density;
    if (scalar >= 0.0)
        p01 = scalar;
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::isActive(q, i) ? Lattice::weight(q, i) : 0.0;
        f[i] = w * p00;
        g[i] = w * p01;
    }
    recompute();
}

double PassiveScalar::getF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return component == 0 ? f[i] : component == 1 ? g[i] : 0.0;
}

void PassiveScalar::setNextF(int i, double value, int component)
{
    if (i < 0 || i >= q)
        return;
    if (component == 0)
        fNext[i] = value;
    else if (component == 1)
        gNext[i] = value;
}

double PassiveScalar::getNextF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return component == 1 ? gNext[i] : fNext[i];
}

double PassiveScalar::getP(int component)
{
    return component == 0 ? rho : component == 1 ? theta : rho + theta;
}

double PassiveScalar::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(fNext[i] - f[i]) + std::abs(gNext[i] - g[i]);
    return lastDeltaP = sum / q;
}

void PassiveScalar::setF(double values[])
{
    for (int i = 0; i < q; ++i) {
        f[i] = values[i];
        g[i] = values[q + i];
    }
    recompute();
}

BaseCell *PassiveScalar::clone(const SimulationParameters &parameters)
{
    PassiveScalar *c = new PassiveScalar(parameters);
    if (c->q != q)
        return c;
    for (int i = 0; i < q; ++i) {
        c->f[i] = f[i];
        c->g[i] = g[i];
    }
    c->p00 = p00;
    c->p01 = p01;
    c->lastDeltaP = lastDeltaP;
    c->recompute();
    return c;
}

void PassiveScalar::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "passivescalar");
    for (int i = 0; i < q; ++i) {
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(f[i]));
        writer.writeAttribute(QStringLiteral("g%1").arg(i), XmlFormat::real(g[i]));
    }
    writer.writeAttribute("p00", XmlFormat::real(p00));
    writer.writeAttribute("p01", XmlFormat::real(p01));
}

void PassiveScalar::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    double values[2 * Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        values[i] = a.real(QStringLiteral("f%1").arg(i));
        values[q + i] = a.real(QStringLiteral("g%1").arg(i));
    }
    const double density = a.real("p00", p00), scalar = a.real("p01", p01);
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    p00 = density;
    p01 = scalar;
    setF(values);
}
