#include "batch_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

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
    StateDocument document(grid);
    StateDocument::Panel panel;
    panel.name = QStringLiteral("results");
    panel.write = [results](QXmlStreamWriter &w) {
        for (const auto &a : results)
            w.writeAttribute(a.first, a.second);
    };
    panel.read = [](QXmlStreamReader &r, QString *) {
        r.skipCurrentElement();
        return true;
    };
    document.setPanels({panel});
    return document.text(2);
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
