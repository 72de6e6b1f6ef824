#include "equallyspacedseeder.h"

#include "renderer.h"

std::vector<double> EquallySpacedSeeder::values() const
{
    std::vector<double> result;
    const double low = renderer.getCentre() - renderer.getHalfWidth();
    const double slice = 2 * renderer.getHalfWidth() / count;
    for (int i = 0; i < count; ++i)
        result.push_back(low + slice * (i + 0.5));
    return result;
}
