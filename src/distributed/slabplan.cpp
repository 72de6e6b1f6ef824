#include "slabplan.h"

#include "model/latticeboltzmann/forces/passivescalarforce.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/immersed/immersedset.h"
#include "model/latticeboltzmann/meltingsolidification/freesurfacesettings.h"
#include "model/latticeboltzmann/moving/particlemanager.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/tracers/scalartracersettings.h"
#include "model/latticeboltzmann/tracers/tracerset.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QStringList>

#include <typeinfo>

bool SlabPlan::plan(const Grid &grid, int slabs, int ghost, QString *error)
{
    std::vector<long long> rowWork(std::size_t(grid.getHeight()), 0);
    grid.forEachCell([&](BaseCell *cell, int, int y, int) {
        if (typeid(*cell) != typeid(NullCell))
            ++rowWork[std::size_t(y)];
    });
    return plan(rowWork, grid.getParameters()->getPeriodicBoundaries(), slabs, ghost, error);
}

bool SlabPlan::plan(const std::vector<long long> &rowWork, bool periodic, int slabs, int ghost, QString *error)
{
    const int ny = int(rowWork.size());
    if (slabs < 1 || ghost < 1 || slabs * ghost > ny) {
        if (error)
            *error = QStringLiteral("A domain %1 rows high cannot be cut into %2 slabs of at least %3 rows each; "
                                    "run it on at most %4 processes.")
                         .arg(ny)
                         .arg(slabs)
                         .arg(ghost)
                         .arg(std::max(1, ny / std::max(1, ghost)));
        return false;
    }
    ghostWidth = ghost;
    rows = ny;
    wraps = periodic;
    long long total = 0;
    for (long long work : rowWork)
        total += work;
    // Each cut lies where the work below it first reaches its share, but
    // leaves every slab at least `ghost` rows, so its ghost rows come from
    // one neighbour.
    first.assign(std::size_t(slabs), 0);
    count.assign(std::size_t(slabs), 0);
    work.assign(std::size_t(slabs), 0);
    int y = 0;
    long long done = 0;
    for (int s = 0; s < slabs; ++s) {
        first[std::size_t(s)] = y;
        const int lowest = y + ghost;
        const int highest = ny - (slabs - 1 - s) * ghost;
        int end = lowest;
        if (s == slabs - 1) {
            end = ny;
        } else {
            const long long share = total * (s + 1) / slabs;
            long long reached = done;
            for (int r = y; r < lowest; ++r)
                reached += rowWork[std::size_t(r)];
            while (end < highest && reached + rowWork[std::size_t(end)] <= share)
                reached += rowWork[std::size_t(end++)];
        }
        for (int r = y; r < end; ++r)
            done += rowWork[std::size_t(r)];
        count[std::size_t(s)] = end - y;
        long long mine = 0;
        for (int r = y; r < end; ++r)
            mine += rowWork[std::size_t(r)];
        work[std::size_t(s)] = mine;
        y = end;
    }
    return true;
}

int SlabPlan::ghostRows(const Grid &grid)
{
    if (!grid.getParameters()->getForces().isEmpty())
        return ghostRows(true, false);
    bool plain = true;
    grid.forEachCell([&](BaseCell *cell, int, int, int) {
        const std::type_info &kind = typeid(*cell);
        if (!PlainSite::isPlainFluid(cell) && kind != typeid(WallCell) && kind != typeid(NullCell))
            plain = false;
    });
    return ghostRows(false, plain);
}

int SlabPlan::below(int slab) const
{
    if (slab > 0)
        return slab - 1;
    return wraps && slabCount() > 1 ? slabCount() - 1 : -1;
}

int SlabPlan::above(int slab) const
{
    if (slab + 1 < slabCount())
        return slab + 1;
    return wraps && slabCount() > 1 ? 0 : -1;
}

QString SlabPlan::unsupported(const Grid &grid)
{
    return unsupported(grid, {});
}

QString SlabPlan::unsupported(const Grid &grid, const QStringList &unreadSections)
{
    QStringList found;
    // Elements of the document the rows read could not restore name what
    // they hold.
    const std::pair<const char *, const char *> kinds[] = {{"particleManager", "moving particles"},
                                                           {"immersedBoundary", "immersed bodies"},
                                                           {"particles", "tracers"},
                                                           {"freeSurface", "free surface or melting"},
                                                           {"passivescalarsingleton", "coloured scalar sources"}};
    for (const auto &kind : kinds)
        if (unreadSections.contains(QLatin1String(kind.first)))
            found << QString::fromLatin1(kind.second);
    const auto add = [&found](const QString &what) {
        if (!found.contains(what))
            found << what;
    };
    if (!grid.getParticleManager()->isEmpty())
        add(QStringLiteral("moving particles"));
    if (!grid.getImmersed()->isEmpty())
        add(QStringLiteral("immersed bodies"));
    if (!grid.getTracers()->regions().isEmpty() || !grid.getTracers()->emitters().empty())
        add(QStringLiteral("tracers"));
    if (grid.getParameters()->getMeltingFlag() || !grid.getMeltingController()->isIdle())
        add(QStringLiteral("free surface or melting"));
    if (grid.shapes()->count() > 0)
        found << QStringLiteral("shapes");
    if (grid.getScalarTracers()->colourCount() > 0)
        add(QStringLiteral("coloured scalar sources"));
    for (Force *force : grid.getParameters()->getForces())
        if (dynamic_cast<PassiveScalarForce *>(force)) {
            found << QStringLiteral("a coloured scalar force");
            break;
        }
    if (found.isEmpty())
        return QString();
    return QStringLiteral("This document uses %1, which a run on several processes does not support yet; "
                          "run it on one process.")
        .arg(found.join(QStringLiteral(", ")));
}

std::vector<long long> SlabPlan::toNumbers() const
{
    std::vector<long long> numbers{slabCount(), ghostWidth, rows, wraps ? 1 : 0};
    for (int s = 0; s < slabCount(); ++s) {
        numbers.push_back(first[std::size_t(s)]);
        numbers.push_back(count[std::size_t(s)]);
        numbers.push_back(work[std::size_t(s)]);
    }
    return numbers;
}

bool SlabPlan::fromNumbers(const std::vector<long long> &numbers)
{
    if (numbers.size() < 4 || numbers[0] < 1 || numbers.size() != std::size_t(4 + 3 * numbers[0]))
        return false;
    const int slabs = int(numbers[0]);
    ghostWidth = int(numbers[1]);
    rows = int(numbers[2]);
    wraps = numbers[3] != 0;
    first.assign(std::size_t(slabs), 0);
    count.assign(std::size_t(slabs), 0);
    work.assign(std::size_t(slabs), 0);
    int next = 0;
    for (int s = 0; s < slabs; ++s) {
        first[std::size_t(s)] = int(numbers[std::size_t(4 + 3 * s)]);
        count[std::size_t(s)] = int(numbers[std::size_t(5 + 3 * s)]);
        work[std::size_t(s)] = numbers[std::size_t(6 + 3 * s)];
        if (first[std::size_t(s)] != next || count[std::size_t(s)] < ghostWidth)
            return false;
        next += count[std::size_t(s)];
    }
    return next == rows && ghostWidth >= 1;
}
