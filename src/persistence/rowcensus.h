#pragma once

#include <QtGlobal>

#include <vector>

// What a document's cells say about its rows without the cells being built:
// per row the number of sites that do work (every cell but a null cell), and
// whether every cell is plain fluid, a plain wall or a null cell. Enough to
// cut a domain into slabs before any process holds more than its slab.
struct RowCensus
{
    std::vector<qint64> working;
    bool plainOnly = true;

    // Counts a cell of the given "type" at row y.
    void count(int y, bool null, bool plain)
    {
        if (std::size_t(y) >= working.size())
            working.resize(std::size_t(y) + 1, 0);
        if (!null)
            ++working[std::size_t(y)];
        plainOnly = plainOnly && plain;
    }
    void add(const RowCensus &other)
    {
        if (other.working.size() > working.size())
            working.resize(other.working.size(), 0);
        for (std::size_t y = 0; y < other.working.size(); ++y)
            working[y] += other.working[y];
        plainOnly = plainOnly && other.plainOnly;
    }
};
