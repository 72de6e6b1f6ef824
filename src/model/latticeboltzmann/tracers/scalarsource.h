#pragma once

// A box that releases one coloured scalar: every site with min <= x, y, z <=
// max (inclusive) emits the colour; red, green and blue (0-255) draw it.
struct ScalarSource
{
    int id = 0;
    int minx = 0, maxx = 0;
    int miny = 0, maxy = 0;
    int minz = 0, maxz = 0;
    int red = 255, green = 0, blue = 0;

    bool contains(int x, int y, int z) const
    {
        return minx <= x && x <= maxx && miny <= y && y <= maxy && minz <= z && z <= maxz;
    }
};
