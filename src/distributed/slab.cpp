#include "slab.h"

#include "rowstate.h"

#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "persistence/parametersxml.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

Slab::Slab(const SlabPlan &plan, int index) : plan(plan), slab(index) {}

QByteArray Slab::parameters(const Grid &whole)
{
    // As the document stores them, forces included: a force cannot be
    // copied, only written and read.
    QByteArray config;
    QBuffer buffer(&config);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    writer.writeStartElement("config");
    ParametersXml::write(writer, *whole.getParameters());
    writer.writeEndElement();
    return config;
}

QByteArray Slab::rows(const Grid &whole) const
{
    const int ny = whole.getHeight();
    QByteArray bytes;
    for (int local = 0; local < windowRowCount(); ++local)
        bytes += RowState::pack(whole, ((windowFirstRow() + local) % ny + ny) % ny, 1);
    return bytes;
}

bool Slab::build(Grid &grid, const Grid &whole, QString *error) const
{
    if (!build(grid, parameters(whole), whole.getWidth(), whole.getLength(), rows(whole), error))
        return false;
    grid.getParameters()->setMulticore(whole.getParameters()->getMulticore());
    grid.getStatistics() = whole.getStatistics();
    return true;
}

bool Slab::takeParameters(Grid &grid, const QByteArray &parameters, QString *error)
{
    SimulationParameters &p = *grid.getParameters();
    SimulationParameters read(nullptr);
    read.copyPersistedFrom(p);
    QXmlStreamReader reader(parameters);
    reader.readNextStartElement();
    QString why;
    if (!ParametersXml::read(reader, read, &why)) {
        if (error)
            *error = QStringLiteral("the parameters cannot be copied into a slab: %1").arg(why);
        return false;
    }
    p.copyPersistedFrom(read);
    p.takeForcesFrom(read);
    return true;
}

void Slab::leaveLimits(Grid &grid)
{
    // The run's limits are tested on the whole domain's statistics, by
    // whoever drives the slabs; a slab steps whenever it is told to.
    SimulationParameters &p = *grid.getParameters();
    p.setMaxIterations(0);
    p.setStopWhen(0.0);
    p.setNeedsNeighbourRebuild(true);
}

bool Slab::build(Grid &grid, const QByteArray &parameters, int width, int length, const QByteArray &rows,
                 QString *error) const
{
    int rowsRead = 0;
    return prepare(grid, parameters, width, length, error) && RowState::unpack(grid, 0, rows, error, &rowsRead) &&
           finish(grid, rowsRead, error);
}

bool Slab::prepare(Grid &grid, const QByteArray &parameters, int width, int length, QString *error) const
{
    if (!takeParameters(grid, parameters, error))
        return false;
    grid.resize(width, windowRowCount(), length);
    return true;
}

bool Slab::finish(Grid &grid, int rowsRead, QString *error) const
{
    if (rowsRead != grid.getHeight()) {
        if (error)
            *error = QStringLiteral("a slab of %1 rows got %2").arg(grid.getHeight()).arg(rowsRead);
        return false;
    }
    leaveLimits(grid);
    return true;
}

bool Slab::adopt(Grid &grid, QString *error) const
{
    if (grid.getHeight() != windowRowCount()) {
        if (error)
            *error = QStringLiteral("a slab of %1 rows got %2").arg(windowRowCount()).arg(grid.getHeight());
        return false;
    }
    // Through the same document element as a slab built from rows, so every
    // process's parameters are alike.
    if (!takeParameters(grid, parameters(grid), error))
        return false;
    leaveLimits(grid);
    return true;
}

namespace {

// The first byte of an edge: how the rest holds the rows.
constexpr char WholeState = 's', CrossingOnly = 'c';

} // namespace

bool Slab::populationsSuffice(const Grid &grid) const
{
    return plan.ghost() == 1 && grid.getParameters()->getForces().isEmpty();
}

QByteArray Slab::edge(const Grid &grid, int firstRow, int towards) const
{
    // A ghost row of plain fluid among plain walls steps exactly as the row
    // it mirrors, from the same state: what the rows it touches push into
    // it, and what it pushes along itself, its own step gives it. Only what
    // the mirrored row's other neighbours push into it, the populations
    // moving towards the receiver, must come across.
    QByteArray crossing;
    if (populationsSuffice(grid) &&
        RowState::packCrossing(grid, firstRow, towards, grid.getParameters()->getMulticore(), crossing))
        return CrossingOnly + crossing;
    // Under forces, or with several ghost rows, a ghost site of plain fluid
    // needs every current population (the densities a force reads of its
    // neighbours); its shift and next populations its own step forms from
    // them before anything reads them. A heat cell likewise needs only its
    // current fluid and scalar populations, a mixture its components' and a
    // colour-gradient cell its red and blue ones. Other cells go whole.
    return WholeState + RowState::pack(grid, firstRow, plan.ghost(), true);
}

bool Slab::fillGhosts(Grid &grid, int firstRow, int towards, const QByteArray &edge, QString *error) const
{
    // The rest without a copy: edge outlives it.
    const QByteArray rest = QByteArray::fromRawData(edge.constData() + 1, std::max(0, edge.size() - 1));
    if (edge.startsWith(CrossingOnly))
        return RowState::unpackCrossing(grid, firstRow, towards, rest, grid.getParameters()->getMulticore(), error);
    if (edge.startsWith(WholeState))
        return RowState::unpack(grid, firstRow, rest, error);
    if (error)
        *error = QStringLiteral("an edge of %1 bytes in no known form").arg(edge.size());
    return false;
}

QByteArray Slab::lowerEdge(const Grid &grid) const
{
    return edge(grid, plan.ghostBelow(slab), -1);
}

QByteArray Slab::upperEdge(const Grid &grid) const
{
    return edge(grid, plan.ghostBelow(slab) + rowCount() - plan.ghost(), 1);
}

bool Slab::fillLowerGhosts(Grid &grid, const QByteArray &edge, QString *error) const
{
    return fillGhosts(grid, 0, 1, edge, error);
}

bool Slab::fillUpperGhosts(Grid &grid, const QByteArray &edge, QString *error) const
{
    return fillGhosts(grid, plan.ghostBelow(slab) + rowCount(), -1, edge, error);
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

void Slab::addDrag(const Grid &grid, QMap<int, Vector3d> &drag) const
{
    const int below = plan.ghostBelow(slab);
    for (int y = below; y < below + rowCount(); ++y)
        for (int x = 0; x < grid.getWidth(); ++x)
            for (int z = 0; z < grid.getLength(); ++z)
                if (auto *d = dynamic_cast<DragWallCell *>(PassiveScalarCell::innerOf(grid.getCell(x, y, z))))
                    drag[d->index()] += d->dragContribution(const_cast<Grid *>(&grid), x, y, z);
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
