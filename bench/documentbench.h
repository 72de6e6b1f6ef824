#pragma once

// Times loading a text geometry of two million sites, then saving and
// loading the state document of a 1024 x 1024 D2Q9 grid (plain, compressed
// and as version 3) and prints the file sizes.
void benchDocument();
