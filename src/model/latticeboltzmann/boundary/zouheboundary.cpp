#include "zouheboundary.h"

#include "facetable.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamWriter>

namespace {

// Per D2Q9 face: the normal n, the other two incoming directions d and g, the
// tangential axis directions t1 and t2, and b = opp(n), e = opp(g), h = opp(d).
struct ZouHeFace
{
    int n, d, g, t1, t2, b, e, h;
};

const ZouHeFace zouHeFaces[FaceTable::SideCount] = {
    {1, 2, 8, 3, 7, 5, 4, 6}, // +x
    {5, 4, 6, 3, 7, 1, 2, 8}, // -x
    {3, 4, 2, 5, 1, 7, 6, 8}, // +y
    {7, 8, 6, 1, 5, 3, 2, 4}, // -y
};

} // namespace

ZouHeBoundary::ZouHeBoundary()
{
    p = 0.0;
    u = 0.0;
}

void ZouHeBoundary::setBoundaryP(double value)
{
    p = value;
    u = -1.0;
}

void ZouHeBoundary::setBoundaryU(double value)
{
    u = value;
    p = -1.0;
}

void ZouHeBoundary::update(double[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    SimulationParameters *sp = parametersOf(grid);
    const int q = sp->getModel();
    BaseCell *target;
    const int side = targetSide(q, neighbours, target);
    if (side < 0)
        return;
    if (q == 9)
        updateD2Q9(side, target, sp, grid, position);
    else
        updateEquilibrium(q, side, target, grid, position);
}

void ZouHeBoundary::updateD2Q9(int side, BaseCell *target, SimulationParameters *sp, Grid *grid, Vector3i position)
{
    const ZouHeFace &z = zouHeFaces[side];
    // A known population that a moving wall writes in this same phase is
    // taken from the wall, never from the entry it is writing.
    const double reference = MovingCell::referenceDensity(grid);
    auto F = [&](int i) {
        if (MovingCell *wall = movingSource(9, grid, position, side, i, target))
            return wall->returned(i, reference);
        return target->getNextF(i, 0);
    };
    const double S = F(0) + F(z.t1) + F(z.t2) + 2.0 * (F(z.b) + F(z.e) + F(z.h));
    const double tangential = 0.5 * (F(z.t1) - F(z.t2));
    const bool densityMode = p > 0.0;
    // rho u along the inward normal.
    double flux;
    if (densityMode) {
        const double normalVelocity = 1.0 - S / p;
        flux = p * normalVelocity;
    } else {
        const double density = S / (1.0 - u);
        flux = density * u;
    }
    const double fn = F(z.b) + (2.0 / 3.0) * flux;
    const double fd = F(z.h) - tangential + (1.0 / 6.0) * flux;
    const double fg = F(z.e) + tangential + (1.0 / 6.0) * flux;
    const int unknowns[3] = {z.n, z.d, z.g};
    const double values[3] = {fn, fd, fg};
    bool fed[3];
    for (int n = 0; n < 3; ++n) {
        fed[n] = !movingSource(9, grid, position, side, unknowns[n], target);
        if (fed[n])
            target->setNextF(unknowns[n], values[n], 0);
    }
    if (densityMode)
        for (int n = 0; n < 3; ++n)
            if (fed[n])
                target->setNextF(unknowns[n], target->getF(unknowns[n], 1), 1);
    if (sp->getMcType() == 4) {
        for (int n = 0; n < 3; ++n) {
            if (!fed[n])
                continue;
            const int k = unknowns[n];
            const double w = Lattice::weight(9, k);
            const double value =
                densityMode ? w * target->getP(1) * (1.0 + 3.0 * Lattice::dot(9, k, target->getLatticeVelocity(0)))
                            : w * sp->getSourcePressure(1);
            target->setNextF(k, value, 1);
        }
    }
}

void ZouHeBoundary::updateEquilibrium(int q, int side, BaseCell *target, Grid *grid, Vector3i position)
{
    const FaceTable::Face &face = FaceTable::face(q, side);
    const bool densityMode = p > 0.0;
    const Vector3d velocity = densityMode ? target->getLatticeVelocity(-1) : face.normal * u;
    const double density = densityMode ? p : target->getP(0);
    for (int n = 0; n < face.count; ++n) {
        const int k = face.incoming[n];
        if (!movingSource(q, grid, position, side, k, target))
            target->setNextF(k, Lattice::equilibrium(velocity, density, q, k), 0);
    }
}

void ZouHeBoundary::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "zouhe");
    writer.writeAttribute("pressure", XmlFormat::real(p));
    writer.writeAttribute("velocity", XmlFormat::real(u));
}

BaseCell *ZouHeBoundary::clone(const SimulationParameters &)
{
    auto *copy = new ZouHeBoundary;
    copy->p = p;
    copy->u = u;
    return copy;
}
