// The "boundary" element through which inlets and outlets read their
// strategy, with every strategy type accepted; the strategy then feeds the
// fluid from an inlet in a small box.
#include "fuzz_helper.h"

#include "model/latticeboltzmann/boundary/boundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/boundary/strategyelement.h"
#include "model/latticeboltzmann/grid.h"

#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    static const QStringList all = {"zouhe", "equilibrium", "fixed", "extrapolation", "point"};
    QXmlStreamReader reader(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    int cells = 0;
    while (!reader.atEnd() && cells < 16) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != QLatin1String("lattice"))
            continue;
        ++cells;
        Grid &grid = FuzzHelper::smallGrid();
        QString rejection;
        Boundary *strategy = StrategyElement::read(reader, &grid, all, &rejection);
        if (strategy && !rejection.isEmpty())
            std::abort();
        if (!strategy)
            continue;
        // At the left edge, so the strategy finds its face and target.
        grid.setCell(0, 1, 0, new SourceCell(strategy));
        grid.step(3);
    }
    return 0;
}
