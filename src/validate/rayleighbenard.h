#pragma once

// Rayleigh-Benard convection between a hot floor (temperature 1) and a cold
// lid (0), periodic along x, D2Q9 passive scalar with Boussinesq buoyancy,
// Prandtl number 1 (both relaxation times tau). The walls lie on the
// half-way planes, h fluid rows apart; the box is `length` sites long.
class RayleighBenard
{
public:
    struct Convection
    {
        double nusselt = 0.0; // 1 + <u_y T> h / kappa
        int iterations = 0;
    };
    // Rolls started by a small bump of one wavelength over the box, stepped
    // until the Nusselt number settles.
    static Convection run(double rayleigh, int h, int length, double tau, int most);

    // Growth rate of the kinetic energy (per iteration, divided by two: the
    // rate of the velocity) of a small disturbance between iterations
    // `from` and `to`.
    static double growthRate(double rayleigh, int h, int length, double tau, int from, int to);
};
