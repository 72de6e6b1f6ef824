#include "sourcecell.h"

#include "equilibriumboundary.h"
#include "fixedboundary.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"
#include "pointboundary.h"
#include "strategyelement.h"
#include "zouheboundary.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

SourceCell::SourceCell(Boundary *strategy) : currentStrategy(strategy) {}

SourceCell::~SourceCell()
{
    delete currentStrategy;
}

SourceCell *SourceCell::fixedFlux(double speed, double density)
{
    auto *strategy = new FixedBoundary;
    strategy->setBoundaryU(speed);
    strategy->setBoundaryP(density);
    return new SourceCell(strategy);
}

SourceCell *SourceCell::point(double density)
{
    return new SourceCell(new PointBoundary(density));
}

void SourceCell::setStrategy(Boundary *strategy)
{
    if (strategy == currentStrategy)
        return;
    delete currentStrategy;
    currentStrategy = strategy;
}

void SourceCell::setIndex(int index)
{
    inletIndex = index;
    if (auto *fixed = dynamic_cast<FixedBoundary *>(currentStrategy))
        fixed->setMultiComponentIndex(index);
}

bool SourceCell::replaceStrategy(int kind, const SimulationParameters &parameters)
{
    const double speed = currentStrategy ? currentStrategy->getBoundaryU() : 0.0;
    Boundary *strategy = nullptr;
    switch (kind) {
    case 1:
        strategy = new EquilibriumBoundary;
        strategy->setBoundaryU(speed);
        break;
    case 2: {
        auto *fixed = new FixedBoundary;
        // Groups 0 and 1 have their own density; group 2 takes group 0's.
        fixed->setBoundaryP(parameters.getSourcePressure(inletIndex == 1 ? 1 : 0));
        fixed->setBoundaryU(speed);
        fixed->setMultiComponentIndex(inletIndex);
        strategy = fixed;
        break;
    }
    case 3:
        strategy = new ZouHeBoundary;
        strategy->setBoundaryU(speed);
        break;
    default:
        return false;
    }
    setStrategy(strategy);
    return true;
}

void SourceCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    if (currentStrategy)
        currentStrategy->preUpdate(params, neighbours, grid, position);
}

void SourceCell::update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    if (currentStrategy)
        currentStrategy->update(params, neighbours, grid, position);
}

void SourceCell::postUpdate()
{
    if (currentStrategy)
        currentStrategy->postUpdate();
}

void SourceCell::reset(double p0, double p1)
{
    if (currentStrategy)
        currentStrategy->reset(p0, p1);
}

void SourceCell::setNextF(int i, double value, int component)
{
    if (currentStrategy)
        currentStrategy->setNextF(i, value, component);
}

void SourceCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "source");
    writer.writeAttribute("index", QString::number(inletIndex));
    StrategyElement::write(writer, currentStrategy);
}

void SourceCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    // The groups are 0, 1 and 2; an index outside them keeps the inlet as it
    // was (the reader still moves on to the child, so the next cell is read
    // in its place).
    AttributeReader a(reader);
    const int index = a.integer("index", 0, 0, 2);
    static const QStringList accepted = {"equilibrium", "fixed", "point", "zouhe"};
    QString rejection;
    Boundary *strategy = StrategyElement::read(reader, grid, accepted, &rejection);
    if (!a.ok() || !rejection.isEmpty()) {
        qWarning("%s", qPrintable(a.ok() ? rejection : a.error()));
        delete strategy;
        return;
    }
    inletIndex = index;
    if (!strategy)
        qWarning("inlet error");
    setStrategy(strategy);
}

BaseCell *SourceCell::clone(const SimulationParameters &parameters)
{
    auto *copy =
        new SourceCell(currentStrategy ? static_cast<Boundary *>(currentStrategy->clone(parameters)) : nullptr);
    copy->inletIndex = inletIndex;
    return copy;
}
