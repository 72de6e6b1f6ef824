#include "../gridtest_helper.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/momentpropagationcell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/statedocument.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <typeinfo>
#include <vector>

namespace {

// A source whose box lies outside the grid: it makes one colour exist
// without emitting anywhere.
ScalarSource nowhere()
{
    ScalarSource s;
    s.id = 7;
    s.minx = s.maxx = -5;
    return s;
}

PassiveScalarCell *wrapper(const Grid &grid, int x, int y)
{
    return dynamic_cast<PassiveScalarCell *>(grid.getCell(x, y, 0));
}

// Fluid at the equilibrium for u and colour 0 at the first-order
// equilibrium of theta(x, y).
template <typename Theta> void setState(Grid &grid, const Vector3d &u, Theta theta)
{
    const int q = 9;
    for (int y = 0; y < grid.getHeight(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x) {
            PassiveScalarCell *w = wrapper(grid, x, y);
            if (!w || !w->isFluid())
                continue;
            double values[2 * Lattice::MaxQ];
            Lattice::equilibriumArray(u, 1.0, q, values);
            for (int i = 0; i < q; ++i)
                values[q + i] = Lattice::equilibriumFirstOrder(u, theta(x, y), q, i);
            w->setF(values);
        }
}

double totalColour(const Grid &grid)
{
    double sum = 0.0;
    grid.forEachCell([&](BaseCell *c, int, int, int) { sum += c->getP(10); });
    return sum;
}

// Mean and variance of colour 0 along x or y, positions taken as the
// nearest periodic image around `centre`.
void moments(const Grid &grid, bool alongX, double centre, double &mean, double &variance)
{
    const int n = alongX ? grid.getWidth() : grid.getHeight();
    double m0 = 0.0, m1 = 0.0, m2 = 0.0;
    grid.forEachCell([&](BaseCell *c, int x, int y, int) {
        const double t = c->getP(10);
        double d = (alongX ? x : y) - centre;
        d -= n * std::round(d / n);
        m0 += t;
        m1 += t * d;
        m2 += t * d * d;
    });
    mean = centre + m1 / m0;
    variance = m2 / m0 - (m1 / m0) * (m1 / m0);
}

std::vector<double> fluidState(const Grid &grid)
{
    std::vector<double> values;
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        for (int i = 0; i < 9; ++i)
            values.push_back(c->getF(i, 0));
    });
    return values;
}

std::vector<double> colourState(const Grid &grid)
{
    std::vector<double> values;
    grid.forEachCell([&](BaseCell *c, int, int, int) {
        for (int i = 0; i < 9; ++i)
            values.push_back(c->getF(i, 10));
    });
    return values;
}

bool bitwiseEqual(const std::vector<double> &a, const std::vector<double> &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A closed 24 x 20 box: walls round it, a barrier across x = 12 made of a
// moving wall, a slip wall and plain walls, with one gap at the top, fluid
// stirred by a shear profile.
void closedBox(Grid &grid)
{
    GridTest::prepare(grid, 9, 24, 20, 1, 0.7, false);
    grid.fillRegion("w", 0, 23, 0, 0, 0, 0);
    grid.fillRegion("w", 0, 23, 19, 19, 0, 0);
    grid.fillRegion("w", 0, 0, 0, 19, 0, 0);
    grid.fillRegion("w", 23, 23, 0, 19, 0, 0);
    grid.fillRegion("v", 12, 12, 1, 5, 0, 0);
    grid.fillRegion("k", 12, 12, 6, 10, 0, 0);
    grid.fillRegion("w", 12, 12, 11, 15, 0, 0);
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 23; ++x)
            if (grid.getCell(x, y, 0)->isFluid())
                GridTest::setEquilibrium(grid.getCell(x, y, 0), Vector3d(0.03 * std::sin(0.3 * y), 0.01, 0), 1.0);
}

} // namespace

class TestScalarTracers : public QObject
{
    Q_OBJECT

private slots:
    // Advection-diffusion of a Gaussian blob in a uniform periodic flow:
    // the centre moves with u, the variance grows by 2 D t per axis with
    // D = (tau - 1/2) / 3.
    void blobMovesAndSpreads()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 128, 128, 1, 0.6, true);
        ScalarTracerSettings *settings = grid.getScalarTracers();
        settings->setEpsilon(0.8);
        QVERIFY(settings->addSource(nowhere(), 1));
        const Vector3d u(0.05, 0.0, 0.0);
        setState(grid, u, [](int x, int y) {
            const double dx = x - 40.0, dy = y - 64.0;
            return std::exp(-(dx * dx + dy * dy) / (2.0 * 16.0));
        });
        double x0, vx0, y0, vy0;
        moments(grid, true, 40.0, x0, vx0);
        moments(grid, false, 64.0, y0, vy0);
        const double mass0 = totalColour(grid);
        QVERIFY(GridTest::stepFinite(grid, 1000));
        double x1, vx1, y1, vy1;
        moments(grid, true, 90.0, x1, vx1);
        moments(grid, false, 64.0, y1, vy1);
        const double growthX = (vx1 - vx0) / 200.0, growthY = (vy1 - vy0) / 200.0;
        qInfo("displacement %.6f, variance growth x %.4f y %.4f of 200, colour change %.3g", x1 - x0, growthX, growthY,
              totalColour(grid) / mass0 - 1.0);
        QVERIFY(std::abs(x1 - x0 - 50.0) <= 0.25);
        // The nearest-image window is one row longer below than above.
        QVERIFY(std::abs(y1 - y0) <= 1e-3);
        QVERIFY(std::abs(growthX - 1.0) <= 0.02);
        QVERIFY(std::abs(growthY - 1.0) <= 0.02);
        QVERIFY(std::abs(totalColour(grid) / mass0 - 1.0) <= 1e-12);
    }

    // In a closed box the colour is conserved and stays behind solids of
    // every kind; the wrapped fluid evolves bitwise as the plain one, and
    // removing the sources gives back the plain cells.
    void closedBoxConservesAndWrapsTransparently()
    {
        Grid plain;
        closedBox(plain);
        Grid wrapped;
        closedBox(wrapped);
        const std::vector<const std::type_info *> kinds = [&] {
            std::vector<const std::type_info *> k;
            plain.forEachCell([&](BaseCell *c, int, int, int) { k.push_back(&PlainSite::kindOf(c)); });
            return k;
        }();
        ScalarTracerSettings *settings = wrapped.getScalarTracers();
        settings->setEpsilon(0.9);
        QVERIFY(settings->addSource(nowhere(), 1));
        QVERIFY(wrapper(wrapped, 12, 3) && wrapper(wrapped, 12, 3)->role() == PassiveScalarCell::Role::Solid);
        QVERIFY(wrapper(wrapped, 12, 8)->role() == PassiveScalarCell::Role::Solid);
        // Colour only left of the barrier, below the gap.
        for (int y = 1; y < 12; ++y)
            for (int x = 1; x < 12; ++x) {
                PassiveScalarCell *w = wrapper(wrapped, x, y);
                double values[2 * Lattice::MaxQ];
                for (int i = 0; i < 9; ++i)
                    values[i] = w->getF(i, 0);
                for (int i = 0; i < 9; ++i)
                    values[9 + i] = Lattice::weight(9, i) * (1.0 + 0.1 * x);
                w->setF(values);
            }
        const double colour0 = totalColour(wrapped);
        auto rightOfBarrierBelowGap = [&] {
            double sum = 0.0;
            for (int y = 1; y < 11; ++y)
                for (int x = 13; x < 23; ++x)
                    sum += wrapped.getCell(x, y, 0)->getP(10);
            return sum;
        };
        QCOMPARE(plain.step(3), 3);
        QCOMPARE(wrapped.step(3), 3);
        // Three steps cannot bring colour round through the gap.
        QCOMPARE(rightOfBarrierBelowGap(), 0.0);
        QCOMPARE(plain.step(297), 297);
        QCOMPARE(wrapped.step(297), 297);
        QVERIFY(std::abs(totalColour(wrapped) / colour0 - 1.0) <= 1e-12);
        QVERIFY(totalColour(wrapped) > 0.0);
        QVERIFY(bitwiseEqual(fluidState(plain), fluidState(wrapped)));

        settings->clearSources();
        int site = 0;
        bool sameKinds = true;
        wrapped.forEachCell([&](BaseCell *c, int, int, int) { sameKinds = sameKinds && PlainSite::kindOf(c) == *kinds[site++]; });
        QVERIFY(sameKinds);
        QCOMPARE(plain.step(50), 50);
        QCOMPARE(wrapped.step(50), 50);
        QVERIFY(bitwiseEqual(fluidState(plain), fluidState(wrapped)));
    }

    // Refining a coloured grid copies every wrapped cell with its colours
    // into its block, and the source boxes grow with the blocks.
    void refineKeepsWrappedCells_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("lattice-Boltzmann colours") << 1;
        QTest::newRow("moment propagation") << 2;
    }
    void refineKeepsWrappedCells()
    {
        QFETCH(int, type);
        Grid grid;
        GridTest::prepare(grid, 9, 10, 8, 1, 0.8, true);
        grid.fillRegion("w", 0, 9, 0, 0, 0, 0);
        grid.fillRegion("w", 5, 5, 2, 7, 0, 0);
        ScalarTracerSettings *settings = grid.getScalarTracers();
        settings->setEpsilon(0.8);
        ScalarSource source;
        source.id = 3;
        source.minx = 1;
        source.maxx = 2;
        source.miny = 1;
        source.maxy = 3;
        QVERIFY(settings->addSource(source, type));
        grid.step(5);
        auto walls = [&grid] {
            int n = 0;
            grid.forEachCell([&](BaseCell *c, int, int, int) {
                n += dynamic_cast<WallCell *>(PassiveScalarCell::innerOf(c)) != nullptr;
            });
            return n;
        };
        QCOMPARE(walls(), 16);
        std::vector<double> colour, density;
        grid.forEachCell([&](BaseCell *c, int, int, int) {
            colour.push_back(c->getP(10));
            density.push_back(c->getP(0));
        });
        QVERIFY(colour[std::size_t(grid.siteIndex(3, 2, 0))] > 0.0);
        grid.refine(2);
        QCOMPARE(grid.getWidth(), 20);
        QCOMPARE(walls(), 64);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) {
                PassiveScalarCell *w = wrapper(grid, x, y);
                QVERIFY(w);
                QCOMPARE(w->getP(10), colour[std::size_t((y / 2) * 10 + x / 2)]);
                QCOMPARE(w->getP(0), density[std::size_t((y / 2) * 10 + x / 2)]);
                const bool inSource = x >= 2 && x <= 5 && y >= 2 && y <= 7;
                QCOMPARE(w->getFixedConcentration() >= 0.0, inSource);
            }
        QCOMPARE(settings->sources().first().maxy, 7);
        QCOMPARE(grid.step(3), 3);
        QVERIFY(std::isfinite(totalColour(grid)));
    }

    // With the settings as they come, a source held at concentration 1 in
    // fluid at rest spreads a smooth field between 0 and 1, not noise.
    void defaultDiffusionSpreadsSmoothly()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 32, 32, 1, 0.8, true);
        ScalarTracerSettings *settings = grid.getScalarTracers();
        QVERIFY(!settings->epsilonWithoutDiffusion());
        ScalarSource s;
        s.id = 1;
        s.minx = s.maxx = 16;
        s.miny = s.maxy = 16;
        QVERIFY(settings->addSource(s, 1));
        QVERIFY(GridTest::stepFinite(grid, 400));
        double lowest = 0.0, highest = 0.0;
        grid.forEachCell([&](BaseCell *c, int, int, int) {
            lowest = std::min(lowest, c->getP(10));
            highest = std::max(highest, c->getP(10));
        });
        qInfo("colour between %.3g and %.3g; next to the source %.3g", lowest, highest, grid.getCell(17, 16, 0)->getP(10));
        QVERIFY(lowest > -1e-3 && highest < 1.0 + 1e-3);
        QVERIFY(grid.getCell(20, 16, 0)->getP(10) > 0.05);
    }

    // A source emits its colour only inside the injection window, and a
    // plain fluid cell next to the wrappers ignores the colour pushed at it.
    void sourcesPulseAndPlainNeighboursIgnoreColour()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 12, 8, 1, 0.8, true);
        ScalarTracerSettings *settings = grid.getScalarTracers();
        settings->setEpsilon(0.8);
        settings->setInjectionPeriod(10);
        settings->setInjectionTime(3);
        ScalarSource a = nowhere(), b;
        b.id = 2;
        b.minx = b.maxx = 4;
        b.miny = b.maxy = 3;
        QVERIFY(settings->addSource(a, 1));
        QVERIFY(settings->addSource(b, 1));
        QCOMPARE(wrapper(grid, 4, 3)->getKind(), -2);
        QCOMPARE(wrapper(grid, 4, 3)->getFixedConcentration(), 1.0);
        QCOMPARE(wrapper(grid, 5, 3)->getKind(), 0);
        // A plain cell placed among the wrappers.
        grid.setCell(6, 3, 0, new SCCell(1.0, 9));
        QVERIFY(typeid(*grid.getCell(6, 3, 0)) == typeid(SCCell));
        std::vector<double> received;
        for (int n = 0; n < 13; ++n) {
            QCOMPARE(grid.step(1), 1);
            // What the source sent east in iteration n, now committed.
            received.push_back(wrapper(grid, 5, 3)->getF(1, 11));
            QVERIFY(std::abs(grid.getCell(6, 3, 0)->getP(0) - 1.0) < 1e-12);
        }
        const double w = Lattice::weight(9, 1);
        for (int n = 0; n < 13; ++n)
            QCOMPARE(received[std::size_t(n)], n % 10 < 3 ? w : 0.0);
    }

    // Save, load and continue: the state document carries the wrapped cells,
    // the settings element carries the sources; the resumed run is bitwise
    // the uninterrupted one. A malformed settings element changes nothing.
    void saveLoadContinueIsBitwise()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run.lb2");
        Grid first;
        closedBox(first);
        ScalarTracerSettings *settings = first.getScalarTracers();
        settings->setEpsilon(0.75);
        settings->setInjectionPeriod(40);
        settings->setInjectionTime(25);
        ScalarSource s;
        s.id = 3;
        s.minx = 3;
        s.maxx = 4;
        s.miny = 2;
        s.maxy = 3;
        s.red = 10;
        QVERIFY(settings->addSource(s, 1));
        TracerRegion tracers;
        tracers.from = Vector3i(2, 2, 0);
        tracers.to = Vector3i(6, 16, 0);
        first.getTracers()->setDiffusion(0.2);
        first.getTracers()->setAmplification(5);
        first.getTracers()->addRegion(tracers);
        QCOMPARE(first.step(37), 37);
        QByteArray element;
        {
            QXmlStreamWriter writer(&element);
            writer.writeStartElement("passivescalarsingleton");
            settings->write(writer);
            writer.writeEndElement();
        }
        QString error;
        QVERIFY2(StateDocument(first).save(path, StateDocument::Options(), &error), qPrintable(error));

        Grid second;
        GridTest::prepare(second, 9, 5, 5, 1, 0.7, true);
        QVERIFY2(StateDocument(second).load(path, StateDocument::Options(), &error), qPrintable(error));
        second.getTracers()->setDiffusion(0.2);
        QXmlStreamReader reader(element);
        reader.readNextStartElement();
        QVERIFY2(second.getScalarTracers()->read(reader, &error), qPrintable(error));
        QVERIFY(reader.isEndElement() && reader.name() == QLatin1String("passivescalarsingleton"));
        QCOMPARE(second.getScalarTracers()->colourCount(), 1);
        QCOMPARE(second.getScalarTracers()->getEpsilon(), 0.75);
        QCOMPARE(second.getScalarTracers()->colourTable().value(0), qRgb(10, 0, 0));

        QCOMPARE(first.step(40), 40);
        QCOMPARE(second.step(40), 40);
        QVERIFY(totalColour(first) > 0.0);
        QVERIFY(bitwiseEqual(colourState(first), colourState(second)));
        QVERIFY(bitwiseEqual(fluidState(first), fluidState(second)));
        const auto &trails = first.getTracers()->emitters();
        QCOMPARE(second.getTracers()->emitters().size(), trails.size());
        for (std::size_t e = 0; e < trails.size(); ++e) {
            const auto &a = trails[e].trail, &b = second.getTracers()->emitters()[e].trail;
            QVERIFY(a.size() > 1 && a.size() == b.size());
            QVERIFY(std::memcmp(a.data(), b.data(), a.size() * sizeof(TracerPoint)) == 0);
        }

        // A bad colour keeps the settings; a count that lies is not obeyed.
        QXmlStreamReader bad("<passivescalarsingleton epsilon=\"2\" colorsQuantity=\"1\"><color id=\"1\" "
                             "color1X=\"red\"/></passivescalarsingleton>");
        bad.readNextStartElement();
        QVERIFY(!second.getScalarTracers()->read(bad, &error));
        QVERIFY(error.contains("color1X"));
        QCOMPARE(second.getScalarTracers()->getEpsilon(), 0.75);
        QXmlStreamReader lying("<passivescalarsingleton colorsQuantity=\"100000000\"><color id=\"4\" maxx=\"2\"/>"
                               "</passivescalarsingleton><next/>");
        lying.readNextStartElement();
        QVERIFY(second.getScalarTracers()->read(lying, &error));
        QCOMPARE(second.getScalarTracers()->colourCount(), 1);
        QCOMPARE(second.getScalarTracers()->sources().value(0).id, 4);
        QVERIFY(lying.isEndElement() && lying.name() == QLatin1String("passivescalarsingleton"));
    }

    // Moment propagation: a uniform colour stays uniform in a uniform flow
    // (the shares sum to one), a source holds its value, and the grid's reset
    // (densities -1 = keep) leaves the colours alone.
    void momentPropagationKeepsUniformColour()
    {
        Grid grid;
        GridTest::prepare(grid, 9, 10, 10, 1, 0.8, true);
        ScalarTracerSettings *settings = grid.getScalarTracers();
        settings->setEpsilon(0.3);
        ScalarSource s;
        s.minx = s.maxx = 2;
        s.miny = s.maxy = 2;
        QVERIFY(settings->addSource(s, 2));
        auto *source = dynamic_cast<MomentPropagationCell *>(grid.getCell(2, 2, 0));
        QVERIFY(source);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                if (x != 2 || y != 2)
                    grid.getCell(x, y, 0)->reset(1.0, 0.5);
        QCOMPARE(grid.getCell(5, 5, 0)->getP(10), 0.5);
        QCOMPARE(grid.step(3), 3);
        QCOMPARE(source->getP(10), 1.0);
        const double far = grid.getCell(7, 7, 0)->getP(10);
        QVERIFY(std::abs(far - 0.5) < 1e-12);
        grid.resetAll();
        QCOMPARE(grid.getCell(7, 7, 0)->getP(10), far);
    }
};

QTEST_GUILESS_MAIN(TestScalarTracers)
#include "tst_scalartracers.moc"
