#include "movingcell.h"

#include "../grid.h"
#include "../wallcell.h"
#include "movingwall.h"
#include "persistence/simulationparameters.h"
#include "persistence/xmlformat.h"

#include <QLoggingCategory>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

MovingCell::MovingCell(double initialDensity, int c, Grid *g) : grid(g), charge(c), p0(initialDensity)
{
    q = Lattice::currentQ();
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

void MovingCell::preUpdate(double params[], BaseCell *neighbours[], Grid *g, Vector3i position)
{
    if (movingBody)
        movingBody->exchange(params, neighbours, g, position);
}

// Moving bounce-back: every fluid neighbour gets back, in the direction that
// points from this site to it, what it streamed in here, corrected by
// 2 w rho (e . u_b) / cs^2 with cs^2 = 1/3. The neighbour is looked up in the
// grid itself (a particle may have moved since the neighbour table was built),
// wrapped across the box like the neighbour table when the boundaries are
// periodic, so fluid across a periodic seam is treated like any other.
void MovingCell::update(double params[], BaseCell *neighbours[], Grid *g, Vector3i position)
{
    if (!g)
        return;
    // A cell still waiting for its body bounces back as a wall at rest.
    const Vector3d ub = movingBody ? movingBody->getVelocity() : Vector3d();
    const bool periodic = g->getParameters()->getPeriodicBoundaries();
    const int nx = g->getWidth(), ny = g->getHeight(), nz = g->getLength();
    for (int i = 1; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        Vector3i t = position + Lattice::direction(q, i);
        if (periodic)
            t = t.wrapped(nx, ny, nz);
        BaseCell *n = g->getCell(t);
        if (!n || !n->isFluid())
            continue;
        const int o = Lattice::opposite(q, i);
        n->setNextF(i, received[o] + 6.0 * Lattice::weight(q, o) * n->getP(-1) * Lattice::dot(q, i, ub), -1);
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
    if (movingBody)
        movingBody->update();
}

// Only the fluid populations are kept: the second population set of a heat
// or two-phase neighbour and the tracer colours would otherwise overwrite
// them and come back as fluid.
void MovingCell::setNextF(int i, double value, int component)
{
    if ((component == 0 || component == -1) && i >= 0 && i < q)
        received[i] = value;
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
        // a reference to it. Cells whose particle has not been attached yet
        // refer to none.
        writer.writeAttribute("type", "particle");
        writer.writeAttribute("index", QString::number(-1));
    }
    writer.writeEndElement();
}

void MovingCell::activate(QXmlStreamReader &reader, Grid *g)
{
    grid = g;
    const QXmlStreamAttributes a = reader.attributes();
    charge = XmlFormat::readInt(a, "charge");
    p0 = XmlFormat::readReal(a, "p0");
    for (int i = 0; i < q; ++i)
        received[i] = XmlFormat::readReal(a, QStringLiteral("nextF%1").arg(i));
    releaseBody();
    // The body is the child element; stopping at the cell's own end keeps a
    // cell written without one from swallowing the next cell's element.
    do {
        reader.readNext();
    } while (!reader.isStartElement() && !reader.isEndElement() && !reader.atEnd());
    const QStringRef type = reader.isStartElement() ? reader.attributes().value("type") : QStringRef();
    if (type == QLatin1String("wall")) {
        auto *wall = new MovingWall;
        wall->read(reader);
        setBody(wall, true);
    } else if (type == QLatin1String("particle")) {
        // Particles are looked up by index in the grid's particle manager;
        // until it holds particles the cell stays without a body.
    } else {
        QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning("moving cell error");
    }
}

BaseCell *MovingCell::clone()
{
    auto *copy = new MovingCell(p0, charge, grid);
    if (movingBody)
        copy->setBody(movingBody->copy(), true);
    return copy;
}
