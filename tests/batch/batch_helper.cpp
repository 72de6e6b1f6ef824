#include "batch_helper.h"

#include "document_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <QFile>

void buildChannel(Grid &grid)
{
    const int nx = 20, ny = 10;
    grid.resize(nx, ny, 1);
    grid.fillRegion("w", 0, nx - 1, 0, 0, 0, 0);
    grid.fillRegion("w", 0, nx - 1, ny - 1, ny - 1, 0, 0);
    grid.fillRegion("s", 0, 0, 1, ny - 2, 0, 0);
    grid.fillRegion("o", nx - 1, nx - 1, 1, ny - 2, 0, 0);
    grid.resetAll();
}

QByteArray channelDocument(const QList<QPair<QString, QString>> &results)
{
    Grid grid;
    buildChannel(grid);
    return resultsDocument(grid, results);
}

QByteArray limitedDocument(int maxIterations)
{
    return channelDocument({{"maxIterations", QString::number(maxIterations)},
                            {"interval", "10"},
                            {"vp", "1"},
                            {"simulation", "1"}});
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int documentIterations(const QString &path)
{
    Grid grid;
    if (!StateDocument(grid).load(path, StateDocument::Options()))
        return -1;
    return grid.getStatistics().iterations;
}

int lineCount(const QString &path)
{
    return readFile(path).count('\n');
}
