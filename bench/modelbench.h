#pragma once

// Stepping throughput of every physical model beside plain fluid: a 512 x 512
// D2Q9 periodic box (and a 64^3 D3Q19 one for the models that run in 3D)
// whose every site holds the model's kind, tau = 0.8, multicore on. Prints
// MLUPS, the heap bytes per site and the ratio to plain fluid measured in
// the same run. timeScale stretches the time spent per case.
void benchModels(double timeScale, int vectorLevel);
