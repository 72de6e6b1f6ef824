#pragma once

#include "colormap.h"
#include "model/latticeboltzmann/grid.h"

#include <QColor>

#include <cstdint>
#include <vector>

class Renderer;

// The fast path of the scalar painters on a flat 2D field: the values and
// colours of all draw items are computed in parallel into the value buffer
// and a colour image, and the field is drawn as one textured quad instead of
// one quad per cell. It gives the pixels, the value buffer and the extremes
// of the general painter pass; options it does not cover (layers, planes,
// heightmap, lighting, painters that are not plain scalar fields) take the
// general path.
class FlatField
{
public:
    // Whether the current painter and options can take this path.
    static bool supports(const Renderer &renderer);
    // The plain fluid quantity a frame of this path reads, which the step
    // before it can keep (Grid::keepPlainValues); None off this path.
    static Grid::PlainValue keptValue(const Renderer &renderer);
    // The painter pass: with draw false it refreshes the value buffer and
    // the extremes, with draw true it also draws the field. When a drawing
    // pass follows (drawFollows), the computing pass leaves to it what it
    // can: without continuous auto adjust it colours the field at once, and
    // the drawing pass only draws it; with it, the range changes in between
    // and the drawing pass writes the value buffer for both ranges.
    void pass(Renderer &renderer, bool draw, bool drawFollows = false);
    // Frees the texture; the renderer's GL context must be current.
    void release();

private:
    using Texel = std::uint32_t;
    // Slots of the colour ramp over the normalised range.
    static constexpr int RampSize = 1 << 16;

    void prepareRamp(const ColorMap &map);
    // The pixel of normalised value f in (0, 1) of a known style: the ramp
    // slot when it has one colour throughout, the exact colour otherwise.
    // f lies in (0, 1) and RampSize is a power of two, so the product is exact.
    Texel rampColor(const ColorMap &map, double f) const
    {
        const Texel known = ramp[std::size_t(f * RampSize)];
        return known ? known : exactColor(map, f);
    }
    static Texel exactColor(const ColorMap &map, double f);
    // An opaque texel: red in the low byte, as the texture takes it without
    // converting (never 0, which marks a ramp slot without one colour).
    static Texel texel(const QColor &c)
    {
        return Texel(c.red()) | Texel(c.green()) << 8 | Texel(c.blue()) << 16 | Texel(255) << 24;
    }
    // The mixture painter ("multicomponent"): each cell coloured by its
    // first two components' densities, the value kept being their mean.
    void mixturePass(Renderer &renderer, bool draw);
    // A channel of a colour given as a double, as the GL turns it into a byte.
    static Texel channel(double c);
    void upload(int width, int height);
    void drawQuad(const Renderer &renderer, int width, int height);

    std::vector<Texel> image;
    // The values of the last computing pass, per draw item, and whether the
    // item's cell exists.
    std::vector<double> cached;
    std::vector<unsigned char> present;
    // The mixture painter's two component densities per draw item, from the
    // computing pass, and whether they are still those of the frame.
    std::vector<double> shares;
    bool mixtureComputed = false;
    // What the step kept, which the last computing pass read in place for
    // the plain fluid sites instead of gathering it; null when it gathered
    // every value.
    const double *aliasSource = nullptr;
    bool computed = false;
    // The colour map of the last computing pass. The image holds the colours
    // it formed with it (coloured), or it left the value buffer to the
    // drawing pass, which writes a value where this map or its own shows it
    // (deferred).
    ColorMap computedWith;
    bool coloured = false;
    bool deferred = false;
    // The colour of each ramp slot of the current style and steps, 0 where
    // the slot's colour is not constant.
    std::vector<Texel> ramp;
    int rampStyle = -1;
    int rampSteps = -1;
    unsigned texture = 0;
    int textureWidth = 0;
    int textureHeight = 0;
};
