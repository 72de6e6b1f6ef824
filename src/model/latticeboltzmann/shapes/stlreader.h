#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <QString>

#include <vector>

// Reads the triangles of an STL file, binary or ASCII, through Assimp.
class StlReader
{
public:
    // Appends three corners per triangle to corners, in the file's
    // coordinates; false with a message when the file cannot be read or
    // holds no triangle.
    static bool read(const QString &path, std::vector<Vector3d> &corners, QString &error);
};
