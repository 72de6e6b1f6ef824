// The "lattice" element of a SourceCell and the children it reads.
#include "fuzz_elements.h"

#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/grid.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzElements::readCells(reinterpret_cast<const char *>(data), int(size),
                            [](Grid &) -> BaseCell * { return new SourceCell; });
    return 0;
}
