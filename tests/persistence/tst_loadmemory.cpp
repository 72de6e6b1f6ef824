#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/statedocument.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A field of /proc/self/status in kB.
qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

// The memory a load checks against what is available must be what it takes:
// measured here as the growth of the peak resident memory over the load, in
// a process of its own so that no earlier test's freed memory is reused.
class TestLoadMemory : public QObject
{
    Q_OBJECT

private slots:
    void estimateCoversPeak_data()
    {
        QTest::addColumn<int>("q");
        QTest::addColumn<bool>("fluid");
        QTest::newRow("D2Q9 fluid") << 9 << true;
        QTest::newRow("D3Q19 walls") << 19 << false;
        QTest::newRow("D3Q27 fluid") << 27 << true;
    }
    void estimateCoversPeak()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer's allocator adds memory of its own to every block");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
        QSKIP("the address sanitizer's allocator adds memory of its own to every block");
#endif
#endif
        QFETCH(int, q);
        QFETCH(bool, fluid);
        const int width = 12000, sites = width * 4;
        QTemporaryDir dir;
        const QString path = dir.filePath("doc.lb2");
        {
            Grid g;
            g.getParameters()->setModel(q);
            g.getParameters()->setMulticore(false);
            g.resize(width, 2, 2);
            if (!fluid)
                g.fillRegion("w", 0, width - 1, 0, 1, 0, 1);
            QVERIFY(StateDocument(g).save(path, {}));
        }
        Grid grid;
        grid.getParameters()->setModel(q);
        grid.resize(1, 1, 1);
        // Resets the peak to the present resident memory.
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1 || !reset.flush())
            QSKIP("the peak resident memory cannot be reset here");
        const qint64 before = statusKb("VmRSS:");
        QString error;
        QVERIFY2(StateDocument(grid).load(path, {}, &error), qPrintable(error));
        const qint64 peak = statusKb("VmHWM:");
        QVERIFY(before > 0 && peak > before);
        const qint64 grown = (peak - before) * 1024;
        const qint64 estimate = StateDocument::estimatedLoadBytes(sites, q, QFile(path).size());
        const QString figures = QStringLiteral("grew %1 B/site, estimate %2 B/site")
                                    .arg(double(grown) / sites, 0, 'f', 0)
                                    .arg(double(estimate) / sites, 0, 'f', 0);
        qInfo("%s", qPrintable(figures));
        // Resident memory may grow by whole huge pages.
        const qint64 slack = qint64(4) << 20;
        QVERIFY2(estimate + slack >= grown, qPrintable(figures));
        // The estimate is formed before any cell is read, as if every site
        // were fluid; for fluid it stays within twice what a load takes. A
        // document of walls, which keep no populations in the grid and
        // share their cells, takes a small part of it.
        if (fluid)
            QVERIFY2(estimate < 2 * grown, qPrintable(figures));
    }
};

QTEST_GUILESS_MAIN(TestLoadMemory)
#include "tst_loadmemory.moc"
