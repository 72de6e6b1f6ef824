#pragma once

// Run statistics of a grid.
struct SimulationStats
{
    int iterations = 0;
    // Sites whose cell answers isFluid.
    int fluidCells = 0;
    // Sum of the cells' deltaP over the fluid cell count, after each iteration.
    double deltaP = 0.0;
    // Sum of the cells' densities after each iteration.
    double totalP = 0.0;
    // Last throughput figure of the run loop.
    double mlups = 0.0;
};
