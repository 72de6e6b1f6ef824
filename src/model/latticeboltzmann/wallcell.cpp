#include "wallcell.h"

#include "grid.h"
#include "lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QXmlStreamWriter>

void WallCell::setNeighbours(BaseCell **block, const SimulationParameters &parameters)
{
    neighbourBlock = block;
    q = parameters.getModel();
}

void WallCell::setNextF(int i, double value, int component)
{
    if (!neighbourBlock)
        return;
    const int j = Lattice::opposite(q, i);
    if (BaseCell *sender = neighbourBlock[j])
        sender->setNextF(j, value, component);
}

namespace {

struct FaceTest
{
    int entry;
    int directions[9];
    int count;
};

// Per model: the block entries tested in order for a fluid neighbour and the
// directions that point from the wall into it.
const FaceTest *faceTests(int q)
{
    static const FaceTest d2q9[4] = {{1, {1, 2, 8}, 3}, {5, {4, 5, 6}, 3}, {3, {2, 3, 4}, 3}, {7, {6, 7, 8}, 3}};
    static const FaceTest d3q15[4] = {
        {1, {1, 6, 9, 11, 14}, 5}, {3, {3, 7, 8, 12, 13}, 5}, {2, {2, 6, 7, 11, 12}, 5}, {4, {4, 8, 9, 13, 14}, 5}};
    static const FaceTest d3q19[4] = {
        {1, {1, 2, 8, 10, 15}, 5}, {5, {4, 5, 6, 12, 17}, 5}, {3, {2, 3, 4, 11, 16}, 5}, {7, {6, 7, 8, 13, 18}, 5}};
    static const FaceTest d3q27[4] = {{1, {1, 2, 8, 10, 11, 17, 19, 20, 26}, 9},
                                      {5, {4, 5, 6, 13, 14, 15, 22, 23, 24}, 9},
                                      {3, {2, 3, 4, 11, 12, 13, 20, 21, 22}, 9},
                                      {7, {6, 7, 8, 15, 16, 17, 24, 25, 26}, 9}};
    switch (q) {
    case 15:
        return d3q15;
    case 19:
        return d3q19;
    case 27:
        return d3q27;
    default:
        return d2q9;
    }
}

} // namespace

void WallCell::update(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    if (grid->getParameters()->getMcType() != 4)
        return;
    // The grid's model, not the linked one: a moving cell applies this with a
    // wall of its own that no grid has linked.
    const int q = grid->getParameters()->getModel();
    const FaceTest *tests = faceTests(q);
    for (int t = 0; t < 4; ++t) {
        BaseCell *fluid = neighbours[tests[t].entry];
        if (!fluid || !fluid->isFluid())
            continue;
        double total = 0.0, weights = 0.0;
        for (int k = 0; k < tests[t].count; ++k) {
            const int j = tests[t].directions[k];
            total += fluid->getNextF(Lattice::opposite(q, j), 1);
            weights += Lattice::weight(q, j);
        }
        for (int k = 0; k < tests[t].count; ++k) {
            const int j = tests[t].directions[k];
            fluid->setNextF(j, Lattice::weight(q, j) * total / weights, 1);
        }
        return;
    }
}

void WallCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "wall");
}

BaseCell *WallCell::clone(const SimulationParameters &)
{
    return new WallCell();
}
