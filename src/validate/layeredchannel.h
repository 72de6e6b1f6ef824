#pragma once

#include <QVector>

#include <utility>

class Grid;
class SimulationParameters;

// Two Shan-Chen components side by side in a channel between walls (D2Q9,
// the walls on the half-way planes w sites apart, periodic along y): the
// first fills the middle, the second the two layers along the walls, each
// relaxing with its own time, both pulled along -y by the gravity g. The
// steady flow is a parabola in each layer, joined where the shear stress
// is continuous: the reference is
// the momentum balance integrated over the densities and viscosities
// measured across the channel, so that the diffuse interfaces count with the
// viscosity they have.
class LayeredChannel
{
public:
    struct Result
    {
        QVector<double> x, measured, analytic; // across the channel, speeds along -y
        double largestError = 0.0;             // over the peak speed
        double viscosityRatio = 0.0;           // inner over outer dynamic viscosity
        double smallestDensity = 0.0;          // of either component anywhere
        int iterations = 0;
    };
    // The components repel each other by the coupling `interaction` (0 mixes
    // them: one fluid, one parabola). Above about 0.6 at these densities the
    // thinner component's density turns negative in the layers, where the
    // model has no meaning.
    static Result run(int width, double tauInner, double tauOuter, double g, double interaction, int most);
    // Builds the channel on an empty grid (one core), the components at
    // rest at initialDensities, and returns the grid's parameters.
    static SimulationParameters *build(Grid &grid, int width, double tauInner, double tauOuter, double g,
                                       double interaction);
    // The inner and outer densities at x (1 to width) when the run starts:
    // the inner component fills the middle half, smoothed over about two
    // sites.
    static std::pair<double, double> initialDensities(int x, int width);
};
