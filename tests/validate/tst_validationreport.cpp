#include "validate/validationreport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestValidationReport : public QObject
{
    Q_OBJECT

private slots:
    // Rows pass by their limits; a failing row fails the run unless its
    // case is a known fault, and a missing number never passes.
    void verdicts()
    {
        ValidationReport report;
        report.setKnownFaults({"Known"});
        report.add("A", "small error", "1e-12", "0", 1e-12, ValidationReport::Limit::Below, 1e-10);
        report.add("A", "order", "1.9", "2", 1.9, ValidationReport::Limit::AtLeast, 1.8);
        report.add("A", "order too low", "1.2", "2", 1.2, ValidationReport::Limit::AtLeast, 1.8);
        report.add("Known", "offset", "0.025", "0", 0.025, ValidationReport::Limit::Below, 1e-6);
        report.add("B", "not run", "not run", "1", NAN, ValidationReport::Limit::Below, 0.01);
        const auto &rows = report.rows();
        QCOMPARE(int(rows.size()), 5);
        QVERIFY(rows[0].pass && rows[1].pass);
        QVERIFY(!rows[2].pass && !rows[3].pass && !rows[4].pass);
        QVERIFY(rows[3].knownFault && !rows[2].knownFault);
        QCOMPARE(report.failures(), 2);
        // Errors 4x smaller at twice the size: second order.
        QCOMPARE(ValidationReport::order({8, 16, 32}, {1.0, 0.25, 0.0625}), 2.0);
    }

    // The least-squares line through points off a known line by +-e has
    // that line's slope and intercept and a largest residual of e; a single
    // abscissa has no line.
    void lineFit()
    {
        const ValidationReport::LineFit exact = ValidationReport::line({1, 2, 3, 4}, {3.5, 5.5, 7.5, 9.5});
        QCOMPARE(exact.slope, 2.0);
        QCOMPARE(exact.intercept, 1.5);
        QVERIFY(exact.largestResidual < 1e-14);
        // Residuals +e, -e, -e, +e are orthogonal to 1 and x: same line.
        const double e = 0.1;
        const ValidationReport::LineFit noisy = ValidationReport::line({1, 2, 3, 4}, {3.5 + e, 5.5 - e, 7.5 - e, 9.5 + e});
        QVERIFY(std::abs(noisy.slope - 2.0) < 1e-14 && std::abs(noisy.intercept - 1.5) < 1e-14);
        QVERIFY(std::abs(noisy.largestResidual - e) < 1e-14);
        QVERIFY(std::isnan(ValidationReport::line({2, 2}, {1, 3}).slope));
        QVERIFY(std::isnan(ValidationReport::line({2}, {1}).slope));
    }

    // The report, the plots' data and, where Debian's Python has
    // matplotlib, the plots; a missing plot script leaves a note and the
    // data.
    void writesReportAndPlots()
    {
        QTemporaryDir dir;
        ValidationReport report;
        report.add("Case", "figure", "1.5", "1.5", 0.0, ValidationReport::Limit::Below, 0.01);
        ValidationReport::Plot plot;
        plot.name = "convergence";
        plot.title = "Convergence";
        plot.xLabel = "n";
        plot.yLabel = "error";
        // A label with a comma stays one field of the table.
        plot.series.push_back({"errors, linear", {8, 16, 32}, {1e-2, 2.5e-3, 6.25e-4}});
        report.addPlot(plot);
        QString error;
        const QString script = QDir(qEnvironmentVariable("ONDIX_SOURCE_DIR")).filePath("src/validate/plots.py");
        QVERIFY2(report.write(dir.path(), "quick", 1.0, dir.filePath("none.py"), &error), qPrintable(error));
        QFile md(dir.filePath("validation.md"));
        QVERIFY(md.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(md.readAll());
        QVERIFY(text.contains("| Case | figure | 1.5 | 1.5 | 0 | < 0.01 | pass |"));
        QVERIFY(text.contains("validation/convergence.csv"));
        QFile csv(dir.filePath("validation/convergence.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("# Convergence;n;error;log;log"));
        QCOMPARE(lines[2], QString("\"errors, linear\",8,0.01"));
        if (QFile::exists("/usr/bin/python3") && QFile::exists(script)) {
            ValidationReport again;
            again.addPlot(plot);
            QVERIFY(again.write(dir.path(), "quick", 1.0, script, &error));
            QFile drawn(dir.filePath("validation/convergence.png"));
            QVERIFY(drawn.open(QIODevice::ReadOnly));
            QVERIFY(drawn.read(8).startsWith("\x89PNG"));
            QFile linked(dir.filePath("validation.md"));
            QVERIFY(linked.open(QIODevice::ReadOnly));
            QVERIFY(linked.readAll().contains("(validation/convergence.png)"));
        }
        // An unwritable folder is a clear failure, not a silent one.
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!report.write(dir.filePath("file/sub"), "quick", 1.0, script, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestValidationReport)
#include "tst_validationreport.moc"
