#pragma once

#include <vector>

// Produces the iso-values for which isolines are traced.
class IsolineSeeder
{
public:
    virtual ~IsolineSeeder() = default;
    virtual std::vector<double> values() const = 0;
};
