#pragma once

#include "model/latticeboltzmann/randomsource.h"
#include "somethingmoving.h"

#include <QString>

#include <vector>

// A solid particle made of whole lattice cells (moving cells that carry it).
// It gathers the momentum the fluid exchanges with its cells, feels the other
// particles' charges, gravity and a random thermal kick, and keeps a sub-cell
// displacement; the particle manager moves its cells by whole sites when the
// displacement passes half a cell. The manager runs its exchange and update
// once per iteration in serial passes: its cells only bounce fluid off it.
class MovingParticle : public SomethingMoving
{
public:
    MovingParticle() = default;

    // Adds the momentum exchanged through the links of the cell at position
    // with its fluid neighbours (their current populations).
    void exchange(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    // One time step: velocity and displacement from the gathered momentum,
    // the electrostatic force, gravity (gravity) and the thermal kick.
    void update() override { update(0.0, nullptr); }
    // The Brownian kicks of a particle with a temperature are drawn from the
    // simulation's generator (none without one).
    void update(double gravity, RandomSource *random);
    Vector3d getDisplacement() override { return displacement; }
    Vector3d getVelocity() override { return velocity; }
    void write(QXmlStreamWriter &writer) override;
    void read(QXmlStreamReader &reader) override;
    // The same; false with a message (and the particle unchanged) when a
    // value is unusable. Leaves the reader on the element's end.
    bool readChecked(QXmlStreamReader &reader, QString *error);
    // A particle is shared by its cells; a copied cell carries none.
    SomethingMoving *copy() override { return nullptr; }

    // The mean of the cells' positions plus the displacement. Along an axis
    // with a period (the box size where the boundaries are periodic, 0
    // otherwise) each cell counts at its image nearest to the first cell, so
    // a particle across the seam has its centre there, wrapped into the box.
    Vector3d centre(const Vector3i &period = Vector3i(0, 0, 0)) const;
    // d taken to its nearest image along the axes with a period (0: none).
    static Vector3d nearestImage(const Vector3d &d, const Vector3i &period);
    double mass() const { return double(cells.size()) * relativeDensity; }

    std::vector<Vector3i> cells;
    Vector3d displacement;
    Vector3d movementQuantity;
    Vector3d lastMovementQuantity;
    Vector3d electrostaticAcceleration;
    Vector3d velocity;
    double relativeDensity = 10.0;
    double temperature = 0.0;
    double potential = 0.0;
    int charge = 0;
    bool frozen = false;
    bool chargeProcessed = false;
    bool movementProcessed = false;
};
