#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <QString>

#include <vector>

// Writes triangles (three corners each) as an STL file, for test surfaces.
class StlWriter
{
public:
    static bool writeBinary(const QString &path, const std::vector<Vector3d> &corners);
    static bool writeAscii(const QString &path, const std::vector<Vector3d> &corners);
};
