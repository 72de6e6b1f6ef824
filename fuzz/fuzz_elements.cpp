#include "fuzz_elements.h"

#include "fuzz_helper.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QXmlStreamReader>

namespace FuzzElements {

void readCells(const char *data, int size, BaseCell *(*make)(Grid &grid))
{
    FuzzHelper::ensureApplication();
    QXmlStreamReader reader(QByteArray::fromRawData(data, size));
    int cells = 0;
    while (!reader.atEnd() && cells < 16) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != QLatin1String("lattice"))
            continue;
        ++cells;
        Grid &grid = FuzzHelper::smallGrid();
        BaseCell *cell = make(grid);
        cell->activate(reader, &grid);
        // The read cell in the middle of a small box, stepped a few times
        // (its body and strategy act on the fluid around it).
        grid.setCell(1, 1, 0, cell);
        grid.step(3);
        BaseCell *copy = cell->clone(*grid.getParameters());
        delete copy;
    }
}

} // namespace FuzzElements
