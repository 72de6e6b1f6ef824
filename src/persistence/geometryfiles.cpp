#include "geometryfiles.h"

// Placeholder bodies until the geometry readers and writers are built.

static bool notBuilt(QString *error)
{
    if (error)
        *error = QStringLiteral("Geometry files are not supported yet.");
    return false;
}

bool GeometryFiles::loadImageGeometry(Grid &, const QString &, const QString &, QString *error)
{
    return notBuilt(error);
}

bool GeometryFiles::loadTextGeometry(Grid &, const QString &, QString *error)
{
    return notBuilt(error);
}

bool GeometryFiles::load(Grid &, const QString &, bool, QString *error)
{
    return notBuilt(error);
}

bool GeometryFiles::saveGeometryImage(const Grid &, const QString &, int, QString *error)
{
    return notBuilt(error);
}

QString GeometryFiles::layerFileName(const QString &path, int layer)
{
    return path.left(path.size() - 4) + "_" + QString::number(layer + 1) + path.right(4);
}

bool GeometryFiles::convertLbToLb2(const QString &, QString *error)
{
    return notBuilt(error);
}

bool GeometryFiles::convertLb2ToLb(const QString &, QString *error)
{
    return notBuilt(error);
}
