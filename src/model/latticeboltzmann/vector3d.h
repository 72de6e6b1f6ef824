#pragma once

class Vector3i;

// Real vector for velocities, forces and positions.
class Vector3d
{
public:
    double x = 0.0, y = 0.0, z = 0.0;

    constexpr Vector3d() = default;
    constexpr Vector3d(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    double getX() const { return x; }
    double getY() const { return y; }
    double getZ() const { return z; }
    double operator[](int axis) const { return axis == 0 ? x : (axis == 1 ? y : z); }

    Vector3d operator+(const Vector3d &o) const { return Vector3d(x + o.x, y + o.y, z + o.z); }
    Vector3d operator-(const Vector3d &o) const { return Vector3d(x - o.x, y - o.y, z - o.z); }
    Vector3d operator*(double f) const { return Vector3d(x * f, y * f, z * f); }
    Vector3d &operator+=(const Vector3d &o)
    {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    bool operator==(const Vector3d &o) const { return x == o.x && y == o.y && z == o.z; }

    double dot(const Vector3d &o) const { return x * o.x + y * o.y + z * o.z; }
    double dot(const Vector3i &o) const;
    Vector3d cross(const Vector3d &o) const
    {
        return Vector3d(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
    }
    double lengthSquared() const { return x * x + y * y + z * z; }
    double length() const;
    // The zero vector normalises to itself.
    Vector3d normalized() const;
    double distanceSquared(double px, double py, double pz) const
    {
        return (x - px) * (x - px) + (y - py) * (y - py) + (z - pz) * (z - pz);
    }
    // Rotation in the xy-plane about (cx, cy) by angle radians; z becomes 0.
    Vector3d rotatedXY(double cx, double cy, double angle) const;
};
