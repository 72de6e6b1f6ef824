#pragma once

#include "basecell.h"

#include <cstddef>
#include <typeinfo>

class SCCell;

// A plain fluid site without a cell object of its own: the grid keeps one
// such handle per site in an array beside its cells, and a plain fluid cell
// that has nothing to keep beyond its populations (attached, not pinned, no
// force shift of its own) is replaced by the handle of its site. The handle
// holds nothing but its virtual table: it finds its grid and site from its
// own address, and answers every call exactly as the attached fluid cell
// would, by forming that cell over the grid's arrays for the length of the
// call (see SCCell::View). What such a cell keeps beyond the populations
// (an initial density other than the grid's common one, a last deltaP
// frozen by an edit until the next flip) lives in per-site tables the grid
// allocates only once some handle needs them.
class PlainSite final : public BaseCell
{
public:
    PlainSite() = default;

    // Makes the handles first[0 .. count) known as those of grid's sites
    // 0 .. count - 1 (false when as many grids as the registry holds have
    // handles already), and forgets them again; lookups from several
    // threads are safe while no array of a grid they read is withdrawn.
    static bool publish(Grid *grid, const PlainSite *first, std::size_t count);
    static void withdraw(const PlainSite *first);

    // Whether the cell is plain fluid as documents, row copies and the
    // stepping's sums see it: an exact fluid cell or a handle; and what they
    // read of such a cell beyond the common interface.
    static bool isPlainFluid(const BaseCell *c);
    // The class of the cell a site holds, a handle counting as the fluid
    // cell it stands for.
    static const std::type_info &kindOf(const BaseCell *c);
    static double initialDensityOf(BaseCell *c);
    static Vector3d forceShiftOf(BaseCell *c, double &tau);
    static double nextDensityOf(BaseCell *c);

    void preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position) override;
    void update(double[], BaseCell *[], Grid *, Vector3i) override {}
    void postUpdate() override {}
    void finishUpdate(Grid *, int, int, int) override {}
    void reset(double p0, double p1) override;
    double getF(int i, int component) override;
    void setNextF(int i, double value, int component) override;
    void setComponents(int) override {}
    void passivate(QXmlStreamWriter &writer) override;
    void activate(QXmlStreamReader &reader, Grid *grid) override;
    double getP(int component) override;
    Vector3d getVelocity(int component) override;
    Vector3d getLatticeVelocity(int component) override;
    double computeDeltaP() override;
    double getDeltaP() override;
    double getNextF(int i, int component) override;
    Vector3d getForce(int component) override;
    bool isFluid() override { return true; }
    int getKind() override { return 0; }
    void setF(double values[]) override;
    BaseCell *clone(const SimulationParameters &parameters) override;
    int modelQ() override;

    // The fluid cell's own operations that the grid's stepping and the
    // writers of documents use.
    void collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out);
    double nextDensity() const;
    double getP0() const;
    Vector3d forceShift(double &tau) const;
    void restore(double density, double delta, double values[]);
    void setEquilibrium(const Vector3d &velocity, double density);

    // The attached fluid cell the site's handle stands for, as a new object
    // owned by the caller (the grid puts it in the handle's place).
    SCCell *materialise() const;

private:
    // The grid and site of this handle.
    Grid *owner(int &site) const;
    SCCell form(Grid *&grid, int &site) const;
    // Runs work(cell) on the fluid cell the site stands for and keeps what
    // the cell changed beyond the populations in the grid's tables.
    template <typename Work> auto edit(Work work);
    template <typename Work> auto read(Work work) const;
};
