#include "shapewallcell.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

ShapeWallCell::ShapeWallCell(int model, int shapeIndex, WallScheme scheme, const ShapeMotion &motion)
    : q(model), index(shapeIndex), wallScheme(scheme), wallMotion(motion)
{
    links = static_cast<double *>(BlockPool::allocate(3 * q * sizeof(double)));
    for (int k = 0; k < 3 * q; ++k)
        links[k] = 0.0;
}

ShapeWallCell::~ShapeWallCell()
{
    BlockPool::release(links, 3 * q * sizeof(double));
}

void ShapeWallCell::setFraction(int i, double value)
{
    if (i > 0 && i < q)
        links[i] = value > 0.0 && value <= 1.0 ? value : 0.0;
}

void ShapeWallCell::setNextF(int i, double value, int component)
{
    if ((component == 0 || component == -1) && i > 0 && i < q) {
        links[q + i] = value;
        return;
    }
    WallCell::setNextF(i, value, component);
}

namespace {

// The site one step against direction e from p, across a periodic side when
// the box wraps; false when it lies outside the box.
bool stepBack(const Grid &grid, bool periodic, const int *e, Vector3i &p)
{
    p = Vector3i(p.x - e[0], p.y - e[1], p.z - e[2]);
    if (periodic)
        p = p.wrapped(grid.getWidth(), grid.getHeight(), grid.getLength());
    return grid.contains(p.x, p.y, p.z);
}

} // namespace

// For the link from fluid site F = position - e_i into this site, with the
// surface at the fraction d of it, the post-collision populations
// a = f*_i(F), and along the link behind F (F' = F - e_i, F'' = F - 2 e_i)
// b = f*_i(F'), c = f*_i(F''), b' = f*_-i(F), c' = f*_-i(F'). After phase 0
// these sit in the next arrays: f*_i(F') in F's, f*_-i(F) in F''s and so on.
// Quadratic, d < 1/2: d (1 + 2d) a + (1 - 4d^2) b - d (1 - 2d) c;
//          d >= 1/2: a / (d (2d + 1)) + (2d - 1) / d b' + (1 - 2d) / (1 + 2d) c'.
// Linear,  d < 1/2: 2d a + (1 - 2d) b;  d >= 1/2: a / (2d) + (2d - 1) / (2d) b'.
// With too little fluid behind F the next lower scheme is used, down to
// a itself (half-way bounce-back). A moving wall adds -6 w_i rho (e_i . u_w)
// to the population the bounce reflects, weighted as that population is.
void ShapeWallCell::update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    WallCell::update(params, neighbours, grid, position);
    const bool periodic = grid->getParameters()->getPeriodicBoundaries();
    const bool moving = !wallMotion.isAtRest();
    for (int i = 1; i < q; ++i) {
        const int o = Lattice::tables.opp[q][i];
        BaseCell *f = neighbours[o];
        if (!f || !f->isFluid())
            continue;
        const int *e = Lattice::tables.e[q][i];
        const double a = links[q + i];
        const double d = links[i];
        double value = a, weight = 1.0;
        if (wallScheme != WallScheme::Staircase && d > 0.0) {
            Vector3i p = position;
            BaseCell *ff = nullptr, *fff = nullptr;
            if (stepBack(*grid, periodic, e, p) && stepBack(*grid, periodic, e, p)) {
                ff = grid->getCell(p.x, p.y, p.z);
                if (ff && !ff->isFluid())
                    ff = nullptr;
                if (ff && wallScheme == WallScheme::Quadratic && stepBack(*grid, periodic, e, p)) {
                    fff = grid->getCell(p.x, p.y, p.z);
                    if (fff && !fff->isFluid())
                        fff = nullptr;
                }
            }
            if (ff && d < 0.5) {
                const double b = f->getNextF(i, 0);
                if (fff) {
                    const double c = ff->getNextF(i, 0);
                    value = d * (1.0 + 2.0 * d) * a + (1.0 - 4.0 * d * d) * b - d * (1.0 - 2.0 * d) * c;
                } else {
                    value = 2.0 * d * a + (1.0 - 2.0 * d) * b;
                }
            } else if (ff) {
                const double b = ff->getNextF(o, 0);
                if (fff) {
                    const double c = fff->getNextF(o, 0);
                    weight = 1.0 / (d * (2.0 * d + 1.0));
                    value = weight * a + (2.0 * d - 1.0) / d * b + (1.0 - 2.0 * d) / (1.0 + 2.0 * d) * c;
                } else {
                    weight = 1.0 / (2.0 * d);
                    value = weight * a + (2.0 * d - 1.0) / (2.0 * d) * b;
                }
            }
        }
        if (moving) {
            const Vector3d u = wallMotion.velocityAt(linkPoint(position, i));
            const double eu = e[0] * u.x + e[1] * u.y + e[2] * u.z;
            value -= weight * 6.0 * Lattice::tables.w[q][i] * f->getP(0) * eu;
        }
        links[2 * q + i] = value;
        f->setNextF(o, value, 0);
    }
}

Vector3d ShapeWallCell::linkPoint(const Vector3i &position, int i) const
{
    const int *e = Lattice::tables.e[q][i];
    const double d = links[i] > 0.0 && wallScheme != WallScheme::Staircase ? links[i] : 0.5;
    const double back = 1.0 - d;
    return Vector3d(position.x - back * e[0], position.y - back * e[1], position.z - back * e[2]);
}

void ShapeWallCell::addMomentumExchange(const Vector3i &position, Vector3d &force, Vector3d &torque) const
{
    if (!neighbourBlock)
        return;
    const bool moving = !wallMotion.isAtRest();
    for (int i = 1; i < q; ++i) {
        BaseCell *f = neighbourBlock[Lattice::tables.opp[q][i]];
        if (!f || !f->isFluid())
            continue;
        const int *e = Lattice::tables.e[q][i];
        const double in = links[q + i], out = links[2 * q + i];
        // (e_i - u_w) f_in - (e_-i - u_w) f_out
        Vector3d link(e[0] * (in + out), e[1] * (in + out), e[2] * (in + out));
        const Vector3d at = linkPoint(position, i);
        if (moving)
            link += wallMotion.velocityAt(at) * (out - in);
        force += link;
        torque += (at - wallMotion.centre).cross(link);
    }
}

void ShapeWallCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "shapeWall");
    writer.writeAttribute("shape", QString::number(index));
    // A number: the state document holds only numbers in a cell's attributes.
    writer.writeAttribute("scheme", QString::number(int(wallScheme)));
    for (int i = 1; i < q; ++i)
        if (links[i] > 0.0)
            writer.writeAttribute(QStringLiteral("q%1").arg(i), XmlFormat::real(links[i]));
}

void ShapeWallCell::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    index = a.integer("shape", 0, 0);
    wallScheme = WallScheme(a.integer("scheme", int(WallScheme::Quadratic), 0, 2));
    for (int i = 1; i < q; ++i) {
        links[i] = a.real(QStringLiteral("q%1").arg(i), 0.0, 0.0, 1.0);
        links[q + i] = links[2 * q + i] = 0.0;
    }
}

BaseCell *ShapeWallCell::clone(const SimulationParameters &parameters)
{
    return new ShapeWallCell(parameters.getModel(), index, wallScheme, wallMotion);
}
