#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <utility>
#include <vector>

// The results of the validation cases: a table of measured figures against
// their references, and series for the convergence plots. Writes the report
// as Markdown with the plots' data beside it, and draws the plots with a
// Python script (matplotlib).
class ValidationReport
{
public:
    enum class Limit { Below, AtLeast };

    struct Row
    {
        QString group;
        QString quantity;
        QString measured;
        QString reference;
        double error = 0.0; // what the limit applies to
        Limit kind = Limit::Below;
        double limit = 0.0;
        bool pass = false;
        bool knownFault = false;
    };

    struct Series
    {
        QString label;
        QVector<double> x, y;
    };

    struct Plot
    {
        QString name; // file name without extension
        QString title, xLabel, yLabel;
        bool logX = true, logY = true;
        std::vector<Series> series;
        QString caption;
    };

    // Cases named here are reported as known faults: their failure does not
    // fail the run, and their passing is pointed out.
    void setKnownFaults(const QStringList &groups) { known = groups; }

    // Adds a row; the error passes when below the limit (or at least the
    // limit for AtLeast).
    void add(const QString &group, const QString &quantity, const QString &measured, const QString &reference,
             double error, Limit kind, double limit);
    void addPlot(const Plot &plot) { plots.push_back(plot); }
    void addNote(const QString &note) { notes.append(note); }

    const std::vector<Row> &rows() const { return table; }
    // Rows that failed and are not known faults.
    int failures() const;

    // Writes directory/validation.md and directory/validation/<plot>.csv,
    // then runs the plot script (python3 script directory/validation) for
    // the PNG files; false with a message when a file cannot be written.
    // A missing Python or matplotlib leaves the plots out with a note.
    bool write(const QString &directory, const QString &mode, double seconds, const QString &plotScript,
               QString *error);

    // A least-squares line y = slope x + intercept, with the largest
    // distance of a point from it.
    struct LineFit
    {
        double slope = 0.0, intercept = 0.0, largestResidual = 0.0;
    };
    // NaN slope and intercept with fewer than two distinct x.
    static LineFit line(const QVector<double> &x, const QVector<double> &y);

    // The exponent p of error ~ h^p (h ~ 1 / size) from the last two points.
    static double order(const QVector<double> &sizes, const QVector<double> &errors);
    static QString number(double v, int digits = 3);

private:
    QString markdown(const QString &mode, double seconds, bool plotted) const;

    std::vector<Row> table;
    std::vector<Plot> plots;
    QStringList notes;
    QStringList known;
};
