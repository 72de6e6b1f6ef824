#pragma once

#include "../basecell.h"
#include "../lattice.h"

class SomethingMoving;

// A solid site that carries a moving body: a moving wall or a particle.
// Fluid that streams into it is bounced back with the body's velocity added
// (the moving bounce-back), so the wall drags the fluid along.
class MovingCell : public InertCell
{
public:
    // A moving cell of the grid's model.
    MovingCell(double p0, int charge, Grid *grid);
    ~MovingCell() override;
    MovingCell(const MovingCell &) = delete;
    MovingCell &operator=(const MovingCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void postUpdate() override;
    void setNextF(int i, double value, int component) override;
    double getNextF(int i, int) override { return i >= 0 && i < q ? received[i] : 0.0; }
    Vector3d getVelocity(int component) override;
    int getKind() override { return 4; }
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override { return q; }

    SomethingMoving *body() const { return movingBody; }
    // Sets the carried body. A moving wall belongs to its one cell, which then
    // owns it (owned = true); a particle is shared by its cells and owned by
    // the particle manager.
    void setBody(SomethingMoving *body, bool owned);
    bool ownsBody() const { return bodyOwned; }
    int getCharge() const { return charge; }
    void setCharge(int c) { charge = c; }
    double getP0() const { return p0; }
    void setP0(double v) { p0 = v; }
    Grid *getGrid() const { return grid; }
    // The particle index read from a document (-1 for none); the particle
    // manager ties the cell to that particle once it has read its own list.
    int particleIndex() const { return storedParticle; }

    // The value the moving bounce-back sends into the fluid neighbour in
    // direction i (a cell without a body acts as a wall at rest). Boundary
    // strategies that meet a moving wall at a corner read it instead of the
    // entry the wall writes in the same phase.
    double returned(int i, double reference) const;
    // The density that scales the velocity correction: the mean of the
    // initial density range, the same for every moving cell.
    static double referenceDensity(const Grid *grid);
    // The cell at a site as the bounce-back sees it: wrapped across the box
    // when the boundaries are periodic.
    static BaseCell *neighbourAt(Grid *grid, Vector3i site);
    void setGrid(Grid *g) { grid = g; }

private:
    void releaseBody();

    SomethingMoving *movingBody = nullptr;
    bool bodyOwned = false;
    Grid *grid = nullptr;
    int charge = 0;
    int storedParticle = -1;
    double p0 = 1.0;
    int q = 9;
    // What the fluid streamed into this site in the last phase 0.
    double received[Lattice::MaxQ];
    // The second population set that reached the wall (a second component,
    // the heat scalar, the blue colour); it goes back unchanged.
    double receivedSecond[Lattice::MaxQ] = {};
};
