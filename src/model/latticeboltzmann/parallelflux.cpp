#include "parallelflux.h"

#include "grid.h"

void ParallelFlux::operator()(const int &y) const
{
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    for (int x = 0; x < nx; ++x) {
        // Every z of a column carries the value of the cell at z = 0.
        const Vector3d v = grid->fluxAt(x, y);
        for (int z = 0; z < nz; ++z)
            (*target)[std::size_t((z * ny + y) * nx + x)] = v;
    }
}
