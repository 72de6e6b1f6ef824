#pragma once

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/populations.h"

#include <vector>

// Wraps any cell and carries coloured passive scalars beside it: all fluid
// work goes to the wrapped (inner) cell, and each colour k, addressed as
// component 10 + k, is advected and diffused by its own lattice-Boltzmann
// distribution relaxed with the tracer settings' epsilon. A cell marked as a
// source emits the equilibrium of its colour at the emission value instead.
// The grid may keep the colour distributions in its scalar array set (see
// attachColours); the cell then holds no arrays of its own and answers from
// the grid's.
class PassiveScalarCell : public BaseCell
{
public:
    // Takes ownership of inner (which may be null only until activate).
    // Wraps the cell (a null cell when none) with colours laid out for model q.
    PassiveScalarCell(BaseCell *inner, int q);
    ~PassiveScalarCell() override;
    PassiveScalarCell(const PassiveScalarCell &) = delete;
    PassiveScalarCell &operator=(const PassiveScalarCell &) = delete;

    // The cell that code inspecting cell kinds should look at: the inner
    // cell of a wrapper, the cell itself otherwise (null stays null).
    static BaseCell *innerOf(BaseCell *cell);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    void finishUpdate(Grid *grid, int x, int y, int z) override { innerCell->finishUpdate(grid, x, y, z); }
    void reset(double p0, double p1) override { innerCell->reset(p0, p1); }
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setComponents(int n) override { innerCell->setComponents(n); }
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    Vector3d getVelocity(int component) override { return innerCell->getVelocity(component); }
    Vector3d getLatticeVelocity(int component) override { return innerCell->getLatticeVelocity(component); }
    double computeDeltaP() override { return innerCell->computeDeltaP(); }
    double getDeltaP() override { return innerCell->getDeltaP(); }
    double getNextF(int i, int component) override { return innerCell->getNextF(i, component); }
    Vector3d getForce(int component) override { return innerCell->getForce(component); }
    bool isFluid() override { return innerCell->isFluid(); }
    int getKind() override;
    void setF(double values[]) override;
    int modelQ() override;
    // A wrapper of the same kind around the inner cell's clone, with the
    // same colours and source mark; null when the inner cell has no clone.
    BaseCell *clone(const SimulationParameters &parameters) override;

    // g := w_i c for every colour (c the settings' initial concentration).
    virtual void initColours(double concentration);
    // Zeroed colour arrays for the given number of colours.
    virtual void allocateColours(int colours);
    // theta_k := sum of colour k's distribution.
    virtual void recomputeColours();

    BaseCell *inner() const { return innerCell; }
    // Hands the inner cell over to the caller; the wrapper then owns nothing.
    BaseCell *releaseInner();
    // Deletes the inner cell and wraps the given one instead.
    void replaceInner(BaseCell *cell)
    {
        delete innerCell;
        setInner(cell);
        layoutChanged();
    }
    // The wrapper's own neighbour block, for the colour bounce-back at solids.
    // Also the parameters of the grid that links it, for the reflection factor.
    void setNeighbours(BaseCell **block, const SimulationParameters *parameters)
    {
        neighbourBlock = block;
        settings = parameters;
    }
    int colourCount() const { return colours; }
    // The lattice the colour distributions are laid out for.
    int colourQ() const { return q; }
    double getFixedConcentration() const { return fixedConcentration; }
    int getSourceIndex() const { return sourceIndex; }
    // A fixed concentration below 0 unmarks the cell.
    void setSource(double concentration, int index)
    {
        fixedConcentration = concentration;
        sourceIndex = concentration >= 0.0 ? index : -1;
        layoutChanged();
    }
    // The colour value of colour k (0 for a colour the cell does not have).
    double colour(int k) const
    {
        if (k < 0 || k >= colours)
            return 0.0;
        return store ? attachedColour(k) : theta[std::size_t(k)];
    }

    // Moves the colour distributions into the grid's scalar set at the site:
    // direction i of colour k is entry (k q + i) stride + site of its current
    // and next arrays (the set has colours q directions); the own arrays are
    // freed. The grid commits them by flipping the set. Only a cell of the
    // plain lattice-Boltzmann kind does so.
    void attachColours(Populations *scalars, int siteIndex);
    // Takes the values back into arrays of its own.
    void detachColours();
    bool coloursAttached() const { return store != nullptr; }
    bool coloursAttachedTo(const Populations *scalars, int siteIndex) const
    {
        return store == scalars && site == siteIndex;
    }

    // How the colours treat the inner cell, fixed when it is wrapped.
    enum class Role {
        Fluid,   // collides and streams the colours
        Through, // inlets and other open kinds: carry the colours like fluid
        Outlet,  // outlets: carry them and refill the target's incoming colours
        Solid,   // bounce the colours back to where they came from
        Null     // swallow them
    };
    Role role() const { return innerRole; }

protected:
    void setInner(BaseCell *cell);
    // A new wrapper of this kind around inner, without colours.
    virtual PassiveScalarCell *emptyWrapper(BaseCell *inner) const { return new PassiveScalarCell(inner, q); }
    // The file name of this kind and the colour values it stores.
    virtual const char *typeName() const { return "passiveScalarCell"; }
    virtual int valuesPerColour() const { return q; }
    int storedValues() const { return colours * valuesPerColour(); }
    virtual double storedValue(int n) const { return currentValue(n); }
    virtual void setStoredValue(int n, double v) { setValue(n, v); }
    // Bitwise copy of the inner fluid's next populations (those not rewritten
    // by every streaming, at open box edges) so a saved run resumes exactly.
    void writeInnerNext(QXmlStreamWriter &writer);
    // Entry n (k q + i) of the current and next colour distributions, in
    // the own arrays or the grid's set.
    double currentValue(int n) const
    {
        return store ? store->cur[std::size_t(n) * store->stride + site] : g[std::size_t(n)];
    }
    double &nextValue(int n)
    {
        return store ? store->next[std::size_t(n) * store->stride + site] : gNext[std::size_t(n)];
    }
    // Sets entry n of both the current and the next distributions, so that
    // an entry no neighbour writes (at an open box edge) keeps the value
    // whether the values are committed by copying or by flipping.
    void setValue(int n, double v)
    {
        if (store) {
            store->cur[std::size_t(n) * store->stride + site] = v;
            store->next[std::size_t(n) * store->stride + site] = v;
        } else {
            g[std::size_t(n)] = v;
            gNext[std::size_t(n)] = v;
        }
    }
    // A change that may change how the grid steps the cell (its inner cell,
    // its source mark): the grid rebuilds its stepping tables.
    void layoutChanged()
    {
        if (store)
            store->layoutDirty = true;
    }

    BaseCell *innerCell = nullptr;
    BaseCell **neighbourBlock = nullptr;
    const SimulationParameters *settings = nullptr;
    Role innerRole = Role::Null;
    bool reflects = false;
    int q = 9;
    int colours = 0;
    double fixedConcentration = -1.0;
    int sourceIndex = -1;
    std::vector<double> g, gNext, theta;

private:
    double attachedColour(int k) const;

    Populations *store = nullptr;
    int site = -1;
};
