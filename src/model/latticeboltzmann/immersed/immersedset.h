#pragma once

#include "../documentsection.h"
#include "../vector3d.h"

#include <memory>
#include <vector>

class Grid;
class ImmersedItem;

// Immersed bodies: outlines of Lagrangian points in the plane z = 0 that move
// with the flow and push back on it. Once per iteration the step takes the
// fluid velocity at every point, records a force -k u there, moves the points
// (each with its own velocity, or the item as one rigid body) and spreads the
// forces onto the lattice sites around them; the phase-1 hook then adds each
// site's share to its next populations.
class ImmersedSet : public DocumentSection
{
public:
    struct ForceEntry
    {
        Vector3d position;
        Vector3d force;
    };

    explicit ImmersedSet(Grid *grid);
    ~ImmersedSet() override;
    ImmersedSet(const ImmersedSet &) = delete;
    ImmersedSet &operator=(const ImmersedSet &) = delete;

    bool isEmpty() const { return items.empty(); }
    // Takes the item, which must already have its points; gives its new id
    // (one more than the largest present), or -1 with a message when the
    // item has no points or too many (the item is then deleted).
    int addItem(ImmersedItem *item, QString *error = nullptr);
    void removeItem(int id);
    void clear();
    const std::vector<std::unique_ptr<ImmersedItem>> &getItems() const { return items; }
    ImmersedItem *item(int id) const;

    // Once per iteration, between phase 0 and phase 1, on the stepping thread.
    void step();
    // Phase-1 hook for one site; runs concurrently for different rows and
    // writes only the site's own cell.
    void spreadAt(int x, int y, int z);

    // The force entries of the last step.
    const std::vector<ForceEntry> &getForces() const { return forces; }
    // The force spread onto a site of the plane z = 0 in the last step.
    Vector3d siteForce(int x, int y) const;

    // The fluid velocity at a point of the plane z = 0: the kernel-weighted
    // sum over the 5 x 5 sites around it, of the velocity the cells report
    // or, for the bodies' own step, of the one the stepping uses.
    Vector3d velocityAt(double x, double y, bool reported = true) const;
    // The interpolation kernel (1 + cos(pi r / 2)) / 4 for |r| <= 2. Its
    // values at the four or five sites around any point add up to one, so a
    // uniform field is interpolated exactly and a point force is spread whole.
    static double kernel(double r);

    void write(QXmlStreamWriter &writer) const override;
    bool read(QXmlStreamReader &reader, QString *error) override;

private:
    void spreadForces();

    Grid *grid;
    std::vector<std::unique_ptr<ImmersedItem>> items;
    std::vector<ForceEntry> forces;
    // Spread force per site of the plane z = 0 (index y nx + x), and the
    // sites it touched, so the next step clears only those.
    std::vector<Vector3d> spread;
    std::vector<int> touched;
    std::vector<Vector3d> moved;
    int spreadWidth = 0, spreadHeight = 0;
};
