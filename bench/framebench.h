#pragma once

// Times one frame of a 512 x 512 D2Q9 channel in the OpenGL view (the flat
// painter drawn as a texture, and one quad per cell for comparison) against
// one step of the same grid, and prints the frame as a multiple of a step;
// then the frame of every 2D painter on a 240 x 80 channel against a step of
// that grid (only the painter ONDIX_BENCH_PAINTER names, when set). Needs
// a display.
void benchFrame();
