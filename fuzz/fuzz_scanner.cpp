// Differential: a version-2 state document read with the fast cell scanner
// and read with the general XML reader alone must give the same answer: both
// refuse it, or both load the same grid.
#include "fuzz_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The document text of the loaded grid, or empty when the load refused.
QByteArray loaded(const QString &path, bool scan)
{
    // Cells a load converts draw their density; every new grid's generator
    // starts from the same seed, so both reads draw the same.
    Grid grid;
    StateDocument document(grid);
    StateDocument::Options options;
    options.memoryLimit = qint64(64) << 20;
    options.scanCells = scan;
    QString error;
    if (!document.load(path, options, &error)) {
        if (error.isEmpty())
            std::abort();
        return QByteArray();
    }
    return document.text(2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    const QString path =
        FuzzHelper::writeScratch("scanner.lb2", QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QByteArray scanned = loaded(path, true);
    const QByteArray general = loaded(path, false);
    if (scanned != general) {
        std::fprintf(stderr, "the cell scanner %s what the general reader %s\n",
                     scanned.isEmpty() ? "refuses" : "loads", general.isEmpty() ? "refuses" : "loads differently");
        std::abort();
    }
    return 0;
}
