#pragma once

class Renderer;

// Draws the grid's immersed items in the renderer's model coordinates: grey
// outlines through the points at their cell centres (closed or open as the
// item says), or one filled square per point for items made from an image.
class ImmersedPainter
{
public:
    static void draw(const Renderer &renderer);
};
