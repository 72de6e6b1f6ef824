#include "cellfactory.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/deposition/depositioncell.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
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
        {QStringLiteral("singleComponent"), [] { return static_cast<BaseCell *>(new SCCell); }},
        {QStringLiteral("wall"), [] { return static_cast<BaseCell *>(new WallCell); }},
        {QStringLiteral("null"), [] { return static_cast<BaseCell *>(new NullCell); }},
        {QStringLiteral("source"), [] { return static_cast<BaseCell *>(new SourceCell); }},
        {QStringLiteral("open"), [] { return static_cast<BaseCell *>(new OpenCell); }},
        {QStringLiteral("moving"), [] { return static_cast<BaseCell *>(new MovingCell); }},
        {QStringLiteral("partialSlip"), [] { return static_cast<BaseCell *>(new PartialSlipBoundary); }},
        {QStringLiteral("dragWall"), [] { return static_cast<BaseCell *>(new DragWallCell); }},
        {QStringLiteral("depositionWall"), [] { return static_cast<BaseCell *>(new DepositionWall); }},
        {QStringLiteral("interpolation"), [] { return static_cast<BaseCell *>(new InterpolationCell); }},
        {QStringLiteral("reflectWithFactor"), [] { return static_cast<BaseCell *>(new ReflectWithFactorCell); }},
        {QStringLiteral("multiComponent"), [] { return static_cast<BaseCell *>(new MCCell); }},
        {QStringLiteral("multi_rk"), [] { return static_cast<BaseCell *>(new RKCell); }},
        {QStringLiteral("porous"), [] { return static_cast<BaseCell *>(new PorousCell); }},
        {QStringLiteral("shallow"), [] { return static_cast<BaseCell *>(new ShallowCell); }},
        {QStringLiteral("passivescalar"), [] { return static_cast<BaseCell *>(new PassiveScalar); }},
        {QStringLiteral("thermalWall"), [] { return static_cast<BaseCell *>(new ThermalWall); }},
        // A shape's wall; its shape places it again with exact fractions.
        {QStringLiteral("shapeWall"),
         [] { return static_cast<BaseCell *>(new ShapeWallCell(0, WallScheme::Quadratic, ShapeMotion())); }},
        {QStringLiteral("deposition"), [] { return static_cast<BaseCell *>(new DepositionCell); }},
        // The colour wrappers read their wrapped cell from their "cell" child.
        {QStringLiteral("passiveScalarCell"), [] { return static_cast<BaseCell *>(new PassiveScalarCell); }},
        {QStringLiteral("momentPropagationCell"), [] { return static_cast<BaseCell *>(new MomentPropagationCell); }},
        {QStringLiteral("meltingSolidification"),
         [] { return static_cast<BaseCell *>(new MeltingSolidificationCell); }},
    };
    return kinds;
}

} // namespace

BaseCell *CellFactory::create(const QString &type)
{
    const auto &kinds = table();
    const auto it = kinds.constFind(type);
    return it == kinds.constEnd() ? nullptr : (*it)();
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
