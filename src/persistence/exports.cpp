#include "exports.h"

// Placeholder bodies until the exporters are built.

static bool notBuilt(QString *error)
{
    if (error)
        *error = QStringLiteral("Exports are not supported yet.");
    return false;
}

bool Exports::exportVtk(Grid &, const QString &, QString *error)
{
    return notBuilt(error);
}

bool Exports::writeCellTable(int, int, int, Grid &, const QString &, QString *error)
{
    return notBuilt(error);
}

bool Exports::appendTimeSeries(Grid &, const QString &, QString *error)
{
    return notBuilt(error);
}
