#include "momentpropagationcell.h"

#include "scalartracersettings.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"

#include <algorithm>
#include <typeinfo>

void MomentPropagationCell::allocateColours(int count)
{
    colours = std::max(0, count);
    g.assign(std::size_t(colours), 0.0);
    gNext.assign(std::size_t(colours), 0.0);
    theta.assign(std::size_t(colours), 0.0);
}

void MomentPropagationCell::initColours(double)
{
    std::fill(g.begin(), g.end(), 0.0);
    recomputeColours();
}

void MomentPropagationCell::recomputeColours()
{
    std::copy(g.begin(), g.end(), theta.begin());
}

void MomentPropagationCell::update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    innerCell->update(params, neighbours, grid, position);
    if (innerRole == Role::Null || colours == 0)
        return;
    const double delta = grid->getScalarTracers()->getEpsilon();
    const bool fluid = innerCell->isFluid();
    double ownShare[Lattice::MaxQ];
    double share[Lattice::MaxQ];
    MomentPropagationCell *from[Lattice::MaxQ];
    if (fluid) {
        const double density = innerCell->getP(0);
        for (int j = 0; j < q; ++j) {
            share[j] = 0.0;
            from[j] = nullptr;
            ownShare[j] = 0.0;
            BaseCell *n = neighbours[j];
            if (!n)
                continue;
            const double w = Lattice::weight(q, j);
            if (n->isFluid()) {
                // Only a wrapped neighbour has colours; a plain one counts as 0.
                from[j] =
                    typeid(*n) == typeid(MomentPropagationCell) ? static_cast<MomentPropagationCell *>(n) : nullptr;
                share[j] = n->getF(Lattice::opposite(q, j), 0) / n->getP(0) - delta * w;
            } else {
                const bool wrapped = typeid(*n) == typeid(MomentPropagationCell);
                const bool outlet = wrapped && static_cast<PassiveScalarCell *>(n)->role() == Role::Outlet;
                // What would have come from a wall is the cell's own share.
                if (!outlet)
                    ownShare[j] = innerCell->getF(j, 0) / density - delta * w;
            }
        }
    }
    for (int k = 0; k < colours; ++k) {
        if (fixedConcentration > 0.0 && k == sourceIndex) {
            gNext[std::size_t(k)] = fixedConcentration;
            continue;
        }
        if (!fluid)
            continue;
        const double t = g[std::size_t(k)];
        double sum = 0.0;
        for (int j = 0; j < q; ++j) {
            if (!neighbours[j])
                continue;
            if (neighbours[j]->isFluid())
                sum += share[j] * (from[j] ? from[j]->colour(k) : 0.0);
            else
                sum += ownShare[j] * t;
        }
        gNext[std::size_t(k)] = delta * t + sum;
    }
}

void MomentPropagationCell::postUpdate()
{
    innerCell->postUpdate();
    if (innerRole == Role::Null)
        return;
    std::copy(gNext.begin(), gNext.end(), g.begin());
    recomputeColours();
}

void MomentPropagationCell::reset(double p0, double p1)
{
    innerCell->reset(p0, p1);
    if (p1 > 0.0 && colours > 0)
        g[0] = p1;
    recomputeColours();
}

double MomentPropagationCell::getF(int i, int component)
{
    if (component > 9) {
        const int k = component - 10;
        return k < colours ? g[std::size_t(k)] : 0.0;
    }
    return innerCell->getF(i, component);
}

void MomentPropagationCell::setNextF(int i, double value, int component)
{
    if (component < 10)
        innerCell->setNextF(i, value, component);
}

void MomentPropagationCell::setF(double values[])
{
    innerCell->setF(values);
    for (int k = 0; k < colours; ++k) {
        double sum = 0.0;
        for (int i = 0; i < q; ++i)
            sum += values[q + k * q + i];
        g[std::size_t(k)] = sum;
    }
    recomputeColours();
}
