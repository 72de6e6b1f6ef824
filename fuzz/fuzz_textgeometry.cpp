// Text geometry (".txt", ".lb"): width, height, length, then inlets,
// outlets and walls as counted position triples.
#include "fuzz_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/geometryfiles.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    // Domains beyond a few thousand sites only cost time: the size limits
    // are tested on their own.
    const std::string text(reinterpret_cast<const char *>(data), size);
    char *at = const_cast<char *>(text.c_str());
    long long product = 1;
    for (int k = 0; k < 3; ++k) {
        char *next = nullptr;
        const long long v = std::strtoll(at, &next, 10);
        if (next == at)
            break;
        if (v > 4096 || v < -4096)
            return 0;
        product *= v > 0 ? v : 1;
        at = next;
    }
    if (product > 4096)
        return 0;
    const QString path =
        FuzzHelper::writeScratch("fuzz.txt", QByteArray(reinterpret_cast<const char *>(data), int(size)));
    Grid &grid = FuzzHelper::smallGrid();
    QString error;
    if (GeometryFiles::load(grid, path, false, &error)) {
        if (grid.siteCount() < 1 || grid.siteCount() > 4096)
            std::abort();
        grid.step(1);
    } else if (error.isEmpty() || grid.getWidth() != 3) {
        // A refused file leaves the grid as it was and says why.
        std::abort();
    }
    return 0;
}
