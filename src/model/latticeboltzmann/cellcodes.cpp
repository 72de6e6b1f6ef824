#include "cellcodes.h"

#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/deposition/depositionwall.h"
#include "model/latticeboltzmann/dragwallcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/heat/thermalwall.h"
#include "model/latticeboltzmann/meltingsolidification/meltingsolidificationcell.h"
#include "model/latticeboltzmann/moving/movingcell.h"
#include "model/latticeboltzmann/moving/movingwall.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/partialslipboundary.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/porous/shallowcell.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/latticeboltzmann/wallcell.h"
#include "simulationparameters.h"

#include <QPair>
#include <QVector>

#include <iterator>

namespace {

struct ColourCode
{
    QRgb rgb;
    const char *code;
};

// Tested in this order; the first match wins.
const ColourCode imageColours[] = {
    {qRgb(128, 128, 128), "w"}, // wall
    {qRgb(0, 0, 255), "v"},     // moving wall
    {qRgb(255, 0, 0), "s"},     // velocity inlet
    {qRgb(0, 0, 0), "o"},       // outlet
    {qRgb(255, 255, 0), "m"},   // moving cell, neutral
    {qRgb(128, 0, 255), "n"},   // moving cell, negative
    {qRgb(255, 0, 255), "p"},   // moving cell, positive
    {qRgb(64, 64, 64), "*"},    // porous
    {qRgb(128, 128, 255), "h"}, // shallow water
    {qRgb(0, 255, 0), "-"},     // null cell
    {qRgb(0, 255, 255), "."},   // pressure inlet
    {qRgb(192, 192, 192), "t"}, // thermal wall
    {qRgb(160, 160, 160), "d"}, // drag wall
    {qRgb(96, 96, 96), "k"},    // partial slip
    {qRgb(32, 32, 32), "e"},    // deposition wall
    {qRgb(224, 224, 224), "r"}, // reflect with factor
};

const ColourCode freeSurfaceColours[] = {
    {qRgb(0, 0, 255), "korner_solid"},       {qRgb(255, 255, 0), "korner_liquid"}, {qRgb(255, 0, 0), "korner_gas"},
    {qRgb(255, 128, 0), "korner_interface"}, {qRgb(128, 128, 128), "korner_wall"},
};

// A plain fluid cell at the mean density and velocity of the fluid cells
// among the 26 surrounding sites (density 1 at rest when there are none).
BaseCell *averagedFluid(Grid &grid, int x, int y, int z)
{
    double density = 0.0;
    Vector3d velocity;
    int count = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            for (int dz = -1; dz <= 1; ++dz) {
                if (dx == 0 && dy == 0 && dz == 0)
                    continue;
                BaseCell *c = grid.getCell(x + dx, y + dy, z + dz);
                if (!c || !c->isFluid())
                    continue;
                density += c->getP(0);
                velocity += c->getVelocity(0);
                ++count;
            }
    if (count > 0) {
        density /= count;
        velocity = velocity * (1.0 / count);
    } else {
        density = 1.0;
    }
    auto *cell = new SCCell(density, grid.getParameters()->getModel());
    cell->setEquilibrium(velocity, density);
    return cell;
}

} // namespace

BaseCell *CellCodes::create(const QString &code, Grid &grid, int x, int y, int z, bool fillFromNeighbours)
{
    SimulationParameters *sp = grid.getParameters();
    // The free-surface codes ("korner_...") give melting cells in their state.
    if (BaseCell *melting = MeltingSolidificationCell::forCode(code, grid))
        return melting;
    if (code == QLatin1String("w"))
        return new WallCell;
    // The grid numbers a thermal wall when it places it.
    if (code == QLatin1String("t"))
        return new ThermalWall;
    if (code == QLatin1String("*"))
        return new PorousCell(sp->randomInitialDensity(), *sp);
    // Shallow water is a 2D model; on a 3D lattice the site is plain fluid.
    if (code == QLatin1String("h") && sp->getModel() == 9)
        return new ShallowCell(*sp);
    if (code == QLatin1String("-"))
        return new NullCell;
    if (code == QLatin1String("s"))
        return SourceCell::fixedFlux(sp->sourceVelocity(0), sp->getMinP0());
    if (code == QLatin1String("."))
        return SourceCell::point(sp->getSourcePressure(0));
    if (code == QLatin1String("o"))
        return OpenCell::extrapolation();
    if (code == QLatin1String("v")) {
        auto *cell = new MovingCell(sp->randomInitialDensity(), 0, &grid);
        cell->setBody(new MovingWall(sp->wallVelocity(), sp->getWallPeriod()), true);
        return cell;
    }
    // Particle cells carry no body until particles are placed on them.
    if (code == QLatin1String("m"))
        return new MovingCell(sp->randomInitialDensity(), 0, &grid);
    if (code == QLatin1String("p"))
        return new MovingCell(sp->randomInitialDensity(), 1, &grid);
    if (code == QLatin1String("n"))
        return new MovingCell(sp->randomInitialDensity(), -1, &grid);
    if (code == QLatin1String("d"))
        return new DragWallCell;
    if (code == QLatin1String("k"))
        return new PartialSlipBoundary;
    if (code == QLatin1String("e"))
        return new DepositionWall;
    if (code == QLatin1String("r"))
        return new ReflectWithFactorCell;
    // Fluid, and the kinds not built yet.
    if (fillFromNeighbours)
        return averagedFluid(grid, x, y, z);
    return new SCCell(sp->randomInitialDensity(), sp->getModel());
}

QString CellCodes::codeForColour(QRgb colour, const QString &mode)
{
    // The codes are built once and handed out as shared copies, so a large
    // image costs no allocation per pixel.
    static const auto table = [](const ColourCode *begin, const ColourCode *end) {
        QVector<QPair<QRgb, QString>> t;
        for (const ColourCode *c = begin; c != end; ++c)
            t.append(qMakePair(c->rgb, QString::fromLatin1(c->code)));
        return t;
    };
    static const QVector<QPair<QRgb, QString>> image = table(std::begin(imageColours), std::end(imageColours));
    static const QVector<QPair<QRgb, QString>> freeSurface =
        table(std::begin(freeSurfaceColours), std::end(freeSurfaceColours));
    static const QString fluid = QStringLiteral("x");

    const QRgb rgb = colour | 0xff000000u;
    const bool korner = mode == QLatin1String("korner");
    for (const auto &entry : korner ? freeSurface : image)
        if (entry.first == rgb)
            return entry.second;
    return korner ? QString() : fluid;
}

QRgb CellCodes::colourForCode(const QString &code)
{
    for (const ColourCode &c : imageColours)
        if (code == QLatin1String(c.code))
            return c.rgb;
    return qRgb(255, 255, 255);
}

QString CellCodes::codeForCell(BaseCell *cell)
{
    cell = PassiveScalarCell::innerOf(cell);
    if (dynamic_cast<ThermalWall *>(cell))
        return QStringLiteral("t");
    if (dynamic_cast<ReflectWithFactorCell *>(cell))
        return QStringLiteral("r");
    if (dynamic_cast<WallCell *>(cell))
        return QStringLiteral("w");
    if (dynamic_cast<MovingCell *>(cell))
        return QStringLiteral("v");
    if (dynamic_cast<SourceCell *>(cell))
        return QStringLiteral("s");
    if (dynamic_cast<OpenCell *>(cell))
        return QStringLiteral("o");
    if (dynamic_cast<PorousCell *>(cell))
        return QStringLiteral("*");
    if (dynamic_cast<NullCell *>(cell))
        return QStringLiteral("-");
    return QStringLiteral("x");
}
