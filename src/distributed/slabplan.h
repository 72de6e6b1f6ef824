#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class Grid;

// How a domain is cut into slabs of whole y-rows, one per process: the rows
// are the grid's unit of storage (y slowest), of parallel work and of the
// statistics sums, so a slab is a contiguous block of sites, and every row's
// sums are formed exactly as one process forms them. The cuts balance the
// number of working (non-null) sites; each slab carries ghost rows of its
// neighbours, as many as what one iteration reads across a slab face.
class SlabPlan
{
public:
    // Cuts the grid into `slabs` slabs of at least `ghost` rows each; false
    // with a message when the grid is too low for that many.
    bool plan(const Grid &grid, int slabs, int ghost, QString *error);
    // The same from the working sites of every row of a domain, periodic or
    // not along its rows, that no one grid holds.
    bool plan(const std::vector<long long> &rowWork, bool periodic, int slabs, int ghost, QString *error);
    // Rows read across a slab face in one iteration: one for plain fluid
    // among plain walls without forces (only the streaming crosses), more
    // where forces read neighbours' densities, boundaries rewrite their
    // neighbours' populations or cells correct themselves from committed
    // neighbours, each of which reaches one row further.
    static int ghostRows(const Grid &grid);
    // The same from whether forces act and whether every cell is plain
    // fluid, a plain wall or a null cell.
    static int ghostRows(bool forces, bool plainOnly) { return !forces && plainOnly ? 1 : 4; }
    // Why the grid cannot be cut into slabs, or an empty text: what moves
    // through the whole domain or is placed on it as a whole (moving
    // particles, immersed bodies, tracers, free surface and melting, shapes,
    // coloured scalar sources, a force confined to a region of the domain)
    // is not cut yet.
    static QString unsupported(const Grid &grid);
    // The same for a grid that holds only some rows of a document, whose
    // elements of particles, bodies, tracers, free surface or scalar sources
    // of the named kinds could not be restored in it (see
    // StateDocument::unreadSections).
    static QString unsupported(const Grid &grid, const QStringList &unreadSections);

    // The plan as numbers and back, for handing it to other processes;
    // false for numbers that describe no plan.
    std::vector<long long> toNumbers() const;
    bool fromNumbers(const std::vector<long long> &numbers);

    int slabCount() const { return int(first.size()); }
    int firstRow(int slab) const { return first[std::size_t(slab)]; }
    int rowCount(int slab) const { return count[std::size_t(slab)]; }
    int ghost() const { return ghostWidth; }
    bool periodic() const { return wraps; }
    int height() const { return rows; }
    // The slab below and above (-1 for none: the domain's edge without
    // periodic boundaries).
    int below(int slab) const;
    int above(int slab) const;
    // Ghost rows the slab holds under and over its own rows.
    int ghostBelow(int slab) const { return below(slab) < 0 ? 0 : ghostWidth; }
    int ghostAbove(int slab) const { return above(slab) < 0 ? 0 : ghostWidth; }
    // Working sites of each slab, for the report of the balance.
    long long workingSites(int slab) const { return work[std::size_t(slab)]; }

private:
    std::vector<int> first, count;
    std::vector<long long> work;
    int ghostWidth = 1;
    int rows = 0;
    bool wraps = false;
};
