#include "passivescalarcell.h"

#include "scalartracersettings.h"

#include "model/latticeboltzmann/boundary/boundary.h"
#include "model/latticeboltzmann/boundary/facetable.h"
#include "model/latticeboltzmann/boundary/opencell.h"
#include "model/latticeboltzmann/boundary/sourcecell.h"
#include "model/latticeboltzmann/cellfactory.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/nullcell.h"
#include "model/latticeboltzmann/plainsite.h"
#include "model/latticeboltzmann/reflectwithfactorcell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/elementcopy.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <algorithm>
#include <typeinfo>

PassiveScalarCell::PassiveScalarCell(BaseCell *inner, int model) : q(model)
{
    setInner(inner ? inner : new NullCell);
}

PassiveScalarCell::~PassiveScalarCell()
{
    delete innerCell;
}

void PassiveScalarCell::attachColours(Populations *scalars, int siteIndex)
{
    detachColours();
    const int n = colours * q;
    for (int v = 0; v < n; ++v) {
        scalars->cur[std::size_t(v) * scalars->stride + siteIndex] = g[std::size_t(v)];
        scalars->next[std::size_t(v) * scalars->stride + siteIndex] = gNext[std::size_t(v)];
    }
    std::vector<double>().swap(g);
    std::vector<double>().swap(gNext);
    std::vector<double>().swap(theta);
    store = scalars;
    site = siteIndex;
}

void PassiveScalarCell::detachColours()
{
    if (!store)
        return;
    const std::size_t n = std::size_t(colours) * q;
    g.resize(n);
    gNext.resize(n);
    for (std::size_t v = 0; v < n; ++v) {
        g[v] = store->cur[v * store->stride + site];
        gNext[v] = store->next[v * store->stride + site];
    }
    store = nullptr;
    site = -1;
    theta.assign(std::size_t(colours), 0.0);
    recomputeColours();
}

double PassiveScalarCell::attachedColour(int k) const
{
    double sum = 0.0;
    for (int i = 0; i < q; ++i)
        sum += currentValue(k * q + i);
    return sum;
}

BaseCell *PassiveScalarCell::innerOf(BaseCell *cell)
{
    auto *wrapper = dynamic_cast<PassiveScalarCell *>(cell);
    return wrapper ? wrapper->innerCell : cell;
}

BaseCell *PassiveScalarCell::releaseInner()
{
    layoutChanged();
    BaseCell *cell = innerCell;
    innerCell = new NullCell;
    innerRole = Role::Null;
    return cell;
}

void PassiveScalarCell::setInner(BaseCell *cell)
{
    // The wrapper owns its inner cell: a plain site's handle, which belongs
    // to the grid, gives the fluid cell it stands for.
    if (typeid(*cell) == typeid(PlainSite))
        cell = static_cast<PlainSite *>(cell)->materialise();
    innerCell = cell;
    reflects = dynamic_cast<ReflectWithFactorCell *>(cell) != nullptr;
    if (cell->isFluid())
        innerRole = Role::Fluid;
    else if (dynamic_cast<NullCell *>(cell))
        innerRole = Role::Null;
    else if (dynamic_cast<OpenCell *>(cell))
        innerRole = Role::Outlet;
    else if (dynamic_cast<SourceCell *>(cell) || dynamic_cast<Boundary *>(cell))
        innerRole = Role::Through;
    else
        // Walls of every kind, moving and slip walls, thermal walls: nothing
        // the colours may pass through.
        innerRole = Role::Solid;
}

int PassiveScalarCell::modelQ()
{
    const int m = innerCell->modelQ();
    return m != 0 ? m : q;
}

void PassiveScalarCell::allocateColours(int count)
{
    if (store) {
        layoutChanged();
        store = nullptr;
        site = -1;
    }
    colours = std::max(0, count);
    const std::size_t n = std::size_t(colours) * q;
    g.assign(n, 0.0);
    gNext.assign(n, 0.0);
    theta.assign(std::size_t(colours), 0.0);
}

void PassiveScalarCell::initColours(double concentration)
{
    for (int k = 0; k < colours; ++k)
        for (int i = 0; i < q; ++i)
            setValue(k * q + i, Lattice::isActive(q, i) ? Lattice::weight(q, i) * concentration : 0.0);
    recomputeColours();
}

void PassiveScalarCell::recomputeColours()
{
    // Attached, the colour values are summed when asked for.
    if (store)
        return;
    for (int k = 0; k < colours; ++k) {
        double sum = 0.0;
        const double *gk = &g[std::size_t(k * q)];
        for (int i = 0; i < q; ++i)
            sum += gk[i];
        theta[std::size_t(k)] = sum;
    }
}

void PassiveScalarCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    innerCell->preUpdate(params, neighbours, grid, position);
    if (innerRole == Role::Null || colours == 0)
        return;
    const ScalarTracerSettings *settings = grid->getScalarTracers();
    const Vector3d u = innerCell->getLatticeVelocity(0);
    const double omega = 1.0 / settings->getEpsilon();
    const double keep = 1.0 - omega;
    for (int k = 0; k < colours; ++k) {
        const int component = 10 + k;
        if (fixedConcentration >= 0.0 && k == sourceIndex) {
            const double value = settings->emission(fixedConcentration, grid->getStatistics().iterations);
            for (int i = 0; i < q; ++i)
                if (BaseCell *n = neighbours[i])
                    n->setNextF(i, Lattice::equilibriumFirstOrder(u, value, q, i), component);
            continue;
        }
        if (innerRole == Role::Solid)
            continue;
        const double t = colour(k);
        for (int i = 0; i < q; ++i)
            if (BaseCell *n = neighbours[i])
                n->setNextF(i, currentValue(k * q + i) * keep + omega * Lattice::equilibriumFirstOrder(u, t, q, i),
                            component);
    }
}

void PassiveScalarCell::update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    innerCell->update(params, neighbours, grid, position);
    if (innerRole != Role::Outlet || colours == 0)
        return;
    // The colours leave by the outlet as the fluid does: the target's
    // incoming colour populations become its own equilibrium.
    const int side = FaceTable::select(q, neighbours);
    if (side < 0)
        return;
    const FaceTable::Face &face = FaceTable::face(q, side);
    BaseCell *target = neighbours[face.front];
    if (!target)
        return;
    const Vector3d u = target->getLatticeVelocity(0);
    for (int k = 0; k < colours; ++k) {
        const double t = target->getP(10 + k);
        for (int c = 0; c < face.count; ++c) {
            const int j = face.incoming[c];
            target->setNextF(j, Lattice::equilibriumFirstOrder(u, t, q, j), 10 + k);
        }
    }
}

void PassiveScalarCell::postUpdate()
{
    innerCell->postUpdate();
    // Attached colours are committed by the grid's flip.
    if (innerRole == Role::Null || store)
        return;
    // A copy, not a swap: entries no neighbour writes (open box edges) stay
    // as they are instead of alternating between two old values.
    std::copy(gNext.begin(), gNext.end(), g.begin());
    recomputeColours();
}

double PassiveScalarCell::getF(int i, int component)
{
    if (component > 9) {
        const int k = component - 10;
        return k < colours && i >= 0 && i < q ? currentValue(k * q + i) : 0.0;
    }
    return innerCell->getF(i, component);
}

void PassiveScalarCell::setNextF(int i, double value, int component)
{
    if (component < 10) {
        innerCell->setNextF(i, value, component);
        return;
    }
    const int k = component - 10;
    if (k >= colours || i < 0 || i >= q)
        return;
    if (innerRole == Role::Solid && i != 0) {
        // A source's own emission replaces the reflection of its colour, so
        // each next entry keeps exactly one writer.
        if (k == sourceIndex && fixedConcentration >= 0.0)
            return;
        if (!neighbourBlock)
            return;
        const int back = Lattice::opposite(q, i);
        auto *sender = dynamic_cast<PassiveScalarCell *>(neighbourBlock[back]);
        if (!sender || sender->innerRole == Role::Solid)
            return;
        const double factor = reflects && settings ? settings->getReflectWithFactor() : 1.0;
        sender->setNextF(back, factor * value, component);
        return;
    }
    nextValue(k * q + i) = value;
}

double PassiveScalarCell::getP(int component)
{
    if (component > 9)
        return colour(component - 10);
    return innerCell->getP(component);
}

int PassiveScalarCell::getKind()
{
    if (fixedConcentration >= 0.0)
        return -(sourceIndex + 1);
    return innerCell->getKind();
}

void PassiveScalarCell::setF(double values[])
{
    innerCell->setF(values);
    for (int k = 0; k < colours; ++k)
        for (int i = 0; i < q; ++i)
            setValue(k * q + i, values[q + k * q + i]);
    recomputeColours();
}

BaseCell *PassiveScalarCell::clone(const SimulationParameters &parameters)
{
    BaseCell *copy = innerCell->clone(parameters);
    if (!copy)
        return nullptr;
    PassiveScalarCell *c = emptyWrapper(copy);
    c->q = q;
    c->colours = colours;
    c->g = g;
    c->gNext = gNext;
    c->theta = theta;
    if (store) {
        // The copy keeps arrays of its own.
        const int n = colours * q;
        c->g.resize(std::size_t(n));
        c->gNext.resize(std::size_t(n));
        for (int v = 0; v < n; ++v) {
            c->g[std::size_t(v)] = currentValue(v);
            c->gNext[std::size_t(v)] = store->next[std::size_t(v) * store->stride + site];
        }
        c->theta.assign(std::size_t(colours), 0.0);
        c->recomputeColours();
    }
    c->setSource(fixedConcentration, sourceIndex);
    return c;
}

void PassiveScalarCell::writeInnerNext(QXmlStreamWriter &writer)
{
    if (typeid(*innerCell) != typeid(SCCell))
        return;
    const int n = static_cast<SCCell *>(innerCell)->getQ();
    for (int i = 0; i < n; ++i)
        writer.writeAttribute(QStringLiteral("n%1").arg(i), XmlFormat::real(innerCell->getNextF(i, 0)));
}

void PassiveScalarCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", typeName());
    writer.writeAttribute("fixedConcentration", XmlFormat::real(fixedConcentration));
    writer.writeAttribute("index", QString::number(sourceIndex));
    const int n = storedValues();
    for (int v = 0; v < n; ++v)
        writer.writeAttribute(QStringLiteral("f%1").arg(v), XmlFormat::real(storedValue(v)));
    writer.writeStartElement("cell");
    innerCell->passivate(writer);
    writeInnerNext(writer);
    writer.writeEndElement();
}

void PassiveScalarCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    AttributeReader a(reader);
    const double fixed = a.real("fixedConcentration", -1.0);
    const int index = a.integer("index", -1, -1, ScalarTracerSettings::MaxColours - 1);
    // The colour count follows from the values present, never from a
    // declared number: consecutive "f" attributes, whole colours only.
    int present = 0;
    const int perColour = valuesPerColour();
    while (present < ScalarTracerSettings::MaxColours * perColour && a.has(QStringLiteral("f%1").arg(present)))
        ++present;
    allocateColours(present / perColour);
    for (int v = 0; v < storedValues(); ++v)
        setStoredValue(v, a.real(QStringLiteral("f%1").arg(v)));
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        allocateColours(0);
    }
    setSource(fixed, index);
    recomputeColours();

    // The wrapped cell is the "cell" child, read from a copy of its own so
    // that however it reads, it cannot run past its element.
    BaseCell *read = nullptr;
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() != QLatin1String("cell") || read)
            continue;
        const QString type = reader.attributes().value("type").toString();
        read = CellFactory::create(type, *grid);
        if (!read || dynamic_cast<PassiveScalarCell *>(read)) {
            QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning("load error");
            delete read;
            read = nullptr;
            children.skip();
            continue;
        }
        AttributeReader next(reader);
        double nextValues[Lattice::MaxQ];
        int nextCount = 0;
        while (nextCount < Lattice::MaxQ && next.has(QStringLiteral("n%1").arg(nextCount))) {
            nextValues[nextCount] = next.real(QStringLiteral("n%1").arg(nextCount));
            ++nextCount;
        }
        const QByteArray copy = ElementCopy::capture(reader);
        QXmlStreamReader own(copy);
        own.readNextStartElement();
        read->activate(own, grid);
        if (next.ok() && typeid(*read) == typeid(SCCell) && nextCount == static_cast<SCCell *>(read)->getQ())
            for (int i = 0; i < nextCount; ++i)
                read->setNextF(i, nextValues[i], 0);
    }
    if (read) {
        delete innerCell;
        setInner(read);
    }
}
