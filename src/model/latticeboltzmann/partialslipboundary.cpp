#include "partialslipboundary.h"

#include "grid.h"
#include "lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QXmlStreamWriter>

namespace {

// One face of the wall in D2Q9: the fluid neighbour across it (direction
// normal), the population it sends to the wall (normalBack), and the two
// diagonal directions that leave the wall on that side, each with the
// population its target sends back (bounce) and the one that mirrors it
// across the wall (mirror), read from the other diagonal's cell.
struct SlipFace
{
    int normal, normalBack;
    int diagonal[2];
    int bounce[2];
};

const SlipFace faces[4] = {
    {1, 5, {2, 8}, {6, 4}},
    {3, 7, {4, 2}, {8, 6}},
    {5, 1, {4, 6}, {8, 2}},
    {7, 3, {6, 8}, {2, 4}},
};

double current(BaseCell *cell, int i)
{
    return cell->getF(i, 0);
}

bool carriesFluid(BaseCell *cell)
{
    return cell && cell->isFluid();
}

} // namespace

// Reads the neighbours' current values, which no cell changes during the
// streaming phase, and writes only entries that point from this site into
// its neighbours, so it runs alongside the fluid's streaming.
void PartialSlipBoundary::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const int q = grid->getParameters()->getModel();
    if (q != 9) {
        // Slip is defined on the D2Q9 lattice only; elsewhere the site is a
        // plain no-slip wall for the fluid around it.
        for (int i = 1; i < q; ++i) {
            BaseCell *n = neighbours[i];
            if (carriesFluid(n))
                n->setNextF(i, current(n, Lattice::opposite(q, i)), 0);
        }
        return;
    }
    const double s = grid->getParameters()->getSlipWallCoefficient();
    for (const SlipFace &face : faces) {
        BaseCell *fluid = neighbours[face.normal];
        if (!carriesFluid(fluid))
            continue;
        for (int k = 0; k < 2; ++k) {
            BaseCell *target = neighbours[face.diagonal[k]];
            if (!carriesFluid(target))
                continue;
            const double bounced = current(target, face.bounce[k]);
            // The mirror population comes from the other diagonal's cell; when
            // that site holds no fluid there is nothing to mirror and the
            // population is bounced back whole.
            BaseCell *partner = neighbours[face.diagonal[1 - k]];
            const double mirrored = carriesFluid(partner) ? current(partner, face.bounce[1 - k]) : bounced;
            target->setNextF(face.diagonal[k], s * mirrored + (1.0 - s) * bounced, 0);
        }
        fluid->setNextF(face.normal, current(fluid, face.normalBack), 0);
    }
}

void PartialSlipBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "partialSlip");
}
