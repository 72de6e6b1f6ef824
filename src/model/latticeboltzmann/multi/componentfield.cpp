#include "componentfield.h"

#include "exactcell.h"
#include "mccell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/wallcell.h"

void ComponentField::allocate(int components, std::size_t sites)
{
    if (components == count && sites == stride)
        return;
    count = components;
    stride = sites;
    values.assign(std::size_t(components) * sites, 0.0);
    kinds.assign(sites, Other);
}

void ComponentField::release()
{
    count = 0;
    stride = 0;
    std::vector<double>().swap(values);
    std::vector<std::uint8_t>().swap(kinds);
}

void ComponentField::formSite(BaseCell *cell, std::size_t s)
{
    if (MCCell *mixture = exactCell<MCCell>(cell)) {
        for (int j = 0; j < count; ++j) {
            SCCell *c = mixture->component(j);
            setDensity(j, s, c ? c->getP(-1) : 0.0);
        }
        setKind(s, mixture->porousComponent(0) ? PorousMixture : Mixture);
        return;
    }
    for (int j = 0; j < count; ++j)
        setDensity(j, s, cell ? cell->getP(j) : 0.0);
    setKind(s, exactCell<WallCell>(cell) ? Wall : Other);
}
