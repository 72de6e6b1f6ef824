#include "scalartracersettings.h"

#include "momentpropagationcell.h"
#include "passivescalarcell.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <limits>

bool ScalarTracerSettings::addSource(const ScalarSource &s, int newType)
{
    if (sourceList.size() >= MaxColours)
        return false;
    sourceList.append(s);
    type = newType;
    apply(newType);
    return true;
}

void ScalarTracerSettings::removeSource(int id)
{
    for (int i = sourceList.size() - 1; i >= 0; --i)
        if (sourceList[i].id == id)
            sourceList.removeAt(i);
    // The stored transport method stays: re-wrapping with another one would
    // switch the remaining colours' method behind the user's back.
    apply(type);
}

void ScalarTracerSettings::clearSources()
{
    sourceList.clear();
    apply(type);
}

const ScalarSource *ScalarTracerSettings::source(int id) const
{
    for (const ScalarSource &s : sourceList)
        if (s.id == id)
            return &s;
    return nullptr;
}

void ScalarTracerSettings::reinitialiseColours()
{
    grid->forEachCell([this](BaseCell *c, int, int, int) {
        if (auto *w = dynamic_cast<PassiveScalarCell *>(c))
            w->initColours(initialConcentration);
    });
}

void ScalarTracerSettings::rebuildTable()
{
    table.clear();
    for (const ScalarSource &s : sourceList)
        table.append(qRgb(std::clamp(s.red, 0, 255), std::clamp(s.green, 0, 255), std::clamp(s.blue, 0, 255)));
}

void ScalarTracerSettings::unwrapAll()
{
    for (int y = 0; y < grid->getHeight(); ++y)
        for (int x = 0; x < grid->getWidth(); ++x)
            for (int z = 0; z < grid->getLength(); ++z)
                if (auto *w = dynamic_cast<PassiveScalarCell *>(grid->getCell(x, y, z)))
                    grid->setCell(x, y, z, w->releaseInner(), true, false);
}

void ScalarTracerSettings::wrapAll(int wrapType, bool keepRead)
{
    const int colours = colourCount();
    const bool moments = wrapType != 1;
    for (int y = 0; y < grid->getHeight(); ++y)
        for (int x = 0; x < grid->getWidth(); ++x)
            for (int z = 0; z < grid->getLength(); ++z) {
                BaseCell *cell = grid->getCell(x, y, z);
                auto *w = dynamic_cast<PassiveScalarCell *>(cell);
                // A wrapper of the other transport method is replaced.
                if (w && (dynamic_cast<MomentPropagationCell *>(w) != nullptr) != moments) {
                    cell = w->releaseInner();
                    grid->setCell(x, y, z, cell, true, false);
                    w = nullptr;
                }
                const bool fresh = !w || !keepRead || w->colourCount() != colours;
                if (!w) {
                    const int q = grid->getParameters()->getModel();
                    w = moments ? new MomentPropagationCell(cell, q) : new PassiveScalarCell(cell, q);
                    grid->setCell(x, y, z, w, false, false);
                }
                if (fresh)
                    prepareFresh(w, x, y, z);
            }
}

void ScalarTracerSettings::prepareFresh(PassiveScalarCell *w, int x, int y, int z) const
{
    const int colours = colourCount();
    w->setSource(-1.0, -1);
    w->allocateColours(colours);
    // Later sources take the sites they share with earlier ones.
    for (int l = colours - 1; l >= 0; --l)
        if (sourceList[l].contains(x, y, z)) {
            w->setSource(fixedConcentration, l);
            w->initColours(initialConcentration);
            break;
        }
}

BaseCell *ScalarTracerSettings::wrapNew(BaseCell *cell, int x, int y, int z) const
{
    if (sourceList.isEmpty() || !cell || dynamic_cast<PassiveScalarCell *>(cell))
        return cell;
    const int q = grid->getParameters()->getModel();
    PassiveScalarCell *w = type != 1 ? new MomentPropagationCell(cell, q) : new PassiveScalarCell(cell, q);
    prepareFresh(w, x, y, z);
    return w;
}

void ScalarTracerSettings::apply(int wrapType)
{
    if (sourceList.isEmpty())
        unwrapAll();
    else
        wrapAll(wrapType, false);
    rebuildTable();
    grid->getParameters()->setNeedsNeighbourRebuild(true);
}

void ScalarTracerSettings::refresh()
{
    if (!sourceList.isEmpty())
        apply(type);
}

void ScalarTracerSettings::refined(int factor)
{
    if (sourceList.isEmpty() || factor < 1)
        return;
    // In 64 bits and kept within int: a box read from a document may reach
    // far beyond the grid.
    auto scaled = [factor](int v, int extra) {
        const long long r = (long long)v * factor + extra;
        return int(std::clamp<long long>(r, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    for (ScalarSource &s : sourceList) {
        s.minx = scaled(s.minx, 0);
        s.maxx = scaled(s.maxx, factor - 1);
        s.miny = scaled(s.miny, 0);
        s.maxy = scaled(s.maxy, factor - 1);
    }
    wrapAll(type, true);
    rebuildTable();
    grid->getParameters()->setNeedsNeighbourRebuild(true);
}

void ScalarTracerSettings::write(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("epsilon", XmlFormat::real(epsilon));
    writer.writeAttribute("colorsQuantity", QString::number(sourceList.size()));
    writer.writeAttribute("injectionPeriod", QString::number(injectionPeriod));
    writer.writeAttribute("injectionTime", QString::number(injectionTime));
    writer.writeAttribute("type", QString::number(type));
    for (const ScalarSource &s : sourceList) {
        writer.writeStartElement("color");
        writer.writeAttribute("id", QString::number(s.id));
        writer.writeAttribute("minx", QString::number(s.minx));
        writer.writeAttribute("maxx", QString::number(s.maxx));
        writer.writeAttribute("miny", QString::number(s.miny));
        writer.writeAttribute("maxy", QString::number(s.maxy));
        writer.writeAttribute("minz", QString::number(s.minz));
        writer.writeAttribute("maxz", QString::number(s.maxz));
        writer.writeAttribute("color1X", QString::number(s.red));
        writer.writeAttribute("color1Y", QString::number(s.green));
        writer.writeAttribute("color1Z", QString::number(s.blue));
        writer.writeEndElement();
    }
}

bool ScalarTracerSettings::read(QXmlStreamReader &reader, QString *error)
{
    if (reader.name() != QLatin1String("passivescalarsingleton")) {
        reader.skipCurrentElement();
        return true;
    }
    AttributeReader a(reader);
    const double newEpsilon = a.real("epsilon", epsilon);
    const int newPeriod = a.integer("injectionPeriod", 0, 0);
    const int newTime = a.integer("injectionTime", 0, 0);
    const int newType = a.integer("type", 1);
    if (!a.ok()) {
        *error = a.error();
        reader.skipCurrentElement();
        return false;
    }
    // The sources are the "color" children actually present, whatever
    // "colorsQuantity" announces.
    QList<ScalarSource> list;
    QString why;
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() != QLatin1String("color") || !why.isEmpty())
            continue;
        if (list.size() >= MaxColours) {
            why = QStringLiteral("more than %1 colours").arg(MaxColours);
            continue;
        }
        AttributeReader c(reader);
        ScalarSource s;
        s.id = c.integer("id");
        s.minx = c.integer("minx");
        s.maxx = c.integer("maxx");
        s.miny = c.integer("miny");
        s.maxy = c.integer("maxy");
        s.minz = c.integer("minz");
        s.maxz = c.integer("maxz");
        s.red = c.integer("color1X", 0, 0, 255);
        s.green = c.integer("color1Y", 0, 0, 255);
        s.blue = c.integer("color1Z", 0, 0, 255);
        if (!c.ok())
            why = c.error();
        else
            list.append(s);
    }
    if (why.isEmpty() && !children.finished())
        why = reader.hasError() ? reader.errorString() : QStringLiteral("the element is not closed");
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    epsilon = newEpsilon;
    injectionPeriod = newPeriod;
    injectionTime = newTime;
    type = newType;
    sourceList = list;
    // The cells read from the document keep their colours and marks.
    if (sourceList.isEmpty())
        unwrapAll();
    else
        wrapAll(type, true);
    rebuildTable();
    grid->getParameters()->setNeedsNeighbourRebuild(true);
    return true;
}
