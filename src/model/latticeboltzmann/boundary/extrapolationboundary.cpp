#include "extrapolationboundary.h"

#include "facetable.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

void ExtrapolationBoundary::update(double[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    SimulationParameters *sp = parametersOf(grid);
    const int q = sp->getModel();
    BaseCell *target;
    const int side = targetSide(q, neighbours, target);
    if (side < 0)
        return;
    const FaceTable::Face &face = FaceTable::face(q, side);
    const bool scalar = sp->getMcType() == 4;
    double spread = 0.0;
    if (scalar) {
        // The scalar leaving through the face is sent back in, spread by weight.
        double leaving = 0.0, weights = 0.0;
        for (int n = 0; n < face.count; ++n) {
            const int j = face.incoming[n];
            leaving += target->getNextF(Lattice::opposite(q, j), 1);
            weights += Lattice::weight(q, j);
        }
        spread = leaving / weights;
    }
    for (int n = 0; n < face.count; ++n) {
        const int k = face.incoming[n];
        if (movingSource(q, grid, position, side, k, target))
            continue;
        target->setNextF(k, scalar ? Lattice::weight(q, k) * spread : target->getF(k, 1), 1);
        target->setNextF(k, target->getF(k, 0), 0);
    }
}

void ExtrapolationBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "extrapolation");
}

void ExtrapolationBoundary::activate(QXmlStreamReader &, Grid *) {}

BaseCell *ExtrapolationBoundary::clone(const SimulationParameters &)
{
    return new ExtrapolationBoundary;
}
