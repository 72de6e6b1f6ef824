#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class Grid;

// Small domains of the kinds a run on several processes must reproduce
// bitwise, each exercising another part of what crosses a slab face.
namespace SlabCases {

enum Case {
    Channel,   // D2Q9 channel with a cylinder and a porous block: inlet, outlet, walls
    Duct,      // D3Q19 duct periodic along it, from uneven densities: plain fluid only
    Stream,    // D2Q9 closed box with a wall block, from uneven densities: plain fluid only
    Droplet,   // D2Q9 periodic box with a dense droplet under the multiphase force
    HeatedBox, // D2Q9 box between a hot and a cold thermal wall, heat cells
    Mixture,   // D2Q9 box of two interacting components, unevenly mixed, one wall sliding
    Colours,   // D2Q9 periodic box of a red drop in blue fluid (colour gradient), a wall block, moving
};
const QList<Case> &all();
const char *name(Case c);
void build(Grid &grid, Case c);
// The case as the text of a state document whose "results" element holds
// the given attributes (see resultsDocument).
QByteArray document(Case c, const QList<QPair<QString, QString>> &results = {});

} // namespace SlabCases
