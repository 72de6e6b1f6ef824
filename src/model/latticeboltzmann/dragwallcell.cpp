#include "dragwallcell.h"

#include "grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

DragWallCell::DragWallCell()
{
    for (double &r : received)
        r = 0.0;
}

void DragWallCell::setNextF(int i, double value, int component)
{
    if ((component == 0 || component == -1) && i >= 0 && i < Lattice::MaxQ)
        received[i] = value;
    WallCell::setNextF(i, value, component);
}

// The populations are the post-collision values the fluid actually sent, not
// the neighbours' current (pre-collision) values: momentum exchange needs the
// former, and the latter overstate the shear on a wall by a factor of
// (tau + 1/2) / (tau - 1/2) in a Couette flow.
Vector3d DragWallCell::dragContribution(Grid *, int, int, int)
{
    Vector3d d;
    if (!neighbourBlock)
        return d;
    for (int i = 1; i < q; ++i) {
        if (!neighbourBlock[i])
            continue;
        const Vector3i e = Lattice::direction(q, i);
        const double f = 2.0 * received[Lattice::opposite(q, i)];
        d += Vector3d(f * e.x, f * e.y, f * e.z);
    }
    return d;
}

void DragWallCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "dragWall");
    writer.writeAttribute("index", QString::number(groupIndex));
    // What the fluid sent in the last step, so the drag reads right at once
    // after a load; a wall that has received nothing keeps the short form.
    bool nothing = true;
    for (int i = 0; i < q; ++i)
        nothing = nothing && received[i] == 0.0;
    for (int i = 0; i < q && !nothing; ++i)
        writer.writeAttribute(QStringLiteral("received%1").arg(i), XmlFormat::real(received[i]));
}

void DragWallCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    AttributeReader a(reader);
    groupIndex = a.integer("index");
    const int q = grid->getParameters()->getModel();
    for (int i = 0; i < q; ++i)
        received[i] = a.real(QStringLiteral("received%1").arg(i));
}
