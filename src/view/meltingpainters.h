#pragma once

class BaseCell;
class Renderer;

// The painters of the free-surface and melting model; the painter list
// calls them for "korner" and "temp".
class MeltingPainters
{
public:
    static bool isMeltingCell(BaseCell *cell);
    // The state of every melting cell as a colour: gas red, interface
    // orange, liquid yellow, solid blue, wall grey. Drawn in both passes,
    // with no range test, no tracking and no value buffer.
    static void korner(Renderer &r, bool draw);
    // The beam intensity of every melting cell, through the colour range.
    static void temp(Renderer &r, bool draw);
};
