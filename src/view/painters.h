#pragma once

#include "renderer.h"

#include <QStringList>

class BaseCell;

// The field painters: each turns every draw item into a number or a vector
// and draws it. A painter is called twice per frame, first to refresh the
// value buffer and the extremes (draw false), then to draw (draw true).
// Painters that need a particular cell kind skip every other cell.
class Painters
{
public:
    // The painter names in the order of the painter list.
    static QStringList names();
    // The routine of a name, or null for an unknown name.
    static PainterRoutine find(const QString &name);
    // Whether the painter of that name tracks values that cannot be
    // negative (speeds, lengths, solid fractions).
    static bool isNonNegative(const QString &name);

    static void velocity(Renderer &r, bool draw);
    static void pressure(Renderer &r, bool draw);
    static void temperature(Renderer &r, bool draw);
    static void arrow(Renderer &r, bool draw);
    static void passiveScalar(Renderer &r, bool draw);
    static void multicomponent(Renderer &r, bool draw);
    static void normalArrow(Renderer &r, bool draw);
    static void streamFunction(Renderer &r, bool draw);
    static void vorticity(Renderer &r, bool draw);
    static void vorticityMagnitude(Renderer &r, bool draw);
    static void detail(Renderer &r, bool draw);
    static void permeability(Renderer &r, bool draw);
    static void microflux(Renderer &r, bool draw);
    static void macroflux(Renderer &r, bool draw);
    static void korner(Renderer &r, bool draw);
    static void temp(Renderer &r, bool draw);

    // The cells the temperature, passive scalar and permeability painters
    // paint, and the solid fraction of a porous one.
    static bool carriesTemperature(BaseCell *cell);
    static bool carriesScalars(BaseCell *cell);
    static bool isPorous(BaseCell *cell);
    static double solidFraction(BaseCell *cell);

    // The net exchange of populations between the cell at (x, y, z) and its
    // fluid neighbours: what each neighbour sends back minus what the cell sends.
    static double microfluxAt(Grid &grid, int x, int y, int z);
};
