#pragma once

class Vector3d;

// Integer lattice position or lattice direction.
class Vector3i
{
public:
    int x, y, z;

    Vector3i() = default; // components deliberately left unset
    constexpr Vector3i(int x_, int y_, int z_) : x(x_), y(y_), z(z_) {}

    Vector3i operator+(const Vector3i &o) const { return Vector3i(x + o.x, y + o.y, z + o.z); }
    bool operator==(const Vector3i &o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const Vector3i &o) const { return !(*this == o); }

    double dot(const Vector3d &v) const;
    Vector3d operator*(double factor) const;
    Vector3d toVector3d() const;
    double length() const;

    // True when every component differs from the other's by at most one.
    bool isAdjacent(const Vector3i &o) const;
    bool isInside(int nx, int ny, int nz) const { return x >= 0 && x < nx && y >= 0 && y < ny && z >= 0 && z < nz; }
    // One-period wrap used by periodic neighbour resolution: a coordinate below
    // zero goes to the far side, one past the end to zero; no modulo is applied.
    Vector3i wrapped(int nx, int ny, int nz) const;
    // Adds (dx, dy, dz); with wrap set each component is folded by (n + v) mod n.
    void translate(int dx, int dy, int dz, bool wrap = false, int nx = 1, int ny = 1, int nz = 1);
};
