#include "reflectwithfactorcell.h"

#include "lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QXmlStreamWriter>

void ReflectWithFactorCell::setNextF(int i, double value, int component)
{
    if (!neighbourBlock)
        return;
    const int j = Lattice::opposite(q, i);
    BaseCell *sender = neighbourBlock[j];
    if (!sender)
        return;
    const double factor = component > 9 && settings ? settings->getReflectWithFactor() : 1.0;
    sender->setNextF(j, factor * value, component);
}

void ReflectWithFactorCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "reflectWithFactor");
}
