#include "populations.h"

#include "blockpool.h"
#include "lattice.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

void *allocateBytes(std::size_t bytes)
{
    const std::size_t rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void *memory = std::aligned_alloc(rounded >= HugePage ? HugePage : 64, rounded);
    if (!memory)
        throw std::bad_alloc();
    BlockPool::adviseHugePages(memory, rounded);
    std::memset(memory, 0, bytes);
    return memory;
}

double *allocateArray(std::size_t bytes)
{
    return static_cast<double *>(allocateBytes(bytes));
}

} // namespace

Populations::~Populations()
{
    release();
}

void Populations::allocate(int directions, std::size_t sites, bool singlePrecision)
{
    release();
    q = directions;
    stride = sites;
    single = singlePrecision;
    // The weights the shifted floats are stored against. Only the plain
    // populations are ever single; other stores hold several sets of
    // directions (colour k, direction i at k * q + i), so their count is no
    // lattice's Q and has no weight row.
    weight.fill(0.0);
    if (single && q <= Lattice::MaxQ)
        for (int i = 0; i < q; ++i)
            weight[std::size_t(i)] = Lattice::tables.w[q][i];
    try {
        if (single) {
            // Zeroed shifted values: every site starts at the weights.
            const std::size_t bytes = std::size_t(q) * stride * sizeof(float);
            curSingle = static_cast<float *>(allocateBytes(bytes));
            nextSingle = static_cast<float *>(allocateBytes(bytes));
        } else {
            const std::size_t bytes = std::size_t(q) * stride * sizeof(double);
            cur = allocateArray(bytes);
            next = allocateArray(bytes);
        }
    } catch (...) {
        release();
        throw;
    }
}

void Populations::useFieldShifts(double tau, bool allAxes)
{
    if (stride == 0)
        return;
    if (!shiftY)
        shiftY = allocateArray(stride * sizeof(double));
    if (allAxes && !shiftX)
        shiftX = allocateArray(stride * sizeof(double));
    if (allAxes && !shiftZ)
        shiftZ = allocateArray(stride * sizeof(double));
    shiftTau = tau;
    fieldShifts = true;
    fieldShiftsXZ = allAxes;
}

void Populations::useSolid()
{
    if (!solid && stride > 0)
        solid = allocateArray(stride * sizeof(double));
}

void Populations::release()
{
    touch();
    std::free(cur);
    std::free(next);
    std::free(curSingle);
    std::free(nextSingle);
    curSingle = nextSingle = nullptr;
    single = false;
    std::free(shiftX);
    std::free(shiftY);
    std::free(shiftZ);
    std::free(solid);
    cur = next = shiftX = shiftY = shiftZ = solid = nullptr;
    fieldShifts = false;
    fieldShiftsXZ = false;
    stride = 0;
    q = 0;
}
