#include "porouscell.h"

#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <algorithm>

PorousCell::PorousCell(double p0, const SimulationParameters &parameters) : SCCell(p0, parameters.getModel())
{
    setSolidDensity(parameters.getPorousSolidDensity());
}

void PorousCell::setSolidDensity(double s)
{
    solidDensity = std::isfinite(s) ? std::clamp(s, 0.0, 1.0) : 0.0;
    // While attached, the grid's line kernels read the value beside the
    // populations.
    if (!f && store->solid)
        store->solid[site] = solidDensity;
}

void PorousCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    if (solidDensity == 0.0) {
        SCCell::preUpdate(params, neighbours, grid, position);
        return;
    }
    const int n = getQ();
    double out[Lattice::MaxQ];
    collide(params, neighbours, grid, position, out);
    const double s = solidDensity, keep = 1.0 - solidDensity;
    for (int i = 0; i < n; ++i)
        if (BaseCell *nb = neighbours[i])
            nb->setNextF(i, keep * out[i] + s * getF(Lattice::opposite(n, i), 0), 0);
}

Vector3d PorousCell::getVelocity(int component)
{
    const Vector3d velocity = SCCell::getVelocity(component);
    return solidDensity == 0.0 ? velocity : velocity * (1.0 - solidDensity);
}

BaseCell *PorousCell::clone(const SimulationParameters &parameters)
{
    PorousCell *c = new PorousCell(getP0(), parameters);
    double values[Lattice::MaxQ];
    const int n = std::min(getQ(), c->getQ());
    for (int i = 0; i < n; ++i)
        values[i] = getF(i, 0);
    for (int i = n; i < c->getQ(); ++i)
        values[i] = c->getF(i, 0);
    c->setF(values);
    return c;
}

void PorousCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "porous");
    writer.writeAttribute("p0", XmlFormat::real(getP0()));
    writer.writeAttribute("lastDeltaP", XmlFormat::real(getDeltaP()));
    for (int i = 0; i < getQ(); ++i)
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(getF(i, 0)));
    writer.writeAttribute("solidDensity", XmlFormat::real(solidDensity));
}

void PorousCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    AttributeReader a(reader);
    const double s = a.real("solidDensity", solidDensity, 0.0, 1.0);
    if (!a.ok())
        qWarning() << "load error:" << a.error();
    SCCell::activate(reader, grid);
    setSolidDensity(s);
}
