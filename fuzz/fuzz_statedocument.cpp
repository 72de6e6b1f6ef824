// Whole version-2 state documents, plain or compressed: a load gives a grid
// or a message, never a crash, and a loaded grid saves to a document that
// loads back to the same text.
#include "fuzz_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    const QString path =
        FuzzHelper::writeScratch("document.lb2", QByteArray(reinterpret_cast<const char *>(data), int(size)));
    StateDocument::Options options;
    options.memoryLimit = qint64(64) << 20;
    Grid grid;
    StateDocument document(grid);
    QString error;
    if (!document.load(path, options, &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    const QByteArray text = document.text(2);
    const QString again = FuzzHelper::scratchPath("again.lb2");
    if (!document.save(again, options, &error))
        std::abort();
    Grid other;
    StateDocument reread(other);
    if (!reread.load(again, options, &error) || reread.text(2) != text)
        std::abort();
    return 0;
}
