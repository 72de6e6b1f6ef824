#pragma once

#include <QByteArray>
#include <QString>

class Grid;

// Shared by the fuzz targets: a Qt application object for the image
// plugins, a scratch folder, and a small grid set up once per process.
namespace FuzzHelper {

void ensureApplication();
// A path in the process's scratch folder.
QString scratchPath(const QString &name);
// Writes bytes to a scratch file and returns its path.
QString writeScratch(const QString &name, const QByteArray &bytes);
// A fresh 3 x 3 D2Q9 grid of plain fluid, owned by the helper.
Grid &smallGrid();

} // namespace FuzzHelper
