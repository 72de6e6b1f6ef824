#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/geometryfiles.h"
#include "tools/geometry.h"

#include <QAction>
#include <QTemporaryDir>
#include <QtTest>

#include <typeinfo>

namespace {

// The template with create() replaced by the given body.
QString withCreate(const QString &body)
{
    QString script = Geometry::templateScript();
    const int from = script.indexOf(QLatin1String("function create() {"));
    const int to = script.indexOf(QLatin1String("function serialize()"));
    return script.left(from) + QLatin1String("function create() {\n") + body + QLatin1String("\n}\n\n") +
           script.mid(to);
}

} // namespace

class TestGeometry : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // Runs the window's script, answering the file question with name; the
    // number of questions asked is returned.
    int generate(Geometry &window, const QString &name)
    {
        int asked = 0;
        window.setFileNameChooser([&] {
            ++asked;
            return name;
        });
        // Generate queues the run; the next event processing runs it to the end.
        window.findChild<QAction *>("actionGenerate")->trigger();
        QCoreApplication::processEvents();
        return asked;
    }

private slots:
    // The template gives one 100 x 100 image, grey on the border and white
    // inside; an inlet set in create() shows red.
    void templateAndInlet()
    {
        Geometry window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Geometry"));
        QCOMPARE(window.script().trimmed(), Geometry::templateScript());
        const QString name = dir.filePath("t.png");
        QCOMPARE(generate(window, name), 1);
        QVERIFY2(window.output().contains(QLatin1String("It took ")), qPrintable(window.output()));
        QImage image(name);
        QCOMPARE(image.size(), QSize(100, 100));
        for (int i = 0; i < 100; ++i)
            for (QPoint p : {QPoint(i, 0), QPoint(i, 99), QPoint(0, i), QPoint(99, i)})
                QCOMPARE(image.pixel(p), qRgb(128, 128, 128));
        QCOMPARE(image.pixel(50, 50), qRgb(255, 255, 255));
        QVERIFY(!QFile::exists(dir.filePath("t_2.png")));

        window.setScript(withCreate("    data[0][50][0] = \"inlet\";"));
        QCOMPARE(generate(window, name), 1);
        QCOMPARE(QImage(name).pixel(0, 50), qRgb(255, 0, 0));
        QCOMPARE(QImage(name).pixel(0, 0), qRgb(255, 255, 255));
    }

    // A script that builds the Poiseuille channel gives the same cells as
    // the example image.
    void poiseuilleChannel()
    {
        QString script = withCreate(R"(    for (var x = 0; x < width(); x++) {
        data[x][0][0] = "wall";
        data[x][height() - 1][0] = "wall";
    }
    for (var y = 1; y < height() - 1; y++) {
        data[0][y][0] = "inlet";
        data[width() - 1][y][0] = "outlet";
    })");
        script.replace("return 100;\n}\n\nfunction height", "return 200;\n}\n\nfunction height");
        script.replace("return 100;\n}\n\nfunction length", "return 41;\n}\n\nfunction length");
        Geometry window;
        window.setScript(script);
        const QString name = dir.filePath("channel.png");
        QCOMPARE(generate(window, name), 1);

        Grid generated, example;
        QString error;
        QVERIFY2(GeometryFiles::loadImageGeometry(generated, name, QString(), &error), qPrintable(error));
        const QString root = qEnvironmentVariable("ONDIX_SOURCE_DIR");
        const QString examplePath = root.isEmpty() ? QFINDTESTDATA("../../examples/poiseuille-channel.png")
                                                   : root + "/examples/poiseuille-channel.png";
        QVERIFY2(GeometryFiles::loadImageGeometry(example, examplePath, QString(), &error), qPrintable(error));
        QCOMPARE(generated.getWidth(), 200);
        QCOMPARE(generated.getHeight(), 41);
        QCOMPARE(generated.getLength(), 1);
        int differences = 0;
        example.forEachCell([&](BaseCell *cell, int x, int y, int z) {
            if (typeid(*cell) != typeid(*generated.getCell(x, y, z)))
                ++differences;
        });
        QCOMPARE(differences, 0);
    }

    // Each z layer is its own file.
    void layers()
    {
        Geometry window;
        window.setScript(Geometry::templateScript().replace("return 1;", "return 3;"));
        QCOMPARE(generate(window, dir.filePath("g.png")), 1);
        for (const char *name : {"g.png", "g_2.png", "g_3.png"})
            QVERIFY(QFile::exists(dir.filePath(name)));
        QVERIFY(!QFile::exists(dir.filePath("g_4.png")));
        // Layer 2 has no walls (create() only walls z = 0).
        QCOMPARE(QImage(dir.filePath("g_2.png")).pixel(0, 0), qRgb(255, 255, 255));
    }

    // Scripts that throw, run forever or give a malformed result write no
    // file and say why; a runaway script leaves Generate disabled until it is
    // stopped.
    void badScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("message");
        QTest::newRow("throws") << "function f() { throw new Error('no domain'); }\nf();" << 0 << "no domain";
        QTest::newRow("endless") << "while (true) {}" << 0 << "Stopped: the script ran longer than 0.3 s.";
        QTest::newRow("endless second run")
            << "var runs = (typeof runs == 'undefined') ? 1 : runs + 1; if (runs > 1) for (;;) {} '1|1|1|x';" << 1
            << "Stopped: the script ran longer than 0.3 s.";
        QTest::newRow("too few cells") << "'3|2|1|wall|wall'" << 1
                                       << "The script gave 2 cells for 3 x 2 x 1 = 6 sites.";
        QTest::newRow("bad size") << "'3|-2|1'" << 1 << "positive integers";
        QTest::newRow("too large") << "'100000|100000|100'" << 1 << "too large";
    }

    void badScripts()
    {
        QFETCH(QString, script);
        QFETCH(int, asked);
        QFETCH(QString, message);
        Geometry window;
        window.setTimeLimit(300);
        window.setScript(script);
        bool generateWasDisabled = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            if (window.isRunning())
                generateWasDisabled |= !window.findChild<QAction *>("actionGenerate")->isEnabled();
        });
        probe.start(50);
        const QString name = dir.filePath("bad.png");
        QCOMPARE(generate(window, name), asked);
        QVERIFY2(window.output().contains(message), qPrintable(window.output()));
        QVERIFY(!QFile::exists(name));
        if (message.startsWith(QLatin1String("Stopped")))
            QVERIFY(generateWasDisabled);
    }

    // Stop ends a running script at once.
    void stopByHand()
    {
        Geometry window;
        window.setScript("for (;;) {}");
        QTimer::singleShot(200, &window, [&] { window.findChild<QAction *>("actionStop")->trigger(); });
        QCOMPARE(generate(window, dir.filePath("stopped.png")), 0);
        QVERIFY(window.output().endsWith(QLatin1String("Stopped.")));
    }
};

QTEST_MAIN(TestGeometry)
#include "tst_geometry.moc"
