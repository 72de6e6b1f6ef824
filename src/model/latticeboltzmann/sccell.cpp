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

    const double alpha = sp->getEntropic() ? 0.5 * entropicAlpha(feq, f) : 1.0;

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
