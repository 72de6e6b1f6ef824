#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/populations.h"

#include <cstddef>

// A diffusing concentration (no flow) that settles: its deposited fraction d
// grows where the concentration touches deposited neighbours or deposition
// walls, and the deposit reflects the concentration back in proportion to d.
// Defined on D2Q9; on a 3D model the cell stays still. The reflection reads
// the neighbours' populations as they were committed, so its result does not
// depend on the order of rows; against walls it does nothing (walls already
// return what reaches them), so no concentration is lost there.
//
// The cell's values are Values numbers, current and next: the nine
// populations, the deposited fraction and the last change (current only).
// On a 2D D2Q9 grid they live in the grid's scalar array set (see attach),
// where a line kernel steps the cells whose neighbours are attached
// deposition cells or absent; a cell on its own keeps them in one pooled
// block. The commit copies the next values into the current ones (the set
// is not flipped), so between the commit and the next collision the next
// populations are the committed ones the neighbours' reflection reads.
class DepositionCell : public BaseCell
{
public:
    static constexpr int Values = 11;
    static constexpr int DepositIndex = 9;
    static constexpr int ChangeIndex = 10;

    // A deposition cell for model q (it moves on D2Q9 only).
    explicit DepositionCell(int q);
    ~DepositionCell() override;
    DepositionCell(const DepositionCell &) = delete;
    DepositionCell &operator=(const DepositionCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *grid, int x, int y, int z) override;
    void reset(double p0, double p1) override;
    double getF(int i, int component) override { return component == 1 && i >= 0 && i < 9 ? cur(i) : 0.0; }
    void setNextF(int i, double value, int component) override
    {
        if (component == 1 && i >= 0 && i < 9)
            next(i) = value;
    }
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override
    {
        return component == 0 ? cur(DepositIndex) : component == 1 ? concentration() : 0.0;
    }
    Vector3d getVelocity(int) override { return Vector3d(); }
    double computeDeltaP() override;
    double getDeltaP() override { return cur(ChangeIndex); }
    double getNextF(int i, int component) override { return component == 1 && i >= 0 && i < 9 ? next(i) : 0.0; }
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return true; }
    int getKind() override { return -1; }

    double getDeposited() const { return cur(DepositIndex); }
    bool isPlanar() const { return planar; }

    // Attachment to the grid's scalar set: the values at `site` of scalars
    // (Values directions); the cell's block is freed. Detaching moves them
    // back. Only the grid calls these.
    void attach(Populations *scalars, int siteIndex);
    void detach();
    bool isAttached() const { return block == nullptr; }
    bool isAttachedTo(const Populations *scalars, int siteIndex) const
    {
        return !block && store == scalars && site == siteIndex;
    }

private:
    double &cur(int i) const
    {
        return block ? block[i] : store->cur[std::size_t(i) * store->stride + std::size_t(site)];
    }
    double &next(int i) const
    {
        return block ? block[Values + i] : store->next[std::size_t(i) * store->stride + std::size_t(site)];
    }
    // The sum of the populations, in direction order.
    double concentration() const
    {
        double t = 0.0;
        for (int i = 0; i < 9; ++i)
            t += cur(i);
        return t;
    }
    void allocateBlock();

    // While detached: Values current then Values next values; null while
    // the values live in store at site.
    double *block = nullptr;
    Populations *store = nullptr;
    int site = -1;
    double theta0 = 0.0;
    bool planar;
};
