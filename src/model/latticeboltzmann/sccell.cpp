#include "sccell.h"

#include "forces/force.h"
#include "persistence/simulationparameters.h"
#include "persistence/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

SCCell::SCCell(double initialDensity) : p0(initialDensity)
{
    q = Lattice::currentQ();
    // One pooled block holds both arrays, so a cell's data is contiguous and
    // cells built in site order have their arrays in site order.
    f = static_cast<double *>(BlockPool::allocate(2 * q * sizeof(double)));
    fNext = f + q;
    Lattice::equilibriumArray(Vector3d(), p0, q, f);
    for (int i = 0; i < q; ++i)
        fNext[i] = f[i];
    recomputeMoments();
}

SCCell::~SCCell()
{
    BlockPool::release(f < fNext ? f : fNext, 2 * q * sizeof(double));
}

void SCCell::collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out)
{
    const double tau = params[0];
    SimulationParameters *sp = currentParameters();

    shift = Vector3d();
    const QList<Force *> &forces = sp->getForces();
    for (Force *force : forces) {
        const Vector3d F = force->force(this, neighbours, 0, position.x, position.y, position.z, grid);
        shift += F * (tau / rho);
    }

    const int order = sp->getVelocityOrder();
    const Vector3d U = u + shift;
    const double uu = U.dot(U);
    double feq[Lattice::MaxQ];
    for (int i = 0; i < q; ++i)
        feq[i] = equilibriumOf(U, uu, rho, q, i, order);

    const double alpha = sp->getEntropic() ? 0.5 * entropicAlpha(feq) : 1.0;

    double tauEff = tau;
    const double k = sp->getSmagorinsky();
    if (k > 0.0) {
        double pxx = 0.0, pxy = 0.0, pyx = 0.0, pyy = 0.0;
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            const double d = f[i] - feq[i];
            pxx += e[0] * e[0] * d;
            pxy += e[0] * e[1] * d;
            pyx += e[1] * e[0] * d;
            pyy += e[1] * e[1] * d;
        }
        const double s = std::sqrt(8.0 * (pxx * pxx + pxy * pxy + pyx * pyx + pyy * pyy));
        tauEff = (tau + std::sqrt(s * k * k * q / rho + tau * tau)) * 0.5;
    }

    const double omega = alpha / tauEff;
    const double keep = 1.0 - omega;
    for (int i = 0; i < q; ++i)
        out[i] = f[i] * keep + omega * feq[i];
}

void SCCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    double out[Lattice::MaxQ];
    collide(params, neighbours, grid, position, out);
    for (int i = 0; i < q; ++i)
        if (BaseCell *n = neighbours[i])
            n->setNextF(i, out[i], 0);
}

// Entropic limiter: x solves H(f (1 - x) + x feq) = H(f) with H(f) =
// sum f_i ln(f_i / w_i); x = 2 is plain BGK. The root is bracketed in [1, 2]
// because H of the mixture falls to its minimum near x = 1 (the equilibrium)
// and rises again; where it has not risen back to H(f) by x = 2, or where f
// has a non-positive entry (H undefined), BGK is used.
double SCCell::entropicAlpha(const double *feq) const
{
    auto entropy = [&](double x, bool &valid) {
        double h = 0.0;
        for (int i = 0; i < q; ++i) {
            const double w = Lattice::tables.w[q][i];
            if (w <= Lattice::ActiveWeight)
                continue;
            const double m = f[i] * (1.0 - x) + x * feq[i];
            if (!(m > 0.0)) {
                valid = false;
                return 0.0;
            }
            h += m * std::log(m / w);
        }
        valid = true;
        return h;
    };
    bool valid = false;
    const double h0 = entropy(0.0, valid);
    if (!valid)
        return 2.0;
    const double scale = std::abs(h0) > 1e-300 ? std::abs(h0) : 1.0;
    int evaluations = 1;
    double hi = 2.0;
    double gHi = entropy(hi, valid) - h0;
    ++evaluations;
    if (valid && gHi <= 0.0)
        return 2.0;
    double lo = 1.0;
    double x = hi;
    while (evaluations < 100) {
        x = 0.5 * (lo + hi);
        const double g = entropy(x, valid) - h0;
        ++evaluations;
        if (valid && std::abs(g / scale) < 1e-5)
            return x;
        if (!valid || g > 0.0)
            hi = x;
        else
            lo = x;
    }
    return x;
}

double SCCell::equilibrium(int i, double, BaseCell *[], Grid *)
{
    const Vector3d U = u + shift;
    return equilibriumOf(U, U.dot(U), rho, q, i, currentParameters()->getVelocityOrder());
}

void SCCell::postUpdate()
{
    if (fixedDensity != 0.0) {
        reset(fixedDensity, 0.0);
        return;
    }
    double *t = f;
    f = fNext;
    fNext = t;
    recomputeMoments();
}

void SCCell::reset(double density, double)
{
    if (density >= 0.0)
        p0 = density;
    Lattice::equilibriumArray(Vector3d(), p0, q, f);
    recomputeMoments();
}

double SCCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += std::abs(fNext[i] - f[i]);
    lastDeltaP = sum / q;
    return lastDeltaP;
}

void SCCell::setF(double values[])
{
    for (int i = 0; i < q; ++i)
        f[i] = values[i];
    recomputeMoments();
}

BaseCell *SCCell::clone()
{
    SCCell *c = new SCCell(p0);
    for (int i = 0; i < q && i < c->q; ++i)
        c->f[i] = f[i];
    c->recomputeMoments();
    return c;
}

void SCCell::setEquilibrium(const Vector3d &velocity, double density)
{
    const double keptRho = rho;
    Lattice::equilibriumArray(velocity, density, q, f);
    recomputeMoments();
    rho = keptRho;
}

void SCCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "singleComponent");
    writer.writeAttribute("p0", XmlFormat::real(p0));
    writer.writeAttribute("lastDeltaP", XmlFormat::real(lastDeltaP));
    for (int i = 0; i < q; ++i)
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(f[i]));
}

void SCCell::activate(QXmlStreamReader &reader, Grid *)
{
    const QXmlStreamAttributes a = reader.attributes();
    p0 = XmlFormat::readReal(a, "p0");
    lastDeltaP = XmlFormat::readReal(a, "lastDeltaP");
    for (int i = 0; i < q; ++i)
        f[i] = XmlFormat::readReal(a, QStringLiteral("f%1").arg(i));
    recomputeMoments();
}
