#pragma once

#include "isolineseeder.h"

class Renderer;

// The midpoints of count equal slices of the renderer's colour range, read
// at every call so that the isolines follow the range.
class EquallySpacedSeeder : public IsolineSeeder
{
public:
    EquallySpacedSeeder(int count, const Renderer &renderer) : count(count), renderer(renderer) {}
    std::vector<double> values() const override;
    int getCount() const { return count; }

private:
    int count;
    const Renderer &renderer;
};
