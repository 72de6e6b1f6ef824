#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "persistence/geometryfiles.h"
#include "tools/geometry.h"
#include "tools/geometryscriptchild.h"
#include "tools/geometryscriptjob.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
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

    // Runs the window's script, answering the file question with name, and
    // waits for the run to end; the number of questions asked is returned.
    int generate(Geometry &window, const QString &name)
    {
        int asked = 0;
        window.setFileNameChooser([&] {
            ++asked;
            return name;
        });
        QSignalSpy ended(&window, &Geometry::finished);
        window.findChild<QAction *>("actionGenerate")->trigger();
        if (!ended.wait(60000))
            qWarning("the run did not end");
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

        // A name typed without a suffix gets ".png", which Load needs.
        QCOMPARE(generate(window, dir.filePath("h")), 1);
        for (const char *name : {"h.png", "h_2.png", "h_3.png"})
            QVERIFY(QFile::exists(dir.filePath(name)));
        QVERIFY(!QFile::exists(dir.filePath("h")));
        QCOMPARE(QImage(dir.filePath("h.png")).pixel(0, 0), qRgb(128, 128, 128));
    }

    // Scripts that throw, run forever or give a malformed result ask for no
    // file name, write no file and say why; a runaway script leaves Generate
    // disabled until it is stopped.
    void badScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("message");
        QTest::newRow("throws") << "function f() { throw new Error('no domain'); }\nf();" << 0 << "no domain";
        QTest::newRow("endless") << "while (true) {}" << 0 << "Stopped: the script reached its time limit of 0.3 s.";
        QTest::newRow("error line") << "var a = 1;\nvar b = 2;\nundefinedName();" << 0 << "at line 3";
        QTest::newRow("too few cells") << "'3|2|1|wall|wall'" << 0
                                       << "The script gave 2 cells for 3 x 2 x 1 = 6 sites.";
        QTest::newRow("bad size") << "'3|-2|1'" << 0 << "positive integers";
        QTest::newRow("too large") << "'100000|100000|100'" << 0 << "too large";
    }

    void badScripts()
    {
        QFETCH(QString, script);
        QFETCH(int, asked);
        QFETCH(QString, message);
        Geometry window;
        // A short limit for the runaway script; the others end on their own
        // and get room for starting the script's process on a busy machine.
        window.setTimeLimit(message.startsWith(QLatin1String("Stopped")) ? 300 : 30000);
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

    // The script runs once: what it prints shows once, and its effects are
    // not repeated.
    void evaluatedOnceWithOutput()
    {
        Geometry window;
        window.setScript("print('making', 2, 'by', 1); '2|1|1|wall|fluid'");
        QCOMPARE(generate(window, dir.filePath("once.png")), 1);
        QCOMPARE(window.output().count(QLatin1String("making 2 by 1")), 1);
        QCOMPARE(QImage(dir.filePath("once.png")).pixel(0, 0), qRgb(128, 128, 128));
    }

    // Built-in calls that the script engine cannot interrupt, and memory
    // hogs, end at the limits in their own process while the window's event
    // loop goes on; Stop kills at once.
    void limits_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("timeLimit");
        QTest::addColumn<int>("memoryMb");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<QString>("message");
        QTest::newRow("native join, time") << "new Array(300000000).join('ab').length" << 1000 << 2048 << 0
                                           << "Stopped: the script reached its time limit of 1 s.";
        QTest::newRow("native join, stop")
            << "new Array(4294967295).join('').length" << 60000 << 2048 << 300 << "Stopped by the user.";
        QTest::newRow("append loop, memory") << "var a = []; for (;;) a.push('abcdefgh' + a.length);" << 30000 << 64
                                             << 0 << "Stopped: the script reached its memory limit of 64 MB.";
        QTest::newRow("native join, memory") << "new Array(30000000).join('ab').length" << 30000 << 64 << 0
                                             << "Stopped: the script reached its memory limit of 64 MB.";
    }

    void limits()
    {
        QFETCH(QString, script);
        QFETCH(int, timeLimit);
        QFETCH(int, memoryMb);
        QFETCH(int, stopAfter);
        QFETCH(QString, message);
        Geometry window;
        window.setTimeLimit(timeLimit);
        window.setMemoryLimit(qint64(memoryMb) << 20);
        window.setScript(script);
        if (stopAfter > 0)
            QTimer::singleShot(stopAfter, &window, [&] { window.findChild<QAction *>("actionStop")->trigger(); });
        // The window's events go on during the run.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(generate(window, dir.filePath("limit.png")), 0);
        const qint64 took = clock.elapsed();
        QVERIFY2(window.output().contains(message), qPrintable(window.output()));
        QVERIFY2(took < (stopAfter > 0 ? stopAfter : timeLimit) + 5000, qPrintable(QString::number(took)));
        QVERIFY2(ticks >= took / 50 / 2, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
        QVERIFY(!window.isRunning());
        QVERIFY(window.findChild<QAction *>("actionGenerate")->isEnabled());
        QVERIFY(!QFile::exists(dir.filePath("limit.png")));
    }

    // A script process that cannot start, crashes or ends without a word is
    // reported in the window, which can run again.
    void processFailures_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "no-such-program"
                                 << "Could not start";
        QTest::newRow("crash") << "#!/bin/sh\nkill -SEGV $$\n"
                               << "Stopped: the script's process crashed (signal 11).";
        QTest::newRow("silent") << "#!/bin/sh\nexit 1\n"
                                << "ended with code 1 and said nothing";
    }

    void processFailures()
    {
        QFETCH(QString, program);
        QFETCH(QString, message);
        QString path = dir.filePath(QTest::currentDataTag());
        if (program.startsWith(QLatin1String("#!"))) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(program.toUtf8());
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        Geometry window;
        window.setScriptProgram(path);
        QCOMPARE(generate(window, dir.filePath("failed.png")), 0);
        QVERIFY2(window.output().contains(message), qPrintable(window.output()));
        QVERIFY(!window.isRunning());
        QVERIFY(window.findChild<QAction *>("actionGenerate")->isEnabled());
    }

    // A script that prints without end fills neither the window nor its
    // memory: the output is cut and the time limit ends the run.
    void printFlood()
    {
        Geometry window;
        window.setTimeLimit(1000);
        window.setScript("for (;;) print('0123456789012345678901234567890123456789');");
        QCOMPARE(generate(window, dir.filePath("flood.png")), 0);
        const QString output = window.output();
        QVERIFY2(output.contains(QLatin1String("the rest is left out")), qPrintable(output.right(200)));
        QVERIFY(output.contains(QLatin1String("time limit of 1 s")));
        QVERIFY(output.size() < 400 * 1024);
    }

    // The program itself runs scripts when started with the option.
    void programHandlesTheOption()
    {
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/ondix");
        if (!QFileInfo(program).isExecutable())
            QSKIP("the ondix program is not built beside the test");
        QTemporaryDir work;
        QFile script(GeometryScriptChild::scriptFile(work.path()));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("'1|2|1|inlet|outlet'");
        script.close();
        QProcess child;
        child.start(program, {GeometryScriptChild::option(), work.path(), QString::number(256 << 20), "5000"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        const QImage image(GeometryScriptChild::layerFile(work.path(), 0));
        QCOMPARE(image.size(), QSize(1, 2));
        QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(image.pixel(0, 1), qRgb(0, 0, 0));
    }
};

// The window's scripts run in a child process of the program that asks for
// them: this test program is that program too.
int main(int argc, char *argv[])
{
    if (GeometryScriptChild::isCall(argc, argv))
        return GeometryScriptChild::run(argc, argv);
    QApplication application(argc, argv);
    GeometryScriptJob::setDefaultProgram(QCoreApplication::applicationFilePath());
    TestGeometry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_geometry.moc"
