#pragma once

#include "blockpool.h"
#include "vector3d.h"
#include "vector3i.h"

#include <cstddef>

class Grid;
class SimulationParameters;
class QXmlStreamReader;
class QXmlStreamWriter;

// The abstract lattice node. The grid drives every cell through the same
// virtual operations in four phases per iteration; neighbouring cells exchange
// distribution values only through setNextF. Component -1 addresses the whole
// cell, 0 and 1 single population sets, 10 + k the coloured scalar k.
class BaseCell
{
public:
    virtual ~BaseCell() = default;

    // Cells come from the block pool, so cells created site by site lie in
    // site order in memory.
    static void *operator new(std::size_t bytes) { return BlockPool::allocate(bytes); }
    static void operator delete(void *block, std::size_t bytes) { BlockPool::release(block, bytes); }

    // Phase 0: collision and push streaming into the neighbours' next arrays.
    virtual void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) = 0;
    // Phase 1: work that needs the streamed values (boundary conditions).
    virtual void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) = 0;
    // Phase 2: commit the next array and recompute the macroscopic values.
    virtual void postUpdate() = 0;
    // Phase 3: corrections that read committed neighbours through the grid.
    virtual void finishUpdate(Grid *grid, int x, int y, int z) = 0;
    // Zero-velocity equilibrium at density p0 (p1 for a second component);
    // a negative density keeps the stored one.
    virtual void reset(double p0, double p1) = 0;
    virtual double getF(int i, int component) = 0;
    virtual void setNextF(int i, double value, int component) = 0;
    virtual void setComponents(int n) = 0;
    virtual void passivate(QXmlStreamWriter &writer);
    virtual void activate(QXmlStreamReader &reader, Grid *grid);
    virtual double getP(int component) = 0;
    // The velocity everything outside the stepping reads (painters, probes,
    // charts, exports): where a body force acts, the physical velocity
    // u + F / (2 rho), the mean of the momentum before and after the force
    // acted.
    virtual Vector3d getVelocity(int component) = 0;
    // The velocity the stepping works with: the populations' first moment
    // over the density (or what the cell's own collision uses), without the
    // half-force term. The same as getVelocity where no force acts.
    virtual Vector3d getLatticeVelocity(int component) { return getVelocity(component); }
    // Mean over the directions of |next - current|; kept as the last deltaP.
    virtual double computeDeltaP() = 0;
    virtual double getDeltaP() = 0;
    virtual double getNextF(int i, int component) = 0;
    virtual Vector3d getForce(int component) = 0;
    virtual bool isFluid() = 0;
    virtual int getKind() = 0;
    virtual void setF(double values[]);
    // A new cell of the same kind and state built for the model and settings
    // of the given parameters (the simulation it goes into), owned by the
    // caller; null when the kind cannot be copied.
    virtual BaseCell *clone(const SimulationParameters &parameters);
    // The direction count the cell's arrays were built for, or 0 when the
    // cell keeps nothing per direction and fits every model. The grid
    // refuses to step a cell built for another model than its own.
    virtual int modelQ() { return 0; }
};

// Usual bodies shared by the cell kinds that leave most operations empty.
class InertCell : public BaseCell
{
public:
    void preUpdate(double[], BaseCell *[], Grid *, Vector3i) override {}
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override {}
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double, double) override {}
    double getF(int, int) override { return 0.0; }
    void setNextF(int, double, int) override {}
    void setComponents(int) override {}
    double getP(int) override { return 0.0; }
    Vector3d getVelocity(int) override { return Vector3d(); }
    double computeDeltaP() override { return 0.0; }
    double getDeltaP() override { return 0.0; }
    double getNextF(int, int) override { return 0.0; }
    Vector3d getForce(int) override { return Vector3d(); }
    bool isFluid() override { return false; }
    int getKind() override { return 0; }
};
