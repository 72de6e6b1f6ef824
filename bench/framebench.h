#pragma once

// Times one frame of a 512 x 512 D2Q9 channel in the OpenGL view (the flat
// painter drawn as a texture, and one quad per cell for comparison) against
// one step of the same grid, and prints the frame as a multiple of a step.
// Needs a display.
void benchFrame();
