#include "sourcecell.h"

SourceCell::SourceCell(Boundary *strategy) : currentStrategy(strategy) {}

SourceCell::~SourceCell()
{
    delete currentStrategy;
}

void SourceCell::setStrategy(Boundary *strategy)
{
    if (strategy == currentStrategy)
        return;
    delete currentStrategy;
    currentStrategy = strategy;
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
