#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "validate/layeredchannel.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Two Shan-Chen components in a channel as the textbook states the model,
// on plain arrays with a lattice numbering of its own: densities and momenta
// per component; forces F_s = -G rho_s sum_i w_i e_i rho_s'(x + e_i) plus the
// weight -g rho_s along y (walls have no density); one common velocity
// u' = sum(m_s / tau_s) / sum(rho_s / tau_s); BGK towards the equilibrium at
// u' + tau_s F_s / rho_s; half-way bounce-back at the walls x = 0 and
// x = w + 1; periodic along y (uniform, so one row stands for all).
struct TextbookChannel
{
    static constexpr int Q = 9;
    const int cx[Q] = {0, 1, 0, -1, 0, 1, -1, -1, 1};
    const int cy[Q] = {0, 0, 1, 0, -1, 1, 1, -1, -1};
    const int opposite[Q] = {0, 3, 4, 1, 2, 7, 8, 5, 6};
    const double w[Q] = {4.0 / 9, 1.0 / 9, 1.0 / 9, 1.0 / 9, 1.0 / 9, 1.0 / 36, 1.0 / 36, 1.0 / 36, 1.0 / 36};

    int width;
    double tau[2], g, gravity;
    std::vector<std::array<double, Q>> f[2];
    std::vector<double> fx[2], fy[2]; // forces of the last collision

    TextbookChannel(int width, double tau0, double tau1, double g, double gravity)
        : width(width), tau{tau0, tau1}, g(g), gravity(gravity)
    {
        for (int s = 0; s < 2; ++s) {
            f[s].assign(std::size_t(width + 2), {});
            fx[s].assign(std::size_t(width + 2), 0.0);
            fy[s].assign(std::size_t(width + 2), 0.0);
        }
    }
    double density(int s, int x) const
    {
        double r = 0.0;
        for (int i = 0; i < Q; ++i)
            r += f[s][std::size_t(x)][std::size_t(i)];
        return r;
    }
    double momentum(int s, int x, const int *c) const
    {
        double m = 0.0;
        for (int i = 0; i < Q; ++i)
            m += c[i] * f[s][std::size_t(x)][std::size_t(i)];
        return m;
    }
    void fill(int x, double rho0, double rho1)
    {
        for (int i = 0; i < Q; ++i) {
            f[0][std::size_t(x)][std::size_t(i)] = w[i] * rho0;
            f[1][std::size_t(x)][std::size_t(i)] = w[i] * rho1;
        }
    }
    void step()
    {
        std::vector<double> rho[2];
        for (int s = 0; s < 2; ++s) {
            rho[s].assign(std::size_t(width + 2), 0.0);
            for (int x = 1; x <= width; ++x)
                rho[s][std::size_t(x)] = density(s, x);
        }
        std::vector<std::array<double, Q>> next[2] = {f[0], f[1]};
        for (int x = 1; x <= width; ++x) {
            for (int s = 0; s < 2; ++s) {
                double sx = 0.0, sy = 0.0;
                for (int i = 1; i < Q; ++i) {
                    const int n = x + cx[i];
                    const double other = n >= 1 && n <= width ? rho[1 - s][std::size_t(n)] : 0.0;
                    sx += w[i] * cx[i] * other;
                    sy += w[i] * cy[i] * other;
                }
                const double r = rho[s][std::size_t(x)];
                fx[s][std::size_t(x)] = -g * r * sx;
                fy[s][std::size_t(x)] = -g * r * sy - gravity * r;
            }
            double weight = 0.0, ux = 0.0, uy = 0.0;
            for (int s = 0; s < 2; ++s) {
                weight += rho[s][std::size_t(x)] / tau[s];
                ux += momentum(s, x, cx) / tau[s];
                uy += momentum(s, x, cy) / tau[s];
            }
            ux /= weight;
            uy /= weight;
            for (int s = 0; s < 2; ++s) {
                const double r = rho[s][std::size_t(x)];
                const double vx = ux + tau[s] * fx[s][std::size_t(x)] / r;
                const double vy = uy + tau[s] * fy[s][std::size_t(x)] / r;
                for (int i = 0; i < Q; ++i) {
                    const double e = cx[i] * vx + cy[i] * vy;
                    const double feq = w[i] * r * (1.0 + 3.0 * e + 4.5 * e * e - 1.5 * (vx * vx + vy * vy));
                    const double post = f[s][std::size_t(x)][std::size_t(i)] * (1.0 - 1.0 / tau[s]) + feq / tau[s];
                    const int n = x + cx[i];
                    if (n >= 1 && n <= width)
                        next[s][std::size_t(n)][std::size_t(i)] = post;
                    else
                        next[s][std::size_t(x)][std::size_t(opposite[i])] = post;
                }
            }
        }
        f[0] = next[0];
        f[1] = next[1];
    }
    // The mixture's velocity across (y false) or along (y true) the
    // channel: both momenta and half of the forces of the last collision,
    // over the total density.
    double velocity(int x, bool y = true) const
    {
        double m = 0.0, F = 0.0, r = 0.0;
        for (int s = 0; s < 2; ++s) {
            m += momentum(s, x, y ? cy : cx);
            F += (y ? fy : fx)[s][std::size_t(x)];
            r += density(s, x);
        }
        return (m + 0.5 * F) / r;
    }
};

} // namespace

class TestMixtureChannel : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheTextbookModel_data();
    void matchesTheTextbookModel();
};

void TestMixtureChannel::matchesTheTextbookModel_data()
{
    QTest::addColumn<double>("tauInner");
    QTest::addColumn<double>("tauOuter");
    QTest::newRow("equal times") << 0.8 << 0.8;
    QTest::newRow("different times") << 1.0 << 0.6;
}

// Two components in layers between walls, pulled along -y: the mixture
// cells give the densities and the reported velocity of the model computed
// independently, site by site, through the interfaces and next to the walls.
void TestMixtureChannel::matchesTheTextbookModel()
{
    QFETCH(double, tauInner);
    QFETCH(double, tauOuter);
    const int width = 16, steps = 400;
    const double g = 0.5, gravity = 1e-5;

    Grid grid;
    LayeredChannel::build(grid, width, tauInner, tauOuter, gravity, g);
    TextbookChannel reference(width, tauInner, tauOuter, g, gravity);
    for (int x = 1; x <= width; ++x) {
        const auto [inner, outer] = LayeredChannel::initialDensities(x, width);
        reference.fill(x, inner, outer);
    }
    grid.step(steps);
    for (int n = 0; n < steps; ++n)
        reference.step();

    double peak = 0.0, densityError = 0.0, velocityError = 0.0;
    for (int x = 1; x <= width; ++x)
        peak = std::max(peak, std::abs(reference.velocity(x)));
    QVERIFY(peak > 1e-4); // the flow has started and crossed the channel
    for (int x = 1; x <= width; ++x) {
        BaseCell *c = grid.getCell(x, 1, 0);
        for (int s = 0; s < 2; ++s)
            densityError = std::max(densityError, std::abs(c->getP(s) - reference.density(s, x)));
        const Vector3d u = c->getVelocity(-1);
        velocityError = std::max(velocityError, std::abs(u.y - reference.velocity(x)) / peak);
        velocityError = std::max(velocityError, std::abs(u.x - reference.velocity(x, false)) / peak);
    }
    QVERIFY2(densityError < 1e-12, qPrintable(QString::number(densityError)));
    QVERIFY2(velocityError < 1e-9, qPrintable(QString::number(velocityError)));
}

QTEST_GUILESS_MAIN(TestMixtureChannel)
#include "tst_mixturechannel.moc"
