#include "equilibriumboundary.h"

#include "facetable.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamWriter>

EquilibriumBoundary::EquilibriumBoundary()
{
    p = -1.0;
    u = -1.0;
}

void EquilibriumBoundary::setBoundaryP(double value)
{
    p = value;
    u = -1.0;
}

void EquilibriumBoundary::setBoundaryU(double value)
{
    u = value;
    p = -1.0;
}

void EquilibriumBoundary::preUpdate(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    SimulationParameters *sp = parametersOf(grid);
    const int q = sp->getModel();
    BaseCell *target;
    const int side = targetSide(q, neighbours, target);
    if (side < 0)
        return;
    const FaceTable::Face &face = FaceTable::face(q, side);
    // The modulation of group 0 applies to every equilibrium inlet.
    const double factor = 1.0 + sp->getSourceAmplitude(0) * modulation(sp->getSourcePeriod(0), iterationsOf(grid));
    const int mcType = sp->getMcType();
    const bool twoComponents = sp->getMcQuantity() == 2 && mcType == 1;
    if (p > 0.0) {
        const double density = p * factor;
        const Vector3d velocity = target->getLatticeVelocity(-1);
        for (int n = 0; n < face.count; ++n) {
            const int k = face.incoming[n];
            target->setNextF(k, Lattice::equilibrium(velocity, density, q, k), 0);
            if (mcType == 4) {
                target->setNextF(k, Lattice::equilibrium(velocity, target->getP(1), q, k), 1);
            } else if (twoComponents) {
                const double w = Lattice::weight(q, k);
                target->setNextF(k, w * target->getP(0), 0);
                target->setNextF(k, w * target->getP(1), 1);
            }
        }
        return;
    }
    const Vector3d inflow = face.normal * u;
    const Vector3d modulated = inflow * factor;
    const double density = target->getP(0);
    for (int n = 0; n < face.count; ++n) {
        const int k = face.incoming[n];
        target->setNextF(k, Lattice::equilibrium(modulated, density, q, k), 0);
        if (mcType == 4) {
            target->setNextF(k, Lattice::equilibrium(target->getLatticeVelocity(-1), sp->getSourcePressure(1), q, k),
                             1);
        } else if (twoComponents) {
            target->setNextF(k, Lattice::equilibrium(inflow, sp->getSourcePressure(0), q, k), 0);
            target->setNextF(k, 0.0, 1);
        }
    }
}

void EquilibriumBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "equilibrium");
    writer.writeAttribute("pressure", XmlFormat::real(p));
    writer.writeAttribute("velocity", XmlFormat::real(u));
}

BaseCell *EquilibriumBoundary::clone(const SimulationParameters &)
{
    auto *copy = new EquilibriumBoundary;
    copy->p = p;
    copy->u = u;
    return copy;
}
