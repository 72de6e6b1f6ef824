#include "opencell.h"

#include "equilibriumboundary.h"
#include "extrapolationboundary.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "strategyelement.h"
#include "zouheboundary.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

OpenCell::OpenCell(Boundary *strategy) : currentStrategy(strategy) {}

OpenCell::~OpenCell()
{
    delete currentStrategy;
}

OpenCell *OpenCell::extrapolation()
{
    return new OpenCell(new ExtrapolationBoundary);
}

void OpenCell::setStrategy(Boundary *strategy)
{
    if (strategy == currentStrategy)
        return;
    delete currentStrategy;
    currentStrategy = strategy;
}

bool OpenCell::replaceStrategy(int kind, const SimulationParameters &parameters)
{
    Boundary *strategy = nullptr;
    switch (kind) {
    case 1:
        strategy = new EquilibriumBoundary;
        strategy->setBoundaryP(parameters.getMinP0());
        break;
    case 2:
        strategy = new ExtrapolationBoundary;
        break;
    case 3:
        strategy = new ZouHeBoundary;
        strategy->setBoundaryP(parameters.getMinP0());
        break;
    default:
        return false;
    }
    setStrategy(strategy);
    return true;
}

void OpenCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    if (currentStrategy)
        currentStrategy->preUpdate(params, neighbours, grid, position);
}

void OpenCell::update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    if (currentStrategy)
        currentStrategy->update(params, neighbours, grid, position);
}

void OpenCell::postUpdate()
{
    if (currentStrategy)
        currentStrategy->postUpdate();
}

void OpenCell::reset(double p0, double p1)
{
    if (currentStrategy)
        currentStrategy->reset(p0, p1);
}

void OpenCell::setNextF(int i, double value, int component)
{
    if (currentStrategy)
        currentStrategy->setNextF(i, value, component);
}

void OpenCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "open");
    StrategyElement::write(writer, currentStrategy);
}

void OpenCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    static const QStringList accepted = {"equilibrium", "extrapolation", "zouhe"};
    QString rejection;
    Boundary *strategy = StrategyElement::read(reader, grid, accepted, &rejection);
    // A rejected value keeps the outlet as it was.
    if (!rejection.isEmpty()) {
        qWarning("%s", qPrintable(rejection));
        return;
    }
    if (!strategy)
        qWarning("outlet error");
    setStrategy(strategy);
}

BaseCell *OpenCell::clone(const SimulationParameters &parameters)
{
    return new OpenCell(currentStrategy ? static_cast<Boundary *>(currentStrategy->clone(parameters)) : nullptr);
}
