#pragma once

// Times saving and loading the state document of a 1024 x 1024 D2Q9 grid
// (plain, compressed and as version 3) and prints the file sizes.
void benchDocument();
