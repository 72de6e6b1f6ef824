// PNG geometry: one colour-coded layer, read with both colour tables.
#include "fuzz_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/geometryfiles.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    // Large images only cost time: the size limits are tested on their own.
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader probe(&buffer, "png");
    const QSize header = probe.size();
    if (header.isValid() && qint64(header.width()) * header.height() > 4096)
        return 0;
    const QString path = FuzzHelper::writeScratch("fuzz.png", bytes);
    for (bool korner : {false, true}) {
        Grid &grid = FuzzHelper::smallGrid();
        QString error;
        if (GeometryFiles::load(grid, path, korner, &error)) {
            if (grid.getLength() != 1 || grid.siteCount() > 4096)
                std::abort();
            grid.step(1);
        } else if (error.isEmpty() || grid.getWidth() != 3) {
            std::abort();
        }
    }
    return 0;
}
