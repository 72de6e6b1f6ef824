#include "seedgenerator.h"

#include "nextcellevalutor.h"
#include "streamlinealgorithm.h"

#include "model/latticeboltzmann/grid.h"

#include <algorithm>

SeedGenerator::SeedGenerator(Grid &grid, StreamLineAlgorithm *chosen)
    : StreamLineGenerator(grid), algorithm(chosen ? chosen : new NextCellEvalutor)
{
    for (const char *name : {"minx", "miny", "minz", "maxx", "maxy", "maxz"})
        props[QLatin1String(name)] = QStringLiteral("0");
    props[QStringLiteral("spacing")] = QStringLiteral("10");
    props[QStringLiteral("forward")] = QStringLiteral("100");
    props[QStringLiteral("backward")] = QStringLiteral("100");
    props[QStringLiteral("eulerIntegrationStep")] = QStringLiteral("1");
}

SeedGenerator::~SeedGenerator() = default;

void SeedGenerator::changeProperty(const QString &name, const QString &value)
{
    StreamLineGenerator::changeProperty(name, value);
    if (name != QLatin1String("eulerIntegrationStep"))
        return;
    bool ok = false;
    const double step = value.toDouble(&ok);
    if (ok && step > 0)
        algorithm->setStep(step);
}

QVector<StreamLine> SeedGenerator::generate()
{
    auto number = [this](const char *name) { return props.value(QLatin1String(name)).toInt(); };
    const int spacing = number("spacing");
    const int forward = number("forward");
    const int backward = number("backward");
    const int lower[3] = {number("minx"), number("miny"), number("minz")};
    const int sizes[3] = {grid.getWidth(), grid.getHeight(), grid.getLength()};
    int upper[3] = {number("maxx"), number("maxy"), number("maxz")};
    for (int a = 0; a < 3; ++a)
        if (upper[a] == 0)
            upper[a] = sizes[a];
    QVector<StreamLine> lines;
    // A spacing below 1 would never advance: it counts as 1.
    const int step = std::max(1, spacing);
    for (int x = lower[0]; x <= upper[0]; x += step)
        for (int y = lower[1]; y <= upper[1]; y += step)
            for (int z = lower[2]; z <= upper[2]; z += step) {
                // The line runs with the flow: the points traced backwards
                // from the seed come first, in reverse.
                StreamLine line;
                Vector3d p(x, y, z);
                for (int i = 0; i < backward; ++i) {
                    p = algorithm->previous(p, grid);
                    line.append(p);
                }
                std::reverse(line.begin(), line.end());
                p = Vector3d(x, y, z);
                line.append(p);
                for (int i = 0; i < forward; ++i) {
                    p = algorithm->next(p, grid);
                    line.append(p);
                }
                lines.append(line);
            }
    return lines;
}
