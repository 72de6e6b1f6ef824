#include "cellfactory.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/passivescalar.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/multi/mccell.h"
#include "model/latticeboltzmann/multi/rkcell.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/momentpropagationcell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/shapes/shapewallcell.h"
#include "model/latticeboltzmann/wallcell.h"

#include <QHash>

namespace {

QHash<QString, CellFactory::Constructor> &table()
{
    // Inlets and outlets are created without a strategy: their "boundary"
    // child names it. Moving cells get their body (a wall, or a reference to
    // a particle) from their "something" child.
    static QHash<QString, CellFactory::Constructor> kinds = {
        {QStringLiteral("singleComponent"),
         [](Grid &g) { return static_cast<BaseCell *>(new SCCell(1.0, g.getParameters()->getModel())); }},
        {QStringLiteral("wall"), [](Grid &) { return static_cast<BaseCell *>(new WallCell); }},
        {QStringLiteral("null"), [](Grid &) { return static_cast<BaseCell *>(new NullCell); }},
        {QStringLiteral("source"), [](Grid &) { return static_cast<BaseCell *>(new SourceCell); }},
        {QStringLiteral("open"), [](Grid &) { return static_cast<BaseCell *>(new OpenCell); }},
        {QStringLiteral("moving"), [](Grid &g) { return static_cast<BaseCell *>(new MovingCell(1.0, 0, &g)); }},
        {QStringLiteral("partialSlip"), [](Grid &) { return static_cast<BaseCell *>(new PartialSlipBoundary); }},
        {QStringLiteral("dragWall"), [](Grid &) { return static_cast<BaseCell *>(new DragWallCell); }},
        {QStringLiteral("depositionWall"), [](Grid &) { return static_cast<BaseCell *>(new DepositionWall); }},
        {QStringLiteral("interpolation"), [](Grid &) { return static_cast<BaseCell *>(new InterpolationCell); }},
        {QStringLiteral("reflectWithFactor"),
         [](Grid &) { return static_cast<BaseCell *>(new ReflectWithFactorCell); }},
        {QStringLiteral("multiComponent"),
         [](Grid &g) { return static_cast<BaseCell *>(new MCCell(*g.getParameters())); }},
        {QStringLiteral("multi_rk"), [](Grid &g) { return static_cast<BaseCell *>(new RKCell(*g.getParameters())); }},
        {QStringLiteral("porous"),
         [](Grid &g) { return static_cast<BaseCell *>(new PorousCell(1.0, *g.getParameters())); }},
        {QStringLiteral("shallow"),
         [](Grid &g) { return static_cast<BaseCell *>(new ShallowCell(*g.getParameters())); }},
        {QStringLiteral("passivescalar"),
         [](Grid &g) { return static_cast<BaseCell *>(new PassiveScalar(*g.getParameters())); }},
        {QStringLiteral("thermalWall"), [](Grid &) { return static_cast<BaseCell *>(new ThermalWall); }},
        // A shape's wall; its shape places it again with exact fractions.
        {QStringLiteral("shapeWall"),
         [](Grid &g) {
             return static_cast<BaseCell *>(
                 new ShapeWallCell(g.getParameters()->getModel(), 0, WallScheme::Quadratic, ShapeMotion()));
         }},
        {QStringLiteral("deposition"),
         [](Grid &g) { return static_cast<BaseCell *>(new DepositionCell(g.getParameters()->getModel())); }},
        // The colour wrappers read their wrapped cell from their "cell" child.
        {QStringLiteral("passiveScalarCell"),
         [](Grid &g) {
             return static_cast<BaseCell *>(new PassiveScalarCell(nullptr, g.getParameters()->getModel()));
         }},
        {QStringLiteral("momentPropagationCell"),
         [](Grid &g) {
             return static_cast<BaseCell *>(new MomentPropagationCell(nullptr, g.getParameters()->getModel()));
         }},
        {QStringLiteral("meltingSolidification"),
         [](Grid &) { return static_cast<BaseCell *>(new MeltingSolidificationCell); }},
    };
    return kinds;
}

} // namespace

BaseCell *CellFactory::create(const QString &type, Grid &grid)
{
    const auto &kinds = table();
    const auto it = kinds.constFind(type);
    return it == kinds.constEnd() ? nullptr : (*it)(grid);
}

bool CellFactory::knows(const QString &type)
{
    return table().contains(type);
}

QStringList CellFactory::types()
{
    QStringList names = table().keys();
    names.sort();
    return names;
}

void CellFactory::add(const QString &type, Constructor constructor)
{
    table().insert(type, std::move(constructor));
}
