#include "sitegroups.h"

#include "model/latticeboltzmann/boundary/boundary.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <algorithm>
#include <map>

void SiteGroups::number(const QStringList &codes, int width, int height, int length)
{
    nx = width;
    ny = height;
    nz = length;
    const std::size_t n = std::size_t(nx) * ny * nz;
    kinds.assign(n, Other);
    groups.assign(n, 0);
    for (std::size_t s = 0; s < n && s < std::size_t(codes.size()); ++s) {
        const QString &code = codes[int(s)];
        if (code == QLatin1String("s") || code == QLatin1String("."))
            kinds[s] = Source;
        else if (code == QLatin1String("t"))
            kinds[s] = Thermal;
        else if (code == QLatin1String("d"))
            kinds[s] = Drag;
    }
    // What the placed cells of each kind hold: inlets the numbers 0 to 2 in
    // use, thermal walls their largest number, drag walls how many hold
    // each number (a merge can lower the largest).
    int inletsUsing[3] = {0, 0, 0};
    int thermalLargest = -1;
    std::map<int, long long> dragHolding;
    std::vector<std::size_t> dragSites;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                const std::size_t s = (std::size_t(y) * nx + x) * nz + z;
                const Kind kind = Kind(kinds[s]);
                if (kind == Other)
                    continue;
                // The placed neighbours of the same kind, in the grid's
                // order: y offset outermost, then x, then z. A site is
                // placed when it comes before this one in site order.
                // Inlets and thermal walls take the first; drag walls look
                // for a second number too, to merge the two groups.
                int first = -1, second = -1;
                const auto searching = [&] { return kind == Drag ? second < 0 : first < 0; };
                for (int dy = -1; dy <= 1 && searching(); ++dy)
                    for (int dx = -1; dx <= 1 && searching(); ++dx)
                        for (int dz = -1; dz <= 1 && searching(); ++dz) {
                            const int px = x + dx, py = y + dy, pz = z + dz;
                            if (px < 0 || py < 0 || pz < 0 || px >= nx || py >= ny || pz >= nz)
                                continue;
                            const std::size_t t = (std::size_t(py) * nx + px) * nz + pz;
                            if (t >= s || kinds[t] != kind)
                                continue;
                            if (first < 0)
                                first = groups[t];
                            else if (groups[t] != first)
                                second = groups[t];
                        }
                int group = 0;
                if (kind == Source) {
                    group = first;
                    for (int i = 0; i < 3 && group < 0; ++i)
                        if (inletsUsing[i] == 0)
                            group = i;
                    // All three in use: the inlet keeps the number it was
                    // made with.
                    if (group < 0)
                        group = 0;
                    ++inletsUsing[group];
                } else if (kind == Thermal) {
                    group = first >= 0 ? first : thermalLargest + 1;
                    thermalLargest = std::max(thermalLargest, group);
                } else if (first < 0) {
                    group = dragHolding.empty() ? 0 : dragHolding.rbegin()->first + 1;
                } else if (second < 0) {
                    group = first;
                } else {
                    const int keep = std::min(first, second), merged = std::max(first, second);
                    for (std::size_t t : dragSites)
                        if (groups[t] == merged)
                            groups[t] = keep;
                    dragHolding[keep] += dragHolding[merged];
                    dragHolding.erase(merged);
                    group = keep;
                }
                if (kind == Drag) {
                    ++dragHolding[group];
                    dragSites.push_back(s);
                }
                groups[s] = group;
            }
}

void SiteGroups::apply(Grid &grid, int firstRow) const
{
    const SimulationParameters &parameters = *grid.getParameters();
    for (int local = 0; local < grid.getHeight(); ++local) {
        const int y = ((firstRow + local) % ny + ny) % ny;
        for (int x = 0; x < nx; ++x)
            for (int z = 0; z < nz; ++z) {
                const std::size_t s = (std::size_t(y) * nx + x) * nz + z;
                if (kinds[s] == Other)
                    continue;
                BaseCell *cell = grid.getCell(x, local, z);
                const int group = groups[s];
                if (kinds[s] == Source) {
                    if (auto *source = dynamic_cast<SourceCell *>(cell)) {
                        source->setIndex(group);
                        if (Boundary *strategy = source->strategy())
                            strategy->setBoundaryU(parameters.sourceVelocity(group));
                    }
                } else if (kinds[s] == Thermal) {
                    if (auto *thermal = dynamic_cast<ThermalWall *>(cell))
                        thermal->setIndex(group);
                } else if (auto *drag = dynamic_cast<DragWallCell *>(cell)) {
                    drag->setIndex(group);
                }
            }
    }
}
