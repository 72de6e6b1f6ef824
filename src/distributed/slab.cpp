#include "slab.h"

#include "rowstate.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

Slab::Slab(const SlabPlan &plan, int index) : plan(plan), slab(index) {}

bool Slab::build(Grid &grid, const Grid &whole, QString *error) const
{
    // The parameters as the document stores them, forces included (a force
    // cannot be copied, only written and read).
    const SimulationParameters &from = *whole.getParameters();
    QByteArray config;
    {
        QBuffer buffer(&config);
        buffer.open(QIODevice::WriteOnly);
        QXmlStreamWriter writer(&buffer);
        writer.writeStartElement("config");
        from.passivate(writer);
        writer.writeEndElement();
    }
    SimulationParameters read(nullptr);
    read.copyPersistedFrom(from);
    QXmlStreamReader reader(config);
    reader.readNextStartElement();
    QString why;
    if (!read.activate(reader, &why)) {
        if (error)
            *error = QStringLiteral("the parameters cannot be copied into a slab: %1").arg(why);
        return false;
    }
    SimulationParameters &p = *grid.getParameters();
    p.copyPersistedFrom(read);
    p.takeForcesFrom(read);
    p.setMulticore(from.getMulticore());
    *grid.getScales() = *whole.getScales();

    const int below = plan.ghostBelow(slab), above = plan.ghostAbove(slab);
    grid.resize(whole.getWidth(), rowCount() + below + above, whole.getLength());
    // Rows of the whole domain, the ghost rows wrapped around its edges.
    const int ny = whole.getHeight();
    for (int local = 0; local < grid.getHeight(); ++local) {
        const int y = ((firstRow() - below + local) % ny + ny) % ny;
        if (!RowState::unpack(grid, local, RowState::pack(whole, y, 1), error))
            return false;
    }
    grid.getStatistics() = whole.getStatistics();
    // The run's limits are tested on the whole domain's statistics, by
    // whoever drives the slabs; a slab steps whenever it is told to.
    p.setMaxIterations(0);
    p.setStopWhen(0.0);
    p.setNeedsNeighbourRebuild(true);
    return true;
}

QByteArray Slab::lowerEdge(const Grid &grid) const
{
    return RowState::pack(grid, plan.ghostBelow(slab), plan.ghost());
}

QByteArray Slab::upperEdge(const Grid &grid) const
{
    return RowState::pack(grid, plan.ghostBelow(slab) + rowCount() - plan.ghost(), plan.ghost());
}

bool Slab::fillLowerGhosts(Grid &grid, const QByteArray &edge, QString *error) const
{
    return RowState::unpack(grid, 0, edge, error);
}

bool Slab::fillUpperGhosts(Grid &grid, const QByteArray &edge, QString *error) const
{
    return RowState::unpack(grid, plan.ghostBelow(slab) + rowCount(), edge, error);
}

QByteArray Slab::ownRows(const Grid &grid) const
{
    return RowState::pack(grid, plan.ghostBelow(slab), rowCount());
}

void Slab::rowSums(const Grid &grid, std::vector<double> &sums) const
{
    sums.resize(std::size_t(2 * rowCount()));
    for (int r = 0; r < rowCount(); ++r) {
        sums[std::size_t(2 * r)] = grid.rowDeltaPSum(plan.ghostBelow(slab) + r);
        sums[std::size_t(2 * r + 1)] = grid.rowTotalPSum(plan.ghostBelow(slab) + r);
    }
}

void Slab::combineRowSums(const std::vector<double> &sums, SimulationStats &stats)
{
    stats.deltaP = 0.0;
    stats.totalP = 0.0;
    for (std::size_t r = 0; r + 1 < sums.size(); r += 2) {
        stats.deltaP += sums[r];
        stats.totalP += sums[r + 1];
    }
    stats.deltaP = stats.fluidCells > 0 ? stats.deltaP / stats.fluidCells : 0.0;
}
