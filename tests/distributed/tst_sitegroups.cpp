#include "distributed/sitegroups.h"

#include "model/latticeboltzmann/boundary/boundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QtTest>

// The group numbers worked out from a geometry's codes against those a
// grid of the whole domain gives: a grid of some rows, renumbered, holds
// the whole grid's numbers at every site.
class TestSiteGroups : public QObject
{
    Q_OBJECT

private slots:
    void rowsTakeTheWholeDomainsGroups_data();
    void rowsTakeTheWholeDomainsGroups();
};

namespace {

// What a cell's group is, with its kind: "" for cells without one.
QString groupOf(BaseCell *cell)
{
    if (auto *source = dynamic_cast<SourceCell *>(cell))
        return QStringLiteral("inlet %1 %2")
            .arg(source->index())
            .arg(source->strategy() ? source->strategy()->getBoundaryU() : -1.0, 0, 'g', 17);
    if (auto *thermal = dynamic_cast<ThermalWall *>(cell))
        return QStringLiteral("thermal %1").arg(thermal->getIndex());
    if (auto *drag = dynamic_cast<DragWallCell *>(cell))
        return QStringLiteral("drag %1").arg(drag->index());
    return QString();
}

} // namespace

void TestSiteGroups::rowsTakeTheWholeDomainsGroups_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<uint>("seed");
    QTest::newRow("2D") << 1 << 7u;
    QTest::newRow("2D, other codes") << 1 << 11u;
    QTest::newRow("3D") << 3 << 5u;
}

void TestSiteGroups::rowsTakeTheWholeDomainsGroups()
{
    QFETCH(int, length);
    QFETCH(uint, seed);
    const int width = 14, height = 20;
    // Scattered blobs of inlets, point sources, thermal and drag walls,
    // with many groups, some growing together late (a drag wall that
    // touches two groups merges them).
    QStringList codes;
    std::srand(seed);
    const QStringList kinds{"x", "x", "x", "w", "s", ".", "t", "d", "d"};
    for (int s = 0; s < width * height * length; ++s)
        codes << kinds[std::rand() % kinds.size()];
    Grid whole;
    whole.getParameters()->setModel(length > 1 ? 19 : 9);
    for (int i = 0; i < 3; ++i)
        whole.getParameters()->setSourceVelocityValue(i, 0.01 * (i + 1));
    whole.loadTypes(codes, width, height, length);
    SiteGroups groups;
    groups.number(codes, width, height, length);

    int differing = 0;
    for (const auto &window : {qMakePair(0, 7), qMakePair(6, 9), qMakePair(13, 7), qMakePair(17, 6)}) {
        // Rows [first, first + count), wrapped round the top.
        QStringList rows;
        const int perRow = width * length;
        for (int local = 0; local < window.second; ++local)
            rows += codes.mid(((window.first + local) % height) * perRow, perRow);
        Grid part;
        part.getParameters()->copyPersistedFrom(*whole.getParameters());
        part.loadTypes(rows, width, window.second, length);
        for (int local = 0; local < window.second; ++local)
            for (int x = 0; x < width; ++x)
                for (int z = 0; z < length; ++z)
                    differing += groupOf(part.getCell(x, local, z)) !=
                                 groupOf(whole.getCell(x, (window.first + local) % height, z));
        groups.apply(part, window.first);
        for (int local = 0; local < window.second; ++local)
            for (int x = 0; x < width; ++x)
                for (int z = 0; z < length; ++z) {
                    const int y = (window.first + local) % height;
                    QCOMPARE(groupOf(part.getCell(x, local, z)), groupOf(whole.getCell(x, y, z)));
                }
    }
    // The rows alone number their groups otherwise: the case is a test.
    QVERIFY(differing > 0);
}

QTEST_GUILESS_MAIN(TestSiteGroups)
#include "tst_sitegroups.moc"
