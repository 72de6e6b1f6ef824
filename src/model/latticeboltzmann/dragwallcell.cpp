#include "dragwallcell.h"

#include "persistence/xmlformat.h"

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
    const int q = Lattice::currentQ();
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
}

void DragWallCell::activate(QXmlStreamReader &reader, Grid *)
{
    groupIndex = XmlFormat::readInt(reader.attributes(), "index");
}
