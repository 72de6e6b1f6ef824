#pragma once

#include "../documentsection.h"
#include "../vector3d.h"
#include "../vector3i.h"

#include <memory>
#include <vector>

class Grid;
class BaseCell;
class MovingCell;
class MovingParticle;

// The moving solid particles of a grid and their settings. The grid calls it
// twice per iteration, both times on the stepping thread between phases:
// after phase 0 every particle gathers the momentum its cells exchange with
// the fluid and the particles' charges act on each other; after phase 2
// every particle takes its time step and moves its cells by whole sites when
// its displacement passes half a cell.
//
// How cells become particles: moving cells without a body (the "m", "p" and
// "n" codes, with charge 0, +1 and -1) that touch each other across a face
// and have the same charge form one particle of that charge per cell. The
// grid reports every placed cell; bodiless moving cells wait in a list and
// are grouped at the start of the next iteration, so a whole painted domain
// is grouped at once. Cells read from a state document get their particle
// from the document instead.
class ParticleManager : public DocumentSection
{
public:
    // One cell of a particle: the k-th cell of the particle at position
    // `particle` in the list.
    struct SmallParticle
    {
        int particle;
        int cell;
    };

    explicit ParticleManager(Grid *grid);
    ~ParticleManager() override;
    ParticleManager(const ParticleManager &) = delete;
    ParticleManager &operator=(const ParticleManager &) = delete;

    // Drops every particle and loosens the cells that carried them.
    void clear();
    bool isEmpty() const { return particles.empty() && pending.empty(); }
    // After phase 0: groups new bodiless moving cells into particles, runs
    // the momentum exchange of every particle cell and the electrostatics.
    void preUpdate();
    // After phase 2: time step of every particle, moves by whole cells and
    // the optional speed normalisation.
    void move();
    void cellLeaves(int x, int y, int z, BaseCell *cell);
    void cellArrives(int x, int y, int z, BaseCell *cell);

    // Groups waiting bodiless moving cells into particles now.
    void formParticles();
    int count() const { return int(particles.size()); }
    MovingParticle *particle(int index) const;
    // Position of the particle in the list, -1 when it is not one of them.
    int indexOf(const void *body) const;
    const std::vector<SmallParticle> &smallParticles() const { return small; }

    double getElectrostatic() const { return electrostatic; }
    void setElectrostatic(double k) { electrostatic = k; }
    double getGravity() const { return gravity; }
    void setGravity(double g) { gravity = g; }
    bool getRemoveOrphan() const { return removeOrphan; }
    void setRemoveOrphan(bool on) { removeOrphan = on; }
    bool getNormalizeVelocities() const { return normalizeVelocities; }
    void setNormalizeVelocities(bool on) { normalizeVelocities = on; }
    double getMeanSquaredSpeed() const { return meanSquaredSpeed; }

    // The electrostatic pass alone: every particle's potential and
    // electrostatic force from all the others.
    void electrostatics();

    void write(QXmlStreamWriter &writer) const override;
    bool read(QXmlStreamReader &reader, QString *error) override;

protected:
    Grid *grid;

private:
    void rebuildSmallParticles();
    // Moves the particle's cells by s when nothing blocks them.
    bool shift(MovingParticle &p, const Vector3i &s);
    Vector3i wrap(const Vector3i &site) const;
    // The box size along each axis when the boundaries are periodic, zeros
    // otherwise.
    Vector3i period() const;
    bool carries(const Vector3i &site, const MovingParticle *p) const;
    void dropParticle(int index);

    std::vector<std::unique_ptr<MovingParticle>> particles;
    std::vector<SmallParticle> small;
    // Sites where bodiless moving cells were placed, waiting to be grouped.
    std::vector<Vector3i> pending;
    double electrostatic = 0.0;
    double gravity = 0.0;
    double meanSquaredSpeed = 0.0;
    bool removeOrphan = false;
    bool normalizeVelocities = false;
    // Set while the manager moves cells itself, so the grid's reports of
    // those moves leave the bookkeeping alone.
    bool relocating = false;
    // Scratch lists of a move, kept to avoid allocating while stepping.
    std::vector<Vector3i> entered, vacated;
    std::vector<MovingCell *> carriers;
    std::vector<BaseCell *> fresh;
    std::vector<Vector3d> centres;
};
