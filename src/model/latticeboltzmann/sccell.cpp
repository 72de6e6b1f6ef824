#include "sccell.h"

#include "forces/force.h"
#include "grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

SCCell::SCCell(double initialDensity, int model) : p0(initialDensity)
{
    q = model;
    // One pooled block holds both arrays, so a cell's data is contiguous and
    // cells built in site order have their arrays in site order.
    f = static_cast<double *>(BlockPool::allocate(blockBytes(q)));
    fNext = f + q;
    Lattice::equilibriumArray(Vector3d(), p0, q, f);
    for (int i = 0; i < q; ++i)
        fNext[i] = f[i];
    recomputeMoments();
}

SCCell::SCCell(double initialDensity, Populations *populations, int siteIndex) : p0(initialDensity)
{
    q = populations->q;
    store = populations;
    site = siteIndex;
    double values[Lattice::MaxQ];
    Lattice::equilibriumArray(Vector3d(), p0, q, values);
    for (int i = 0; i < q; ++i) {
        store->setCur(i, std::size_t(site), values[i]);
        store->setNext(i, std::size_t(site), values[i]);
    }
    if (store->fieldShifts)
        writeFieldShift(store, site, Vector3d());
    store->touch();
    deltaGeneration = store->generation;
}

SCCell::SCCell(View, Populations *populations, int siteIndex, double initialDensity, double lastDelta,
               std::uint64_t deltaAt)
    : deltaGeneration(deltaAt), p0(initialDensity), lastDeltaP(lastDelta)
{
    q = populations->q;
    store = populations;
    site = siteIndex;
}

SCCell::~SCCell()
{
    if (f)
        BlockPool::release(block(), blockBytes(q));
}

void SCCell::attach(Populations *populations, int siteIndex)
{
    if (!f)
        return;
    for (int i = 0; i < q; ++i) {
        populations->setCur(i, std::size_t(siteIndex), f[i]);
        populations->setNext(i, std::size_t(siteIndex), fNext[i]);
    }
    if (populations->fieldShifts)
        writeFieldShift(populations, siteIndex, shift);
    populations->touch();
    BlockPool::release(block(), blockBytes(q));
    f = nullptr;
    store = populations;
    site = siteIndex;
    deltaGeneration = store->generation;
}

void SCCell::detach()
{
    if (f)
        return;
    freezeDeltaP();
    Populations *from = store;
    if (from->fieldShifts) {
        shift = fieldShift(from, site);
        forceTau = from->shiftTau;
    }
    double *values = static_cast<double *>(BlockPool::allocate(blockBytes(q)));
    for (int i = 0; i < q; ++i) {
        values[i] = from->curAt(i, std::size_t(site));
        values[q + i] = from->nextAt(i, std::size_t(site));
    }
    f = values;
    fNext = values + q;
    site = -1;
    recomputeMoments();
}

const double *SCCell::currentValues(double *buffer) const
{
    if (f)
        return f;
    for (int i = 0; i < q; ++i)
        buffer[i] = store->curAt(i, std::size_t(site));
    return buffer;
}

void SCCell::currentMoments(double &density, Vector3d &velocity) const
{
    if (f) {
        const double *m = moments();
        density = m[0];
        velocity = Vector3d(m[1], m[2], m[3]);
        return;
    }
    double values[Lattice::MaxQ];
    Lattice::moments(currentValues(values), q, density, velocity);
}

double SCCell::nextDensity() const
{
    double values[Lattice::MaxQ];
    for (int i = 0; i < q; ++i)
        values[i] = f ? fNext[i] : store->nextAt(i, std::size_t(site));
    double density;
    Vector3d velocity;
    Lattice::moments(values, q, density, velocity);
    return density;
}

void SCCell::freezeDeltaP()
{
    if (f)
        return;
    lastDeltaP = getDeltaP();
    deltaGeneration = store->generation;
}

double SCCell::getP(int)
{
    double density;
    Vector3d velocity;
    currentMoments(density, velocity);
    return density;
}

Vector3d SCCell::getLatticeVelocity(int)
{
    double density;
    Vector3d velocity;
    currentMoments(density, velocity);
    return velocity;
}

Vector3d SCCell::getVelocity(int component)
{
    const Vector3d velocity = getLatticeVelocity(component);
    double tau;
    const Vector3d s = lastShift(tau);
    return tau > 0.0 ? velocity + s * (0.5 / tau) : velocity;
}

void SCCell::collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out)
{
    const double tau = params[0];
    const SimulationParameters *sp = grid->getParameters();
    double buffer[Lattice::MaxQ];
    const double *current = currentValues(buffer);
    double density;
    Vector3d velocity;
    currentMoments(density, velocity);

    shift = Vector3d();
    forceTau = 0.0;
    const QList<Force *> &forces = sp->getForces();
    // A nearly empty cell takes no shift rather than an infinite one, as the
    // multicomponent cell does.
    if (density > 0.001 && !forces.isEmpty()) {
        for (Force *force : forces) {
            const Vector3d F = force->force(this, neighbours, 0, position.x, position.y, position.z, grid);
            shift += F * (tau / density);
        }
        forceTau = tau;
    }
    // The plain kernels leave the shift alone; they clear it when told.
    if (!f && !forces.isEmpty())
        store->markShifts();
    if (!f && store->fieldShifts)
        writeFieldShift(store, site, shift);

    const int order = sp->getVelocityOrder();
    const Vector3d U = velocity + shift;
    const double uu = U.dot(U);
    double feq[Lattice::MaxQ];
    for (int i = 0; i < q; ++i)
        feq[i] = equilibriumOf(U, uu, density, q, i, order);

    const double alpha = sp->getEntropic() ? 0.5 * entropicAlpha(feq, current) : 1.0;

    double tauEff = tau;
    const double k = sp->getSmagorinsky();
    if (k > 0.0) {
        double pxx = 0.0, pxy = 0.0, pyx = 0.0, pyy = 0.0;
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            const double d = current[i] - feq[i];
            pxx += e[0] * e[0] * d;
            pxy += e[0] * e[1] * d;
            pyx += e[1] * e[0] * d;
            pyy += e[1] * e[1] * d;
        }
        const double s = std::sqrt(8.0 * (pxx * pxx + pxy * pxy + pyx * pyx + pyy * pyy));
        tauEff = (tau + std::sqrt(s * k * k * q / density + tau * tau)) * 0.5;
    }

    const double omega = alpha / tauEff;
    const double keep = 1.0 - omega;
    for (int i = 0; i < q; ++i)
        out[i] = current[i] * keep + omega * feq[i];
}

void SCCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    double out[Lattice::MaxQ];
    collide(params, neighbours, grid, position, out);
    for (int i = 0; i < q; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, out[i], 0);
}

// Entropic limiter: x solves S(m(x)) = S(f) for the mixture m(x) = f + x
// (feq - f), where S(f) = sum f_i ln(f_i / feq_i) is the entropy of f measured
// from the cell's own equilibrium (H(f) = sum f_i ln(f_i / w_i) less its
// value along the equilibrium's own logarithm); x = 2 is plain BGK. With
// the polynomial equilibrium, H itself is not smallest at feq: its root then
// strays from x = 2 by a term of order u^3 / |f - feq| that grows as the
// flow nears equilibrium, which made smooth flows measurably too viscous.
// Measured from feq the root tends to x = 2 near equilibrium and the limiter
// acts only where f is far from it. The root is bracketed in [1, 2]: S falls
// to zero at x = 1 and rises again; where it has not risen back by x = 2, or
// where an entry is not positive (S undefined), BGK is used. S is formed
// with log1p of the relative deviation, which keeps its precision near
// equilibrium, and the search is regula falsi (Illinois) run until the
// bracket or S has collapsed, so alpha is accurate however small S is.
double SCCell::entropicAlpha(const double *feq, const double *current) const
{
    double r[Lattice::MaxQ], weight[Lattice::MaxQ];
    int count = 0;
    for (int i = 0; i < q; ++i) {
        if (!(current[i] > 0.0) || !(feq[i] > 0.0))
            return 2.0;
        weight[count] = feq[i];
        r[count++] = (current[i] - feq[i]) / feq[i];
    }
    auto g = [&](double x, bool &valid) {
        double h = 0.0;
        for (int i = 0; i < count; ++i) {
            const double a = (1.0 - x) * r[i];
            if (!(1.0 + a > 0.0)) {
                valid = false;
                return 0.0;
            }
            h += weight[i] * ((1.0 + a) * std::log1p(a) - (1.0 + r[i]) * std::log1p(r[i]));
        }
        valid = true;
        return h;
    };
    bool valid = false;
    double lo = 1.0, hi = 2.0;
    double gLo = g(lo, valid);
    if (!valid || !(gLo < 0.0))
        return 2.0;
    double gHi = g(hi, valid);
    if (valid && gHi <= 0.0)
        return 2.0;
    bool hiValid = valid;
    int evaluations = 2;
    int side = 0;
    double x = hi;
    const double tolerance = 1e-13 * std::abs(gLo);
    while (evaluations < 100 && hi - lo > 1e-13) {
        // False position while both ends are usable, halving otherwise.
        x = hiValid ? (lo * gHi - hi * gLo) / (gHi - gLo) : 0.5 * (lo + hi);
        if (!(x > lo && x < hi))
            x = 0.5 * (lo + hi);
        const double gx = g(x, valid);
        ++evaluations;
        if (valid && std::abs(gx) <= tolerance)
            return x;
        if (!valid || gx > 0.0) {
            hi = x;
            gHi = gx;
            hiValid = valid;
            if (side == 1)
                gLo *= 0.5;
            side = 1;
        } else {
            lo = x;
            gLo = gx;
            if (side == -1 && hiValid)
                gHi *= 0.5;
            side = -1;
        }
    }
    return x;
}

double SCCell::equilibrium(int i, double, BaseCell *[], Grid *grid)
{
    double density;
    Vector3d velocity;
    currentMoments(density, velocity);
    double tau;
    const Vector3d U = velocity + lastShift(tau);
    return equilibriumOf(U, U.dot(U), density, q, i, grid->getParameters()->getVelocityOrder());
}

// While attached, the grid commits by flipping its arrays after the phase.
void SCCell::postUpdate()
{
    if (fixedDensity != 0.0) {
        reset(fixedDensity, 0.0);
        return;
    }
    if (!f)
        return;
    double *t = f;
    f = fNext;
    fNext = t;
    recomputeMoments();
}

void SCCell::reset(double density, double)
{
    if (density >= 0.0)
        p0 = density;
    if (!f) {
        freezeDeltaP();
        double values[Lattice::MaxQ];
        Lattice::equilibriumArray(Vector3d(), p0, q, values);
        for (int i = 0; i < q; ++i)
            store->setCur(i, std::size_t(site), values[i]);
        store->touch();
        return;
    }
    Lattice::equilibriumArray(Vector3d(), p0, q, f);
    recomputeMoments();
}

double SCCell::computeDeltaP()
{
    double sum = 0.0;
    if (f) {
        for (int i = 0; i < q; ++i)
            sum += std::abs(fNext[i] - f[i]);
    } else {
        for (int i = 0; i < q; ++i)
            sum += std::abs(store->nextAt(i, std::size_t(site)) -
                            store->curAt(i, std::size_t(site)));
        deltaGeneration = store->generation;
    }
    lastDeltaP = sum / q;
    return lastDeltaP;
}

// While attached, the grid's flips commit without the cell: after a flip the
// last deltaP is the change between the two arrays, taken when asked.
double SCCell::getDeltaP()
{
    if (f || deltaGeneration == store->generation)
        return lastDeltaP;
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(store->curAt(i, std::size_t(site)) -
                        store->nextAt(i, std::size_t(site)));
    return sum / q;
}

void SCCell::setF(double values[])
{
    if (!f) {
        freezeDeltaP();
        for (int i = 0; i < q; ++i)
            store->setCur(i, std::size_t(site), values[i]);
        store->touch();
        return;
    }
    for (int i = 0; i < q; ++i)
        f[i] = values[i];
    recomputeMoments();
}

BaseCell *SCCell::clone(const SimulationParameters &parameters)
{
    SCCell *c = new SCCell(p0, parameters.getModel());
    for (int i = 0; i < q && i < c->q; ++i)
        c->f[i] = getF(i, 0);
    c->recomputeMoments();
    return c;
}

void SCCell::setEquilibrium(const Vector3d &velocity, double density)
{
    if (!f) {
        double values[Lattice::MaxQ];
        Lattice::equilibriumArray(velocity, density, q, values);
        setF(values);
        return;
    }
    const double keptRho = moments()[0];
    Lattice::equilibriumArray(velocity, density, q, f);
    recomputeMoments();
    moments()[0] = keptRho;
}

void SCCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "singleComponent");
    writer.writeAttribute("p0", XmlFormat::real(p0));
    writer.writeAttribute("lastDeltaP", XmlFormat::real(getDeltaP()));
    for (int i = 0; i < q; ++i)
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(getF(i, 0)));
}

void SCCell::activate(QXmlStreamReader &reader, Grid *)
{
    // A rejected value keeps the cell as it was; the message names it.
    AttributeReader a(reader);
    const double density = a.real("p0", p0);
    double values[Lattice::MaxQ];
    for (int i = 0; i < q; ++i)
        values[i] = a.real(QStringLiteral("f%1").arg(i));
    const double delta = a.real("lastDeltaP", 0.0, 0.0);
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    restore(density, delta, values);
}

void SCCell::restore(double density, double delta, double values[])
{
    p0 = density;
    setF(values);
    lastDeltaP = delta;
    if (!f)
        deltaGeneration = store->generation;
}
