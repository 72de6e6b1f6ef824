#include "validationreport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

// A label as one comma-separated field: quoted, with its quotes doubled, so
// a comma inside it does not split the row.
QString csvField(QString text)
{
    return '"' + text.replace('"', QStringLiteral("\"\"")) + '"';
}

} // namespace

void ValidationReport::add(const QString &group, const QString &quantity, const QString &measured,
                           const QString &reference, double error, Limit kind, double limit)
{
    Row r;
    r.group = group;
    r.quantity = quantity;
    r.measured = measured;
    r.reference = reference;
    r.error = error;
    r.kind = kind;
    r.limit = limit;
    r.pass = std::isfinite(error) && (kind == Limit::Below ? error < limit : error >= limit);
    r.knownFault = known.contains(group);
    table.push_back(r);
}

int ValidationReport::failures() const
{
    int n = 0;
    for (const Row &r : table)
        if (!r.pass && !r.knownFault)
            ++n;
    return n;
}

double ValidationReport::order(const QVector<double> &sizes, const QVector<double> &errors)
{
    const int n = sizes.size();
    if (n < 2 || errors.size() != n)
        return 0.0;
    return std::log(errors[n - 2] / errors[n - 1]) / std::log(sizes[n - 1] / sizes[n - 2]);
}

ValidationReport::LineFit ValidationReport::line(const QVector<double> &x, const QVector<double> &y)
{
    LineFit fit;
    const int n = std::min(x.size(), y.size());
    double mx = 0.0, my = 0.0;
    for (int k = 0; k < n; ++k) {
        mx += x[k] / n;
        my += y[k] / n;
    }
    double sxx = 0.0, sxy = 0.0;
    for (int k = 0; k < n; ++k) {
        sxx += (x[k] - mx) * (x[k] - mx);
        sxy += (x[k] - mx) * (y[k] - my);
    }
    if (n < 2 || !(sxx > 0.0)) {
        fit.slope = fit.intercept = fit.largestResidual = NAN;
        return fit;
    }
    fit.slope = sxy / sxx;
    fit.intercept = my - fit.slope * mx;
    for (int k = 0; k < n; ++k)
        fit.largestResidual = std::max(fit.largestResidual, std::abs(y[k] - fit.slope * x[k] - fit.intercept));
    return fit;
}

QString ValidationReport::number(double v, int digits)
{
    if (v == 0.0)
        return QStringLiteral("0");
    const double a = std::abs(v);
    if (a >= 1e-3 && a < 1e4)
        return QString::number(v, 'g', digits);
    return QString::number(v, 'e', digits - 1);
}

QString ValidationReport::markdown(const QString &mode, double seconds, bool plotted) const
{
    QString text;
    QTextStream out(&text);
    out << "# Validation\n\n";
    out << "Written by `ondix-validate` in " << mode << " mode on "
        << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")) << " in " << qRound(seconds)
        << " s. Every case is built from the core library's public interface and compared with an analytic "
           "solution or a published result; the error column is what the limit applies to.\n\n";
    out << "| Case | Quantity | Measured | Reference | Error | Limit | Result |\n";
    out << "|---|---|---|---|---|---|---|\n";
    for (const Row &r : table) {
        const QString limit = (r.kind == Limit::Below ? QStringLiteral("< ") : QStringLiteral("≥ ")) + number(r.limit);
        QString result = r.pass ? QStringLiteral("pass") : QStringLiteral("**fail**");
        if (r.knownFault)
            result += QStringLiteral(" (known fault)");
        out << "| " << r.group << " | " << r.quantity << " | " << r.measured << " | " << r.reference << " | "
            << number(r.error) << " | " << limit << " | " << result << " |\n";
    }
    out << "\n";
    for (const Plot &p : plots) {
        out << "## " << p.title << "\n\n";
        if (!p.caption.isEmpty())
            out << p.caption << "\n\n";
        if (plotted)
            out << "![" << p.title << "](validation/" << p.name << ".png)\n\n";
        else
            out << "The plot was not drawn (see the notes); its data is in `validation/" << p.name << ".csv`.\n\n";
    }
    if (!notes.isEmpty()) {
        out << "## Notes\n\n";
        for (const QString &n : notes)
            out << "- " << n << "\n";
        out << "\n";
    }
    return text;
}

bool ValidationReport::write(const QString &directory, const QString &mode, double seconds, const QString &plotScript,
                             QString *error)
{
    const QDir dir(directory);
    const QString data = dir.filePath(QStringLiteral("validation"));
    if (!QDir().mkpath(data)) {
        if (error)
            *error = QStringLiteral("Cannot create the folder %1").arg(data);
        return false;
    }
    for (const Plot &p : plots) {
        QSaveFile file(QDir(data).filePath(p.name + ".csv"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
            if (error)
                *error = QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        QTextStream out(&file);
        // The first line carries the plot's title, axis labels and scales.
        out << "# " << p.title << ";" << p.xLabel << ";" << p.yLabel << ";" << (p.logX ? "log" : "linear") << ";"
            << (p.logY ? "log" : "linear") << "\n";
        out << "label,x,y\n";
        for (const Series &s : p.series)
            for (int k = 0; k < s.x.size(); ++k)
                out << csvField(s.label) << "," << QString::number(s.x[k], 'g', 17) << "," << QString::number(s.y[k], 'g', 17)
                    << "\n";
        out.flush();
        if (!file.commit()) {
            if (error)
                *error = QStringLiteral("Cannot write %1").arg(file.fileName());
            return false;
        }
    }
    bool plotted = false;
    if (!plots.empty() && QFileInfo::exists(plotScript)) {
        // Debian's Python first: matplotlib comes as its package, and a
        // python3 found earlier on the path may be another installation.
        QString why;
        for (const QString &program : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            if (program.startsWith('/') && !QFileInfo::exists(program))
                continue;
            QProcess python;
            python.start(program, {plotScript, data});
            plotted = python.waitForFinished(120000) && python.exitStatus() == QProcess::NormalExit &&
                      python.exitCode() == 0;
            if (plotted)
                break;
            why = QString::fromUtf8(python.readAllStandardError()).trimmed().section('\n', -1);
            if (why.isEmpty())
                why = python.errorString();
        }
        if (!plotted)
            addNote(QStringLiteral("The plot script failed: %1").arg(why));
    }
    QSaveFile file(dir.filePath(QStringLiteral("validation.md")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    file.write(markdown(mode, seconds, plotted).toUtf8());
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(file.fileName());
        return false;
    }
    return true;
}
