#include "batch_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "persistence/statedocument.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

#include <cmath>

// ondix-run with a document that holds a shape: the runner places it, runs
// to the document's iteration limit and writes the force and torque on it
// in the time series.
class TestRunnerShapes : public QObject
{
    Q_OBJECT

private slots:
    void ballInTheChannel()
    {
        const QString program = QCoreApplication::applicationDirPath() + "/ondix-run";
        QVERIFY2(QFile::exists(program), "ondix-run must be built beside the tests");
        QTemporaryDir dir;
        const QString input = dir.path() + "/ball.lb2";
        {
            Grid grid;
            buildChannel(grid);
            auto ball = std::make_unique<SphereShape>(2.3);
            ball->setCentre(Vector3d(7.4, 4.6, 0));
            grid.shapes()->place(grid, grid.shapes()->add(std::move(ball)));
            StateDocument document(grid);
            StateDocument::Panel results;
            results.name = QStringLiteral("results");
            results.write = [](QXmlStreamWriter &w) {
                w.writeAttribute("maxIterations", "40");
                w.writeAttribute("interval", "20");
                w.writeAttribute("simulation", "1");
            };
            results.read = [](QXmlStreamReader &r, QString *) {
                r.skipCurrentElement();
                return true;
            };
            document.setPanels({results});
            QVERIFY(writeFile(input, document.text(2)));
        }

        QProcess process;
        process.start(program, {input});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());

        // The same document run here for the same iterations.
        Grid reference;
        QString error;
        QVERIFY2(StateDocument(reference).load(input, StateDocument::Options(), &error), qPrintable(error));
        QCOMPARE(reference.shapes()->count(), 1);
        reference.step(40);
        const Vector3d force = reference.shapes()->force(0), torque = reference.shapes()->torque(0);
        QVERIFY(std::abs(force.x) > 1e-6);

        const QList<QByteArray> lines = readFile(dir.path() + "/ball-results/simulation.csv").trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QList<QByteArray> header = lines.first().split(',');
        const QList<QByteArray> last = lines.last().split(',');
        QCOMPARE(header.size(), last.size());
        const int fx = header.indexOf("shape1Fx");
        QVERIFY2(fx > 0, lines.first().constData());
        QCOMPARE(header.mid(fx), (QList<QByteArray>{"shape1Fx", "shape1Fy", "shape1Fz", "shape1Tx", "shape1Ty", "shape1Tz"}));
        QCOMPARE(last.first().toInt(), 40);
        const double expected[6] = {force.x, force.y, force.z, torque.x, torque.y, torque.z};
        for (int k = 0; k < 6; ++k) {
            const double written = last[fx + k].toDouble();
            QVERIFY2(std::abs(written - expected[k]) <= 1e-5 * std::abs(expected[k]) + 1e-15,
                     qPrintable(QStringLiteral("%1: %2, expected %3").arg(QString(header[fx + k])).arg(written).arg(expected[k])));
        }

        // The final state holds the shape with its last force.
        Grid final;
        QVERIFY(StateDocument(final).load(dir.path() + "/ball-results/ball-final.lb2", StateDocument::Options()));
        QCOMPARE(final.shapes()->count(), 1);
        QCOMPARE(final.shapes()->force(0).x, force.x);
    }
};

QTEST_GUILESS_MAIN(TestRunnerShapes)
#include "tst_runnershapes.moc"
