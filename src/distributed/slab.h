#pragma once

#include "slabplan.h"

#include "model/latticeboltzmann/vector3d.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <vector>

class Grid;
struct SimulationStats;

// One process's part of the domain: a grid of its own rows of the whole
// domain and the ghost rows of its neighbours around them, stepped by the
// grid's own stepping. Before every iteration the ghost rows take the state
// of the neighbours' edge rows: where plain fluid steps among plain walls
// only the populations the neighbour's other rows pushed into them, else of
// plain fluid, heat, mixture and colour-gradient cells their current
// populations and of other cells their whole state, the ghost sites' own
// step giving them the rest.
// Along the cut the slab grid is not periodic in effect: its interior rows
// reach no further than its ghost rows, which the neighbours (across the
// domain's edge, where it is periodic) refresh.
class Slab
{
public:
    Slab(const SlabPlan &plan, int index);

    // Makes `grid` this slab of the whole domain `whole`: the parameters
    // and forces of whole, the rows of the slab and its ghost rows, and
    // whole's statistics. False with a message when a row cannot be copied.
    bool build(Grid &grid, const Grid &whole, QString *error) const;
    // The same in two halves, for a slab built by another process than the
    // one holding the whole domain: what whole hands over (its parameters
    // as their document element, and the slab's rows with its ghost rows,
    // wrapped round the domain's edges where it is periodic) ...
    static QByteArray parameters(const Grid &whole);
    QByteArray rows(const Grid &whole) const;
    // ... and the slab made from it, of the whole domain's width and length.
    bool build(Grid &grid, const QByteArray &parameters, int width, int length, const QByteArray &rows,
               QString *error) const;
    // The same with the rows arriving in pieces: the parameters and the
    // slab's size first, then each piece unpacked (RowState::unpack) from
    // the row after the last, then the check that every row came.
    bool prepare(Grid &grid, const QByteArray &parameters, int width, int length, QString *error) const;
    bool finish(Grid &grid, int rowsRead, QString *error) const;
    // The rows of the whole domain the slab grid holds, ghost rows
    // included: the first (negative, or past the domain, where the slab's
    // ghost rows wrap round a periodic domain; taken modulo the height) and
    // their number.
    int windowFirstRow() const { return firstRow() - plan.ghostBelow(slab); }
    int windowRowCount() const { return rowCount() + plan.ghostBelow(slab) + plan.ghostAbove(slab); }
    // Makes a grid that holds just those rows of a document, read in
    // place, this slab, as build makes it from the same rows; false with a
    // message when it holds other rows.
    bool adopt(Grid &grid, QString *error) const;

    int index() const { return slab; }
    // The first and the number of the slab's own rows, in the whole domain.
    int firstRow() const { return plan.firstRow(slab); }
    int rowCount() const { return plan.rowCount(slab); }
    // The row of the slab grid that holds row y of the whole domain.
    int localRow(int y) const { return y - firstRow() + plan.ghostBelow(slab); }

    // The state of the own rows the slab below (lower) or above (upper)
    // takes as its ghost rows.
    QByteArray lowerEdge(const Grid &grid) const;
    QByteArray upperEdge(const Grid &grid) const;
    // Puts the edge the slab below sent into the ghost rows under the own
    // rows, and the one the slab above sent into those over them.
    bool fillLowerGhosts(Grid &grid, const QByteArray &edge, QString *error) const;
    bool fillUpperGhosts(Grid &grid, const QByteArray &edge, QString *error) const;
    // The own rows, for putting the whole domain together.
    QByteArray ownRows(const Grid &grid) const;
    // The deltaP and density sums of the own rows of the last iteration, in
    // row order, two values per row, as the step sums them.
    void rowSums(const Grid &grid, std::vector<double> &sums) const;
    // Adds the drag of the own rows' drag walls to drag, site by site, as
    // Grid::computeDrag adds it over the whole domain: the slabs below have
    // added theirs.
    void addDrag(const Grid &grid, QMap<int, Vector3d> &drag) const;
    // The statistics of an iteration from the row sums of every row of the
    // domain in row order (two values per row), added up as the step of one
    // grid adds them: deltaP over the fluid cells, and the total density.
    static void combineRowSums(const std::vector<double> &sums, SimulationStats &stats);

private:
    // Where plain fluid steps among plain walls without forces and one
    // ghost row suffices, an edge of plain cells carries only the
    // populations that move towards the receiver (towards: -1 down, +1 up;
    // see RowState::packCrossing); any other edge carries the rows' state,
    // lean (RowState::pack). Either begins with a byte naming its form.
    bool populationsSuffice(const Grid &grid) const;
    QByteArray edge(const Grid &grid, int firstRow, int towards) const;
    bool fillGhosts(Grid &grid, int firstRow, int towards, const QByteArray &edge, QString *error) const;
    // The parameters of the slab's grid from their document element, and
    // the run's limits left to whoever drives the slabs.
    static bool takeParameters(Grid &grid, const QByteArray &parameters, QString *error);
    static void leaveLimits(Grid &grid);

    const SlabPlan &plan;
    int slab;
};
