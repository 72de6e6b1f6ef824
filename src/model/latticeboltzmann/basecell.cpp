#include "basecell.h"

void BaseCell::passivate(QXmlStreamWriter &) {}

void BaseCell::activate(QXmlStreamReader &, Grid *) {}

void BaseCell::setF(double[]) {}

BaseCell *BaseCell::clone(const SimulationParameters &)
{
    return nullptr;
}
