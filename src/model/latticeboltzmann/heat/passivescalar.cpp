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
    allocateBlock();
    reset(1.0, 0.0);
}

PassiveScalar::PassiveScalar(const SimulationParameters &parameters, double density, const Vector3d &velocity,
                             double scalar)
    : PassiveScalar(parameters)
{
    double values[2 * Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        values[i] = Lattice::equilibrium(velocity, density, q, i);
        values[q + i] = Lattice::isActive(q, i) ? Lattice::weight(q, i) * scalar : 0.0;
    }
    setF(values);
}

PassiveScalar::~PassiveScalar()
{
    if (f)
        BlockPool::release(f, blockBytes());
}

void PassiveScalar::allocateBlock()
{
    f = static_cast<double *>(BlockPool::allocate(blockBytes()));
    fNext = f + q;
    for (int i = 0; i < 4 * q + 5; ++i)
        f[i] = 0.0;
}

void PassiveScalar::moments(const double *fluid, const double *scalar, int q, double &rho, double &theta,
                            Vector3d &u)
{
    double r = 0.0, t = 0.0;
    Vector3d m;
    for (int i = 0; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        const int *e = Lattice::tables.e[q][i];
        r += fluid[i];
        t += scalar[i];
        m += Vector3d(e[0] * fluid[i], e[1] * fluid[i], e[2] * fluid[i]);
    }
    rho = r;
    theta = t;
    // An empty cell has no velocity rather than a division by zero.
    u = r > Lattice::ActiveWeight ? m * (1.0 / r) : Vector3d();
}

void PassiveScalar::recompute()
{
    if (!f)
        return;
    double *m = cached();
    Vector3d u;
    moments(f, gCur(), q, m[0], m[1], u);
    m[2] = u.x;
    m[3] = u.y;
    m[4] = u.z;
}

void PassiveScalar::currentMoments(double &rho, double &theta, Vector3d &u) const
{
    if (f) {
        const double *m = cached();
        rho = m[0];
        theta = m[1];
        u = Vector3d(m[2], m[3], m[4]);
        return;
    }
    double fluid[Lattice::MaxQ], scalar[Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        fluid[i] = value(i, 0);
        scalar[i] = value(i, 1);
    }
    moments(fluid, scalar, q, rho, theta, u);
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
    double rho, theta;
    Vector3d u;
    currentMoments(rho, theta, u);
    const double a = buoyancy(settings, theta, rho);
    return a == 0.0 ? u : Vector3d(u.x, u.y + 0.5 * a, u.z);
}

Vector3d PassiveScalar::getLatticeVelocity(int)
{
    double rho, theta;
    Vector3d u;
    currentMoments(rho, theta, u);
    return u;
}

void PassiveScalar::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const SimulationParameters *p = grid->getParameters();
    const double tauF = p->getEffectiveTau0(), tauG = p->getEffectiveTau1();
    const double beta = p->getEffectiveThermalExpansion(), r = p->nanoDensityFactor();
    const double gravity = p->getPassiveScalarGravity();
    double rho, theta;
    Vector3d u;
    currentMoments(rho, theta, u);
    // Gravity along -y lifts a positive scalar: the equilibrium velocity is
    // shifted by tau times the buoyant acceleration.
    Vector3d shifted = u;
    if (rho > Lattice::ActiveWeight && r > 0.0)
        shifted.y += gravity * beta * tauF * theta / (r * rho);
    const double uu = shifted.dot(shifted);
    const int order = p->getVelocityOrder();
    // The relaxations as products by 1 / tau: the line kernel forms two per
    // direction and site, where divisions would cost more than the rest.
    const double omegaF = 1.0 / tauF, omegaG = 1.0 / tauG;
    for (int i = 0; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n)
            continue;
        const double w = Lattice::isActive(q, i) ? Lattice::weight(q, i) : 0.0;
        const double scalarEq = w * theta * (1.0 + 3.0 * Lattice::dot(q, i, shifted));
        n->setNextF(i, (1.0 - omegaG) * value(i, 1) + scalarEq * omegaG, 1);
        const double fluidEq = SCCell::equilibriumOf(shifted, uu, rho, q, i, order);
        n->setNextF(i, (1.0 - omegaF) * value(i, 0) + fluidEq * omegaF, 0);
    }
}

// While attached, the grid commits by flipping its arrays after the phase.
void PassiveScalar::postUpdate()
{
    if (!f)
        return;
    for (int i = 0; i < q; ++i) {
        f[i] = fNext[i];
        gCur()[i] = gNext()[i];
    }
    recompute();
}

void PassiveScalar::reset(double density, double scalar)
{
    if (density >= 0.0)
        p00 = density;
    if (scalar >= 0.0)
        p01 = scalar;
    double values[2 * Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::isActive(q, i) ? Lattice::weight(q, i) : 0.0;
        values[i] = w * p00;
        values[q + i] = w * p01;
    }
    setF(values);
}

double PassiveScalar::getF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return component == 0 || component == 1 ? value(i, component) : 0.0;
}

double PassiveScalar::getNextF(int i, int component)
{
    if (i < 0 || i >= q)
        return 0.0;
    return nextValue(i, component == 1 ? 1 : 0);
}

double PassiveScalar::getP(int component)
{
    double rho, theta;
    Vector3d u;
    currentMoments(rho, theta, u);
    return component == 0 ? rho : component == 1 ? theta : rho + theta;
}

double PassiveScalar::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(nextValue(i, 0) - value(i, 0)) + std::abs(nextValue(i, 1) - value(i, 1));
    if (!f)
        deltaGeneration = store->generation;
    return lastDeltaP = sum / q;
}

// While attached, the grid's flips commit without the cell: after a flip the
// last deltaP is the change between the two arrays, taken when asked.
double PassiveScalar::getDeltaP()
{
    if (f || deltaGeneration == store->generation)
        return lastDeltaP;
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(value(i, 0) - nextValue(i, 0)) + std::abs(value(i, 1) - nextValue(i, 1));
    return sum / q;
}

void PassiveScalar::freezeDeltaP()
{
    if (f)
        return;
    lastDeltaP = getDeltaP();
    deltaGeneration = store->generation;
}

void PassiveScalar::nextStatistics(double &delta, double &total) const
{
    double sum = 0.0, fluid[Lattice::MaxQ], scalar[Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        fluid[i] = nextValue(i, 0);
        scalar[i] = nextValue(i, 1);
        sum += std::abs(fluid[i] - value(i, 0)) + std::abs(scalar[i] - value(i, 1));
    }
    delta = sum / q;
    double rho, theta;
    Vector3d u;
    moments(fluid, scalar, q, rho, theta, u);
    total = rho + theta;
}

void PassiveScalar::setF(double values[])
{
    if (!f) {
        freezeDeltaP();
        for (int i = 0; i < q; ++i) {
            const std::size_t at = std::size_t(i) * store->stride + site;
            store->cur[at] = store->next[at] = values[i];
            scalars->cur[at] = scalars->next[at] = values[q + i];
        }
        store->touch();
        return;
    }
    for (int i = 0; i < q; ++i) {
        f[i] = fNext[i] = values[i];
        gCur()[i] = gNext()[i] = values[q + i];
    }
    recompute();
}

void PassiveScalar::attach(Populations *fluid, Populations *scalar, int siteIndex)
{
    if (!f)
        return;
    for (int i = 0; i < q; ++i) {
        const std::size_t at = std::size_t(i) * fluid->stride + siteIndex;
        fluid->cur[at] = f[i];
        fluid->next[at] = fNext[i];
        scalar->cur[at] = gCur()[i];
        scalar->next[at] = gNext()[i];
    }
    fluid->touch();
    BlockPool::release(f, blockBytes());
    f = nullptr;
    store = fluid;
    scalars = scalar;
    site = siteIndex;
    deltaGeneration = store->generation;
}

void PassiveScalar::detach()
{
    if (f)
        return;
    freezeDeltaP();
    Populations *fluid = store, *scalar = scalars;
    const int at = site;
    allocateBlock();
    for (int i = 0; i < q; ++i) {
        const std::size_t k = std::size_t(i) * fluid->stride + at;
        f[i] = fluid->cur[k];
        fNext[i] = fluid->next[k];
        gCur()[i] = scalar->cur[k];
        gNext()[i] = scalar->next[k];
    }
    scalars = nullptr;
    site = -1;
    recompute();
}

BaseCell *PassiveScalar::clone(const SimulationParameters &parameters)
{
    PassiveScalar *c = new PassiveScalar(parameters);
    if (c->q != q)
        return c;
    double values[2 * Lattice::MaxQ];
    for (int i = 0; i < q; ++i) {
        values[i] = value(i, 0);
        values[q + i] = value(i, 1);
    }
    c->setF(values);
    c->p00 = p00;
    c->p01 = p01;
    c->lastDeltaP = getDeltaP();
    return c;
}

void PassiveScalar::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "passivescalar");
    for (int i = 0; i < q; ++i) {
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(value(i, 0)));
        writer.writeAttribute(QStringLiteral("g%1").arg(i), XmlFormat::real(value(i, 1)));
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
