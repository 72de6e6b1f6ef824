#include "depositionwall.h"

#include <QXmlStreamWriter>

void DepositionWall::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "depositionWall");
}
