#include "distributed/distributed_helper.h"

#include "distributed/rowstate.h"
#include "distributed/slab.h"
#include "distributed/slabfields.h"
#include "distributed/slabplan.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/wallcell.h"
#include "persistence/cellrow.h"
#include "persistence/exports.h"
#include "persistence/rowcensus.h"
#include "persistence/statedocument.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

// A domain cut into slabs of rows, stepped slab by slab in this process with
// the ghost rows exchanged as the processes of a distributed run exchange
// them, against the same document stepped as one grid.
class TestSlabs : public QObject
{
    Q_OBJECT

private slots:
    void slabsStepBitwiseAsOneGrid_data();
    void slabsStepBitwiseAsOneGrid();
    void slabsReadAloneEqualSlabsCutFromTheWhole_data();
    void slabsReadAloneEqualSlabsCutFromTheWhole();
    void aSlabOfADocumentLargerThanTheMemoryAllowedIsRead_data();
    void aSlabOfADocumentLargerThanTheMemoryAllowedIsRead();
    void cutsBalanceTheWorkingSites();
    void cutRowsAreRefused();
    void plainEdgesCarryCrossingPopulationsOnly();
    void leanSitesCarryCurrentPopulationsOnly_data();
    void leanSitesCarryCurrentPopulationsOnly();
    void slabsFormTheTableLinesOfTheWholeGrid_data();
    void slabsFormTheTableLinesOfTheWholeGrid();
};

namespace {

bool load(Grid &grid, const QString &path)
{
    QString error;
    if (!StateDocument(grid).load(path, StateDocument::Options(), &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    return true;
}

// Steps the whole domain cut into `slabs` slabs and puts the result back
// into it, as the processes of a distributed run do.
bool runInSlabs(Grid &whole, int slabs, int iterations, QString *error)
{
    SlabPlan plan;
    if (!plan.plan(whole, slabs, SlabPlan::ghostRows(whole), error))
        return false;
    std::vector<std::unique_ptr<Grid>> grids;
    std::vector<Slab> parts;
    for (int s = 0; s < slabs; ++s) {
        parts.emplace_back(plan, s);
        grids.push_back(std::make_unique<Grid>());
        if (!parts[std::size_t(s)].build(*grids.back(), whole, error))
            return false;
    }
    SimulationStats stats = whole.getStatistics();
    std::vector<double> all, mine;
    for (int k = 0; k < iterations; ++k) {
        std::vector<QByteArray> lower, upper;
        for (int s = 0; s < slabs; ++s) {
            lower.push_back(parts[std::size_t(s)].lowerEdge(*grids[std::size_t(s)]));
            upper.push_back(parts[std::size_t(s)].upperEdge(*grids[std::size_t(s)]));
        }
        for (int s = 0; s < slabs; ++s) {
            Grid &g = *grids[std::size_t(s)];
            if (plan.below(s) >= 0 && !parts[std::size_t(s)].fillLowerGhosts(g, upper[std::size_t(plan.below(s))], error))
                return false;
            if (plan.above(s) >= 0 && !parts[std::size_t(s)].fillUpperGhosts(g, lower[std::size_t(plan.above(s))], error))
                return false;
        }
        all.clear();
        for (int s = 0; s < slabs; ++s) {
            if (grids[std::size_t(s)]->step(1) != 1) {
                *error = QStringLiteral("slab %1 refused to step").arg(s);
                return false;
            }
            parts[std::size_t(s)].rowSums(*grids[std::size_t(s)], mine);
            all.insert(all.end(), mine.begin(), mine.end());
        }
        Slab::combineRowSums(all, stats);
        ++stats.iterations;
    }
    for (int s = 0; s < slabs; ++s)
        if (!RowState::unpack(whole, plan.firstRow(s), parts[std::size_t(s)].ownRows(*grids[std::size_t(s)]), error))
            return false;
    whole.getStatistics() = stats;
    // As the step leaves it: neighbours built, nothing left to rebuild.
    whole.buildNeighbours();
    whole.getParameters()->setNeedsNeighbourRebuild(false);
    return true;
}

} // namespace

void TestSlabs::slabsStepBitwiseAsOneGrid_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("slabs");
    for (SlabCases::Case c : SlabCases::all())
        for (int slabs : {2, 3})
            QTest::addRow("%s/%d", SlabCases::name(c), slabs) << int(c) << slabs;
}

// The whole state document after the run, every population in it, and the
// statistics that decide when a run stops.
void TestSlabs::slabsStepBitwiseAsOneGrid()
{
    QFETCH(int, kind);
    QFETCH(int, slabs);
    QTemporaryDir dir;
    const QString path = dir.filePath("case.lb2");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(SlabCases::document(SlabCases::Case(kind)));
    }
    const int iterations = 25;
    Grid reference, whole;
    QVERIFY(load(reference, path));
    QVERIFY(load(whole, path));
    const QByteArray before = StateDocument(reference).text(2);
    for (int k = 0; k < iterations; ++k)
        QCOMPARE(reference.step(1), 1);
    QVERIFY(std::isfinite(reference.getStatistics().totalP));
    QVERIFY(StateDocument(reference).text(2) != before);

    QString error;
    QVERIFY2(runInSlabs(whole, slabs, iterations, &error), qPrintable(error));
    QCOMPARE(whole.getStatistics().iterations, reference.getStatistics().iterations);
    QCOMPARE(whole.getStatistics().deltaP, reference.getStatistics().deltaP);
    QCOMPARE(whole.getStatistics().totalP, reference.getStatistics().totalP);
    const QByteArray expected = StateDocument(reference).text(2), got = StateDocument(whole).text(2);
    if (got != expected) {
        int at = 0;
        while (at < expected.size() && at < got.size() && expected[at] == got[at])
            ++at;
        QFAIL(qPrintable(QStringLiteral("the documents differ from byte %1: ...%2... instead of ...%3...")
                             .arg(at)
                             .arg(QString::fromLatin1(got.mid(std::max(0, at - 80), 160)))
                             .arg(QString::fromLatin1(expected.mid(std::max(0, at - 80), 160)))));
    }
}

void TestSlabs::slabsReadAloneEqualSlabsCutFromTheWhole_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("slabs");
    QTest::addColumn<bool>("scan");
    for (SlabCases::Case c : SlabCases::all())
        for (int slabs : {2, 3})
            for (bool scan : {true, false})
                QTest::addRow("%s/%d/%s", SlabCases::name(c), slabs, scan ? "scanner" : "reader")
                    << int(c) << slabs << scan;
}

// A first pass over the document that builds one row plans the same cut as
// the whole grid; each slab read alone from the document holds just its
// rows and ghost rows, in the very state and with the very parameters of
// the slab cut from the whole grid, through the fast cell scanner and the
// general reader alike.
void TestSlabs::slabsReadAloneEqualSlabsCutFromTheWhole()
{
    QFETCH(int, kind);
    QFETCH(int, slabs);
    QFETCH(bool, scan);
    QTemporaryDir dir;
    const QString path = dir.filePath("case.lb2");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(SlabCases::document(SlabCases::Case(kind)));
    }
    Grid whole;
    QVERIFY(load(whole, path));
    std::vector<long long> working(std::size_t(whole.getHeight()), 0);
    bool plain = true;
    whole.forEachCell([&](BaseCell *cell, int, int y, int) {
        const std::type_info &type = typeid(*cell);
        working[std::size_t(y)] += type != typeid(NullCell);
        plain = plain && (type == typeid(SCCell) || type == typeid(WallCell) || type == typeid(NullCell));
    });

    Grid first;
    RowCensus census;
    StateDocument::Options options;
    options.scanCells = scan;
    options.rowCount = 1;
    options.census = &census;
    QString error;
    QVERIFY2(StateDocument(first).load(path, options, &error), qPrintable(error));
    QCOMPARE(first.getHeight(), 1);
    QCOMPARE(census.working, working);
    QCOMPARE(census.plainOnly, plain);
    SlabPlan expected, plan;
    QVERIFY2(expected.plan(whole, slabs, SlabPlan::ghostRows(whole), &error), qPrintable(error));
    QVERIFY2(plan.plan(census.working, first.getParameters()->getPeriodicBoundaries(), slabs,
                       SlabPlan::ghostRows(!first.getParameters()->getForces().isEmpty(), census.plainOnly), &error),
             qPrintable(error));
    QVERIFY(plan.toNumbers() == expected.toNumbers());

    for (int s = 0; s < slabs; ++s) {
        const Slab slab(plan, s);
        QVERIFY(slab.windowRowCount() <= plan.height());
        Grid cut, read;
        QVERIFY2(slab.build(cut, whole, &error), qPrintable(error));
        options.census = nullptr;
        // Blocks far shorter than a row, and cut inside cells.
        options.cellBlockBytes = 1000 + 77 * s;
        options.firstRow = slab.windowFirstRow();
        options.rowCount = slab.windowRowCount();
        QVERIFY2(StateDocument(read).load(path, options, &error), qPrintable(error));
        QCOMPARE(read.getHeight(), slab.windowRowCount());
        QVERIFY2(slab.adopt(read, &error), qPrintable(error));
        QVERIFY2(RowState::pack(read, 0, read.getHeight()) == RowState::pack(cut, 0, cut.getHeight()),
                 qPrintable(QStringLiteral("slab %1 differs").arg(s)));
        QCOMPARE(Slab::parameters(read), Slab::parameters(cut));
    }
    // A window that holds a row twice is refused.
    options.firstRow = 0;
    options.rowCount = whole.getHeight() + 1;
    Grid tooMany;
    QVERIFY(!StateDocument(tooMany).load(path, options, &error));
    QVERIFY2(error.contains("cannot be read"), qPrintable(error));
}

void TestSlabs::aSlabOfADocumentLargerThanTheMemoryAllowedIsRead_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::newRow("text") << false;
    QTest::newRow("compressed") << true;
}

// The rows of a slab are read block by block, a compressed document
// inflated as it is read: a document whose text alone exceeds the memory a
// load may use still gives the slab, the same as the whole grid holds,
// while the whole document is refused.
void TestSlabs::aSlabOfADocumentLargerThanTheMemoryAllowedIsRead()
{
    QFETCH(bool, compressed);
    Grid whole;
    SlabCases::build(whole, SlabCases::Stream);
    whole.resize(160, 160, 1, true);
    for (int k = 0; k < 3; ++k)
        whole.step(1);
    QTemporaryDir dir;
    const QString path = dir.filePath("large.lb2");
    QString error;
    StateDocument::Options saving;
    saving.compress = compressed;
    QVERIFY2(StateDocument(whole).save(path, saving, &error), qPrintable(error));
    StateDocument::Options options;
    options.memoryLimit = StateDocument(whole).text(2).size() / 3;
    QVERIFY(QFileInfo(path).size() < options.memoryLimit || !compressed);
    options.cellBlockBytes = 200000;
    Grid refused;
    QVERIFY(!StateDocument(refused).load(path, options, &error));
    QVERIFY2(error.contains("allowed"), qPrintable(error));
    // Rows round the domain's edge, as a periodic slab's ghost rows wrap.
    options.firstRow = -3;
    options.rowCount = 10;
    Grid read, expected;
    QVERIFY2(StateDocument(read).load(path, options, &error), qPrintable(error));
    QVERIFY(load(expected, path));
    QCOMPARE(read.getHeight(), 10);
    for (int r = 0; r < 10; ++r)
        QVERIFY2(RowState::pack(read, r, 1) == RowState::pack(expected, (r - 3 + 160) % 160, 1),
                 qPrintable(QStringLiteral("row %1 differs").arg(r)));
}

// Rows of null cells do no work, so the cut gives the first slab more rows.
void TestSlabs::cutsBalanceTheWorkingSites()
{
    Grid grid;
    grid.resize(10, 12, 1);
    grid.fillRegion("-", 0, 9, 0, 5, 0, 0);
    SlabPlan plan;
    QString error;
    QVERIFY2(plan.plan(grid, 2, 1, &error), qPrintable(error));
    QCOMPARE(plan.firstRow(1), 9);
    QCOMPARE(plan.workingSites(0), 30LL);
    QCOMPARE(plan.workingSites(1), 30LL);
    // Every slab keeps at least its ghost rows, whatever the balance asks.
    QVERIFY2(plan.plan(grid, 3, 3, &error), qPrintable(error));
    QCOMPARE(plan.rowCount(0), 6);
    QCOMPARE(plan.rowCount(1), 3);
    QCOMPARE(plan.rowCount(2), 3);
    QVERIFY(!plan.plan(grid, 5, 3, &error));
    QVERIFY2(error.contains("at most 4 processes"), qPrintable(error));
}

// Rows cut short, or of another model, are refused with a message.
void TestSlabs::cutRowsAreRefused()
{
    Grid grid;
    SlabCases::build(grid, SlabCases::Channel);
    const QByteArray rows = RowState::pack(grid, 3, 2);
    QString error;
    QVERIFY(!RowState::unpack(grid, 3, rows.left(rows.size() - 5), &error));
    QVERIFY2(error.contains("cut short"), qPrintable(error));
    QVERIFY(!RowState::unpack(grid, grid.getHeight() - 1, rows, &error));
    QVERIFY2(error.contains("do not fit"), qPrintable(error));
    Grid other;
    SlabCases::build(other, SlabCases::Duct);
    QVERIFY(!RowState::unpack(other, 0, RowState::pack(grid, 1, 1), &error));
}

// Where plain fluid steps among plain walls, an edge is only the fluid's
// populations that move towards the neighbour (5 of D3Q19's 19), the same
// packed in pieces on the pool or in series; put into a row of the same
// kinds they replace just those populations. Bytes that fit no row, and
// rows of other cells, are refused. Under a force the edge's plain fluid
// carries its current populations alone.
void TestSlabs::plainEdgesCarryCrossingPopulationsOnly()
{
    Grid duct;
    SlabCases::build(duct, SlabCases::Duct);
    duct.getParameters()->setMulticore(true);
    SlabPlan plan;
    QString error;
    QVERIFY2(plan.plan(duct, 2, SlabPlan::ghostRows(duct), &error), qPrintable(error));
    QCOMPARE(plan.ghost(), 1);
    const int q = duct.getParameters()->getModel();
    QCOMPARE(q, 19);
    const int nx = duct.getWidth(), nz = duct.getLength();
    qint64 fluid = 0;
    for (int x = 0; x < nx; ++x)
        for (int z = 0; z < nz; ++z)
            fluid += duct.getCell(x, 2, z)->isFluid();
    QVERIFY(fluid > 0 && fluid < qint64(nx) * nz);
    QByteArray down, serial;
    QVERIFY(RowState::packCrossing(duct, 2, -1, true, down));
    QCOMPARE(qint64(down.size()), 8 * 5 * fluid);
    QVERIFY(RowState::packCrossing(duct, 2, -1, false, serial));
    QVERIFY(down == serial);
    const Slab slab(plan, 1);
    QCOMPARE(slab.lowerEdge(duct).size(), down.size() + 1);

    // Into another row of the same kinds: the downward populations are the
    // packed row's, bitwise, and every other one is left as it was.
    const auto populations = [&duct, q, nx, nz](int y) {
        std::vector<double> f;
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z)
                if (duct.getCell(x, y, z)->isFluid())
                    for (int i = 0; i < q; ++i)
                        f.push_back(duct.getCell(x, y, z)->getF(i, 0));
        return f;
    };
    const std::vector<double> from = populations(2), before = populations(5);
    QVERIFY(from != before);
    QVERIFY2(RowState::unpackCrossing(duct, 5, -1, down, true, &error), qPrintable(error));
    const std::vector<double> after = populations(5);
    QCOMPARE(after.size(), before.size());
    for (std::size_t k = 0; k < after.size(); ++k) {
        const bool crossing = Lattice::tables.e[q][k % std::size_t(q)][1] == -1;
        QVERIFY(std::memcmp(&after[k], crossing ? &from[k] : &before[k], sizeof(double)) == 0);
    }

    QVERIFY(!RowState::unpackCrossing(duct, 5, -1, down.left(down.size() - 8), false, &error));
    QVERIFY2(error.contains("bytes"), qPrintable(error));
    QVERIFY(!RowState::unpackCrossing(duct, duct.getHeight(), -1, down, false, &error));
    QVERIFY2(error.contains("does not fit"), qPrintable(error));
    // A row holding other cells than plain ones goes whole.
    Grid channel;
    SlabCases::build(channel, SlabCases::Channel);
    bool plain = true;
    QByteArray bytes;
    for (int y = 0; y < channel.getHeight() && plain; ++y)
        plain = RowState::packCrossing(channel, y, 1, false, bytes);
    QVERIFY(!plain);

    // Under a force (four ghost rows) an edge carries of plain fluid only
    // its current populations, a kind byte and the values of each site;
    // they go only into plain fluid.
    Grid droplet;
    SlabCases::build(droplet, SlabCases::Droplet);
    SlabPlan forced;
    QVERIFY2(forced.plan(droplet, 2, SlabPlan::ghostRows(droplet), &error), qPrintable(error));
    QCOMPARE(forced.ghost(), 4);
    const QByteArray up = Slab(forced, 0).upperEdge(droplet);
    const int dropletQ = droplet.getParameters()->getModel();
    QCOMPARE(qint64(up.size()), 1 + qint64(4) * droplet.getWidth() * (1 + 8 * dropletQ));
    const Slab second(forced, 1);
    QVERIFY2(second.fillLowerGhosts(droplet, up, &error), qPrintable(error));
    droplet.setCell(3, 2, 0, new WallCell, true, false);
    QVERIFY(!second.fillLowerGhosts(droplet, up, &error));
    QVERIFY2(error.contains("(3, 2, 0)"), qPrintable(error));
}

void TestSlabs::leanSitesCarryCurrentPopulationsOnly_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("components");
    for (SlabCases::Case c : {SlabCases::HeatedBox, SlabCases::Mixture, SlabCases::Colours})
        QTest::addRow("%s", SlabCases::name(c)) << int(c) << 2;
    QTest::addRow("mixture of three") << int(SlabCases::Mixture) << 3;
}

// Under forces or other cells than plain ones an edge carries a heat cell's
// current fluid and scalar populations, a mixture's count and each
// component's, and a colour cell's red and blue ones, after a kind byte;
// a wall a kind byte; a mixture adds its common velocity, which a reset
// leaves at rest whatever its populations (without it the mixture rows of
// slabsStepBitwiseAsOneGrid differ in the last digit). Read into another
// row of the same kinds, the populations are the packed row's, bitwise, and
// so are the densities and velocities the next step reads. A site of
// another kind, a mixture of another count or bytes cut short are refused,
// the site named.
void TestSlabs::leanSitesCarryCurrentPopulationsOnly()
{
    QFETCH(int, kind);
    QFETCH(int, components);
    Grid grid;
    SlabCases::build(grid, SlabCases::Case(kind));
    const bool mixture = kind == SlabCases::Mixture;
    if (components == 3)
        grid.getParameters()->setMulticomponent(3, 0.9, 0.1, -0.1, 1);
    if (mixture)
        QCOMPARE(static_cast<MCCell *>(grid.getCell(3, 2, 0))->componentCount(), components);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(grid.step(1), 1);
    const int q = grid.getParameters()->getModel(), nx = grid.getWidth(), from = 2, into = 12;
    // The mixture's sliding wall goes whole; plain walls in its place.
    for (int y : {from, into})
        if (!grid.getCell(0, y, 0)->isFluid())
            grid.setCell(0, y, 0, new WallCell, true, false);
    const qint64 perSite = 1 + 8 * qint64(components) * q + (mixture ? 1 + 24 : 0);
    qint64 expected = 0;
    int lastFluid = -1;
    for (int x = 0; x < nx; ++x) {
        const bool fluid = grid.getCell(x, from, 0)->isFluid();
        QCOMPARE(grid.getCell(x, into, 0)->isFluid(), fluid);
        expected += fluid ? perSite : 1;
        lastFluid = fluid ? x : lastFluid;
    }
    const QByteArray row = RowState::pack(grid, from, 1, true);
    QCOMPARE(qint64(row.size()), expected);
    // Bitwise: the populations of both sets, the densities and velocities.
    const auto state = [&grid, q, nx, components](int y) {
        std::vector<double> values;
        for (int x = 0; x < nx; ++x) {
            BaseCell *cell = grid.getCell(x, y, 0);
            if (!cell->isFluid())
                continue;
            for (int set = 0; set < components; ++set) {
                for (int i = 0; i < q; ++i)
                    values.push_back(cell->getF(i, set));
                values.push_back(cell->getP(set));
            }
            for (int component : {-1, 0}) {
                const Vector3d u = cell->getLatticeVelocity(component);
                values.insert(values.end(), {u.x, u.y, u.z});
            }
        }
        return values;
    };
    const std::vector<double> packed = state(from);
    QVERIFY(packed != state(into));
    QString error;
    QVERIFY2(RowState::unpack(grid, into, row, &error), qPrintable(error));
    const std::vector<double> after = state(into);
    QCOMPARE(after.size(), packed.size());
    QVERIFY(std::memcmp(after.data(), packed.data(), packed.size() * sizeof(double)) == 0);

    QVERIFY(!RowState::unpack(grid, into, row.left(row.size() - 8), &error));
    QVERIFY2(error.contains(QStringLiteral("(%1, 12, 0)").arg(lastFluid)), qPrintable(error));
    if (mixture) {
        grid.getCell(3, into, 0)->setComponents(5 - components);
        QVERIFY(!RowState::unpack(grid, into, row, &error));
        QVERIFY2(error.contains("mixture populations at (3, 12, 0)"), qPrintable(error));
    }
    grid.setCell(3, into, 0, new SCCell(1.0, q), true, false);
    QVERIFY(!RowState::unpack(grid, into, row, &error));
    QVERIFY2(error.contains("(3, 12, 0)"), qPrintable(error));
}

void TestSlabs::slabsFormTheTableLinesOfTheWholeGrid_data()
{
    slabsStepBitwiseAsOneGrid_data();
}

// Each slab forms the per-cell table's lines of its own rows from its
// neighbours' edge rows and the stream function's column sums of the slabs
// below: gathered column by column they are the whole grid's table, byte
// for byte, periodic domains included (whose vorticity reads nothing past
// the domain's edge rows).
void TestSlabs::slabsFormTheTableLinesOfTheWholeGrid()
{
    QFETCH(int, kind);
    QFETCH(int, slabs);
    Grid whole;
    SlabCases::build(whole, SlabCases::Case(kind));
    for (int k = 0; k < 6; ++k)
        QCOMPARE(whole.step(1), 1);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(Exports::writeCellTable(-1, -1, -1, whole, dir.filePath("whole.csv"), &error), qPrintable(error));
    QFile file(dir.filePath("whole.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = file.readAll();

    SlabPlan plan;
    QVERIFY2(plan.plan(whole, slabs, SlabPlan::ghostRows(whole), &error), qPrintable(error));
    std::vector<std::unique_ptr<Grid>> grids;
    std::vector<std::unique_ptr<SlabFields>> fields;
    for (int s = 0; s < slabs; ++s) {
        grids.push_back(std::make_unique<Grid>());
        QVERIFY2(Slab(plan, s).build(*grids.back(), whole, &error), qPrintable(error));
        fields.push_back(std::make_unique<SlabFields>(*grids.back(), plan, s));
    }
    std::vector<CellRow> rows;
    std::vector<double> sums;
    for (int s = 0; s < slabs; ++s) {
        SlabFields &f = *fields[std::size_t(s)];
        const QByteArray below = s > 0 ? fields[std::size_t(s - 1)]->upperEdgeVelocities() : QByteArray();
        const QByteArray above = s + 1 < slabs ? fields[std::size_t(s + 1)]->lowerEdgeVelocities() : QByteArray();
        // Parts that do not fit the slab are refused.
        QVERIFY(!f.compute(below + "x", above, sums));
        QVERIFY(f.compute(below, above, sums));
        sums = f.columnSums();
        rows.push_back(f.cellRow());
    }
    QByteArray got = CellRow::tableHeader();
    for (int x = 0; x < whole.getWidth(); ++x)
        for (int s = 0; s < slabs; ++s) {
            Grid &g = *grids[std::size_t(s)];
            const int shift = plan.ghostBelow(s) - plan.firstRow(s);
            for (int y = plan.firstRow(s); y < plan.firstRow(s) + plan.rowCount(s); ++y)
                for (int z = 0; z < whole.getLength(); ++z)
                    if (g.getCell(x, y + shift, z)->isFluid())
                        rows[std::size_t(s)].appendLine(got, x, y + shift, z, y);
        }
    QVERIFY(expected.count('\n') > 10);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestSlabs)
#include "tst_slabs.moc"
