#include "nullcell.h"

#include <QXmlStreamWriter>

void NullCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "null");
}
