#pragma once

// Times the VTK export of a 1024 x 1024 D2Q9 grid in ASCII and in compressed
// binary and prints the file sizes.
void benchVtk();
