// The "lattice" element of a MovingCell and the children it reads.
#include "fuzz_elements.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/moving/movingcell.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzElements::readCells(reinterpret_cast<const char *>(data), int(size),
                            [](Grid &grid) -> BaseCell * { return new MovingCell(1.0, 0, &grid); });
    return 0;
}
