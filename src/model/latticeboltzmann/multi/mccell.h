#pragma once

#include "model/latticeboltzmann/basecell.h"

#include <memory>

class MixtureLayout;
class MultiComponent;
class Populations;
class PorousCell;
class SCCell;

// The Shan-Chen multicomponent fluid node. Each component's distributions,
// density and velocity live in a single-component cell it owns; the collision
// of all components happens here, towards equilibria that share one common
// velocity (the tau-weighted mean of the components' momenta), shifted per
// component by the interaction force between components and the body forces.
class MCCell : public BaseCell
{
public:
    // Two components for the model of the parameters, copies of from when
    // given, else fresh fluid at the random initial density. The cell keeps
    // the parameters for the components it adds later.
    explicit MCCell(const SimulationParameters &parameters, SCCell *from = nullptr);
    // The most components a cell holds ("mcQuantity" is 1, 2 or 3).
    static constexpr int MaxComponents = 3;
    ~MCCell() override;
    MCCell(const MCCell &) = delete;
    MCCell &operator=(const MCCell &) = delete;

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override;
    void finishUpdate(Grid *grid, int x, int y, int z) override;
    void reset(double p0, double p1) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setComponents(int n) override;
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    // Component -1: the mixture's physical velocity (sum_j m_j + F_j / 2) /
    // sum_j rho_j, with the forces F_j of the last collision; component j:
    // u_j + F_j / (2 rho_j). A porous component's share is scaled by 1 - s,
    // as a porous cell's velocity is.
    Vector3d getVelocity(int component) override;
    // Component -1: the common velocity of the equilibria; component j: the
    // component's first moment over its density.
    Vector3d getLatticeVelocity(int component) override;
    // Mean over the components of their mean change |next - current|.
    double computeDeltaP() override;
    double getDeltaP() override;
    double getNextF(int i, int component) override;
    Vector3d getForce(int component) override;
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    int modelQ() override;
    // A fresh cell of the current model with as many components, each at its density, at rest.
    BaseCell *clone(const SimulationParameters &parameters) override;

    int componentCount() const { return count; }
    SCCell *component(int j) const { return j >= 0 && j < componentCount() ? components[j] : nullptr; }
    // Component j as porous medium, or null when it is plain fluid; known
    // since the components were last set, so a step asks no cell its class.
    PorousCell *porousComponent(int j) const
    {
        return j >= 0 && j < componentCount() && (porousMask >> j & 1u) ? porousAt(j) : nullptr;
    }
    // The collision of every component: from the current populations of
    // component j at values[j] (q entries each), the value the cell streams
    // in direction i into out[j * q + i], with the densities given (null:
    // the components' own). The shifts, forces and relaxation
    // times of the collision become the cell's own (the shifts and forces
    // in the mixture layout's state arrays while attached). preUpdate streams these
    // values; the grid's line kernel for attached mixtures uses the same
    // routine, so both give bitwise the same result.
    void collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position,
                 const double *const values[], const double *densities, double *out);
    // Says once per run that a mixture's populations in direction leave the
    // box (a closed box edge) and are dropped.
    static void warnMissingNeighbour(int direction);
    // The velocity every component's equilibrium shares.
    Vector3d commonVelocity() const;
    // Takes over another copy's common velocity as it is (a copy of a ghost
    // site), which its populations need not give: a reset leaves it at rest.
    void restoreCommonVelocity(const Vector3d &velocity) { setCommon(velocity); }
    void recomputeCommonVelocity(const double *const values[], const double densities[]);
    // The common velocity of n components from each one's first moment
    // (sum_i e_i f_i, summed in the order of the directions), density and
    // relaxation time: the tau-weighted mean of the momenta. The cell and
    // the commit of the attached mixtures both form it here.
    static Vector3d commonVelocityOf(int n, const Vector3d momenta[], const double densities[], const double taus[]);

    // Attachment of the components to the grid's mixture stores (component
    // j at site in the layout's store j), and of the state of the last
    // collision and commit to the layout's state arrays at site: only for
    // exactly two plain fluid components of model q with no pinned density.
    // Detaching takes the state back into the cell. Only the grid's layout
    // calls these.
    bool canAttach(int q) const;
    void attachComponents(MixtureLayout &layout, int site);
    void detachComponents();
    bool isAttachedTo(const MixtureLayout &layout, int site) const;
    // The density of the next populations of every component over the
    // count, as getP(-1) will give it after the commit.
    double nextDensity() const;

    // Pins component j's density after every commit (0 releases it).
    void setFixedDensity(int j, double density);
    // The equilibrium shift and the force of component j's last collision,
    // which the velocities and forces the cell reports add. A copy made from
    // the cell's document element (which does not hold them) takes them over
    // with restoreLastCollision.
    Vector3d lastShift(int j) const;
    Vector3d lastForce(int j) const;
    void restoreLastCollision(int j, const Vector3d &shift, const Vector3d &force);

private:
    void setCommon(const Vector3d &velocity);
    void setDeltaP(double delta);
    // Component j's relaxation time of the last collision, where the cell's
    // state lives (a third component's always in the cell).
    double tauOf(int j) const;
    void setTau(int j, double tau);
    // Keeps component j's shift and force of a collision where the cell's
    // state lives (a third component's are dropped while attached).
    void keepCollision(int j, const Vector3d &shift, const Vector3d &force);
    void recomputeCommonVelocity();
    // Marks the attachment for renewal when the components change.
    void componentsChanged();

    PorousCell *porousAt(int j) const;

    const SimulationParameters *settings;
    int q;
    // Bit j set: component j is porous medium (kept in the padding after q,
    // so that the cell grows by nothing).
    unsigned char porousMask = 0;
    void sizeArrays();
    static MultiComponent &interaction();

    // The per-component state in the cell itself rather than in arrays of
    // its own on the heap: count components in use of MaxComponents.
    SCCell *components[MaxComponents] = {};
    int count = 0;
    double taus[MaxComponents] = {};
    double fixedDensities[MaxComponents] = {};
    // What the last collision and commit leave: per component the
    // equilibrium shift and the force (interaction and body forces), the
    // common velocity and the mean change of the commit. The cell holds it
    // while detached; attached, it lives in the layout's state arrays at
    // site (of two components; a third's entries read as zero there), and
    // the cell holds nothing of it, nor of the first two relaxation times.
    struct Collision
    {
        Vector3d shifts[MaxComponents];
        Vector3d forces[MaxComponents];
        Vector3d common;
        double deltaP = 0.0;
    };
    std::unique_ptr<Collision> own = std::make_unique<Collision>();
    MixtureLayout *layout = nullptr;
    int site = -1;
};
