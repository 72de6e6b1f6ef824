#include "movingcell.h"

#include "../grid.h"
#include "../wallcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"
#include "movingwall.h"
#include "particlemanager.h"

#include <QLoggingCategory>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

MovingCell::MovingCell(double initialDensity, int c, Grid *g) : grid(g), charge(c), p0(initialDensity)
{
    q = g->getParameters()->getModel();
    for (double &r : received)
        r = 0.0;
}

MovingCell::~MovingCell()
{
    releaseBody();
}

void MovingCell::releaseBody()
{
    if (bodyOwned)
        delete movingBody;
    movingBody = nullptr;
    bodyOwned = false;
}

void MovingCell::setBody(SomethingMoving *body, bool owned)
{
    if (body == movingBody) {
        bodyOwned = owned;
        return;
    }
    releaseBody();
    movingBody = body;
    bodyOwned = body && owned;
}

// A body shared by many cells (a particle) is stepped once per iteration by
// its owner, the particle manager, in a serial pass: calling it from every
// cell, on several rows at once, would add its momentum concurrently and
// advance it once per cell. A body of this cell alone (a wall) steps here.
void MovingCell::preUpdate(double params[], BaseCell *neighbours[], Grid *g, Vector3i position)
{
    if (movingBody && bodyOwned)
        movingBody->exchange(params, neighbours, g, position);
}

double MovingCell::referenceDensity(const Grid *g)
{
    const SimulationParameters *sp = g->getParameters();
    return 0.5 * (sp->getMinP0() + sp->getMaxP0());
}

double MovingCell::returned(int i, double reference) const
{
    const Vector3d ub = movingBody ? movingBody->getVelocity() : Vector3d();
    const int o = Lattice::opposite(q, i);
    return received[o] + 6.0 * Lattice::weight(q, o) * reference * Lattice::dot(q, i, ub);
}

BaseCell *MovingCell::neighbourAt(Grid *g, Vector3i site)
{
    if (g->getParameters()->getPeriodicBoundaries())
        site = site.wrapped(g->getWidth(), g->getHeight(), g->getLength());
    return g->getCell(site);
}

// Moving bounce-back: every fluid neighbour gets back, in the direction that
// points from this site to it, what it streamed in here, corrected by
// 2 w rho0 (e . u_b) / cs^2 with cs^2 = 1/3. rho0 is one reference density
// for all moving cells: with the receiving cell's own density the corrections
// where a lid meets a resting wall no longer cancel, and a closed cavity
// gains mass without bound. The neighbour is looked up in the grid itself (a
// particle may have moved since the neighbour table was built), wrapped
// across the box like the neighbour table when the boundaries are periodic,
// so fluid across a periodic seam is treated like any other.
void MovingCell::update(double params[], BaseCell *neighbours[], Grid *g, Vector3i position)
{
    if (!g)
        return;
    const double reference = referenceDensity(g);
    for (int i = 1; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        BaseCell *n = neighbourAt(g, position + Lattice::direction(q, i));
        if (!n || !n->isFluid())
            continue;
        // Each population set goes back on its own set: cells of two sets
        // ignore the whole-cell component, and would lose what hit the wall.
        n->setNextF(i, returned(i, reference), 0);
        n->setNextF(i, receivedSecond[Lattice::opposite(q, i)], 1);
    }
    if (g->getParameters()->getMcType() == 4) {
        // The walls' scalar treatment reads nothing but the block it is given,
        // so a wall on the stack applies it with this site as the wall.
        WallCell scalarWall;
        scalarWall.update(params, neighbours, g, position);
    }
}

void MovingCell::postUpdate()
{
    if (movingBody && bodyOwned)
        movingBody->update();
}

// The fluid populations and the second population set of a two-set
// neighbour are kept apart; tracer colours are not returned.
void MovingCell::setNextF(int i, double value, int component)
{
    if (i < 0 || i >= q)
        return;
    if (component == 0 || component == -1)
        received[i] = value;
    else if (component == 1)
        receivedSecond[i] = value;
}

Vector3d MovingCell::getVelocity(int)
{
    return movingBody ? movingBody->getVelocity() : Vector3d();
}

void MovingCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "moving");
    writer.writeAttribute("charge", QString::number(charge));
    writer.writeAttribute("p0", XmlFormat::real(p0));
    for (int i = 0; i < q; ++i)
        writer.writeAttribute(QStringLiteral("nextF%1").arg(i), XmlFormat::real(received[i]));
    writer.writeStartElement("something");
    if (auto *wall = dynamic_cast<MovingWall *>(movingBody)) {
        wall->write(writer);
    } else {
        // A particle is written by the particle manager; the cell keeps only
        // its position in the manager's list. Cells not yet grouped into a
        // particle refer to none.
        const ParticleManager *manager = grid ? grid->getParticleManager() : nullptr;
        writer.writeAttribute("type", "particle");
        writer.writeAttribute("index", QString::number(manager ? manager->indexOf(movingBody) : -1));
    }
    writer.writeEndElement();
}

void MovingCell::activate(QXmlStreamReader &reader, Grid *g)
{
    // Everything is read and checked first; a rejected value keeps the cell
    // (and its body) as it was, with a warning naming the attribute.
    AttributeReader a(reader);
    const int newCharge = a.integer("charge");
    const double newP0 = a.real("p0", 0.0, 0.0);
    double newReceived[Lattice::MaxQ];
    for (int i = 0; i < q; ++i)
        newReceived[i] = a.real(QStringLiteral("nextF%1").arg(i));
    // The body is the child element; stopping at the cell's own end keeps a
    // cell written without one from swallowing the next cell's element.
    do {
        reader.readNext();
    } while (!reader.isStartElement() && !reader.isEndElement() && !reader.atEnd());
    if (!a.ok()) {
        qWarning("%s", qPrintable(a.error()));
        return;
    }
    const QStringRef type = reader.isStartElement() ? reader.attributes().value("type") : QStringRef();
    SomethingMoving *body = nullptr;
    int particle = -1;
    if (type == QLatin1String("wall")) {
        auto *wall = new MovingWall;
        QString error;
        if (!wall->readChecked(reader, &error)) {
            delete wall;
            qWarning("%s", qPrintable(error));
            return;
        }
        body = wall;
    } else if (type == QLatin1String("particle")) {
        // The particle manager reads its particles after the cells are
        // placed and then ties this cell to the particle of this index.
        AttributeReader b(reader);
        particle = b.integer("index", -1, -1);
        if (!b.ok()) {
            qWarning("%s", qPrintable(b.error()));
            return;
        }
    } else {
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning("moving cell error");
    }
    grid = g;
    charge = newCharge;
    p0 = newP0;
    storedParticle = particle;
    for (int i = 0; i < q; ++i)
        received[i] = newReceived[i];
    releaseBody();
    if (body)
        setBody(body, true);
}

BaseCell *MovingCell::clone(const SimulationParameters &)
{
    auto *copy = new MovingCell(p0, charge, grid);
    if (movingBody)
        copy->setBody(movingBody->copy(), true);
    return copy;
}
