#include "thermalwall.h"

#include "passivescalar.h"

#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

void ThermalWall::setNextF(int i, double value, int component)
{
    if (!neighbourBlock)
        return;
    const int j = Lattice::opposite(q, i);
    BaseCell *sender = neighbourBlock[j];
    if (!sender)
        return;
    // Only a heat cell's second set is a scalar; any other's is a fluid.
    if (component != 1 || !dynamic_cast<PassiveScalar *>(PassiveScalarCell::innerOf(sender))) {
        sender->setNextF(j, value, component);
        return;
    }
    // The scalar's equilibrium at the resting wall is w_i T in every
    // direction (w_i = w_j).
    sender->setNextF(j, 2.0 * Lattice::weight(q, i) * settings->getThermal(index) - value, 1);
}

void ThermalWall::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "thermalWall");
    writer.writeAttribute("index", QString::number(index));
}

void ThermalWall::activate(QXmlStreamReader &reader, Grid *)
{
    AttributeReader a(reader);
    const int i = a.integer("index", 0, 0, 1 << 20);
    if (a.ok())
        index = i;
    else
        qWarning() << "load error:" << a.error();
}
