#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

// The grid-owned populations of the plain fluid cells: a current and a next
// array, each laid out direction by direction (entry i * stride + site, in
// the grid's site order), so a line of sites reads and writes every
// direction contiguously. The grid flips the two arrays once per iteration
// instead of every cell swapping its own. Entries of sites whose cell is not
// attached are unused.
//
// In single precision the store holds 32-bit values shifted by their
// direction's weight (f_i - w_i, in curSingle and nextSingle; cur and next
// are null): the deviations from rest keep their relative precision, while
// every reader adds the weight back and computes in double, and every writer
// subtracts it and rounds once on the store.
class Populations
{
public:
    Populations() = default;
    ~Populations();
    Populations(const Populations &) = delete;
    Populations &operator=(const Populations &) = delete;

    // Zeroed arrays for q directions of the given number of sites, of
    // doubles or of shifted floats (see above).
    void allocate(int q, std::size_t sites, bool singlePrecision = false);
    void release();
    // Takes the other's arrays, which it gets the present ones in exchange;
    // the flip count stays this store's own.
    void adopt(Populations &other)
    {
        std::swap(cur, other.cur);
        std::swap(next, other.next);
        std::swap(curSingle, other.curSingle);
        std::swap(nextSingle, other.nextSingle);
        std::swap(single, other.single);
        std::swap(weight, other.weight);
        std::swap(stride, other.stride);
        std::swap(q, other.q);
        std::swap(shiftX, other.shiftX);
        std::swap(shiftY, other.shiftY);
        std::swap(shiftZ, other.shiftZ);
        std::swap(solid, other.solid);
        fieldShifts = false;
        fieldShiftsXZ = false;
        layoutDirty = true;
        touch();
    }
    void flip()
    {
        std::swap(cur, next);
        std::swap(curSingle, nextSingle);
        ++generation;
    }
    // Marks the current values as written outside the stepping (a cell set,
    // attached or reset, the arrays replaced): values a step kept of them no
    // longer hold. Cheap when already marked, and safe from several threads.
    void touch()
    {
        if (!touched.load(std::memory_order_relaxed))
            touched.store(true, std::memory_order_relaxed);
    }
    bool wasTouched() const { return touched.load(std::memory_order_relaxed); }
    void clearTouched() { touched.store(false, std::memory_order_relaxed); }
    // Marks that an attached cell's force shift may be non-zero (the plain
    // kernels do not clear it). The cells of a parallel phase all mark it,
    // so it is atomic; cheap when already marked.
    void markShifts()
    {
        if (!shifted.load(std::memory_order_relaxed))
            shifted.store(true, std::memory_order_relaxed);
    }
    bool shiftsMarked() const { return shifted.load(std::memory_order_relaxed); }
    void clearShiftMark() { shifted.store(false, std::memory_order_relaxed); }
    std::size_t bytes() const
    {
        return 2 * std::size_t(q) * stride * (single ? sizeof(float) : sizeof(double)) +
               std::size_t((shiftX ? 1 : 0) + (shiftY ? 1 : 0) + (shiftZ ? 1 : 0) + (solid ? 1 : 0)) * stride *
                   sizeof(double);
    }
    // Direction i's value at a site in the current or next array, in double
    // whatever the storage, and the writes that round it to the storage.
    double curAt(int i, std::size_t site) const { return valueAt(cur, curSingle, i, site); }
    double nextAt(int i, std::size_t site) const { return valueAt(next, nextSingle, i, site); }
    void setCur(int i, std::size_t site, double value) { write(cur, curSingle, i, site, value); }
    void setNext(int i, std::size_t site, double value) { write(next, nextSingle, i, site, value); }
    // Allocates the solid fractions (zero) on first use.
    void useSolid();
    // Makes the per-site force shifts the attached cells' own (see
    // fieldShifts), allocating them on first use: the y shifts only, or
    // with allAxes the x and z shifts as well.
    void useFieldShifts(double tau, bool allAxes = false);

    double *cur = nullptr;
    double *next = nullptr;
    // The shifted single-precision arrays, and the weights they are shifted by.
    float *curSingle = nullptr;
    float *nextSingle = nullptr;
    bool single = false;
    std::array<double, 27> weight{};
    std::size_t stride = 0;
    int q = 0;
    // Counts the flips; a cell's last deltaP is its own until the next flip.
    std::uint64_t generation = 0;
    // Set when a cell was pinned and must leave the populations.
    bool layoutDirty = false;
    // While fieldShifts is set, the force shift of every attached cell's
    // last collision is (0, shiftY[site], 0), formed with relaxation time
    // shiftTau: the grid folds gravity into the line kernels, which write
    // it here instead of into the cells. Otherwise the cells hold their own.
    // With fieldShiftsXZ set as well, the shift is (shiftX[site],
    // shiftY[site], shiftZ[site]) (forces with components along every axis).
    double *shiftX = nullptr;
    double *shiftY = nullptr;
    double *shiftZ = nullptr;
    double shiftTau = 0.0;
    bool fieldShifts = false;
    bool fieldShiftsXZ = false;
    // The solid fraction of each attached porous cell, zero at the other
    // attached sites; null while no porous cell was ever attached.
    double *solid = nullptr;

private:
    double valueAt(const double *values, const float *shifted, int i, std::size_t site) const
    {
        const std::size_t at = std::size_t(i) * stride + site;
        return single ? double(shifted[at]) + weight[std::size_t(i)] : values[at];
    }
    void write(double *values, float *shifted, int i, std::size_t site, double value)
    {
        const std::size_t at = std::size_t(i) * stride + site;
        if (single)
            shifted[at] = float(value - weight[std::size_t(i)]);
        else
            values[at] = value;
    }

    std::atomic<bool> touched{false};
    std::atomic<bool> shifted{false};
};
