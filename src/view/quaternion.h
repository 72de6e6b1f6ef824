#pragma once

// A rotation as a unit quaternion, in single precision like the GL matrices it feeds.
class Quaternion
{
public:
    float w = 1.0f, x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float w_, float x_, float y_, float z_) : w(w_), x(x_), y(y_), z(z_) {}

    // The Hamilton product this * o.
    Quaternion operator*(const Quaternion &o) const;
    // The zero quaternion normalises to itself.
    Quaternion normalized() const;
    // The column-major rotation matrix for glMultMatrixf.
    void toMatrix(float m[16]) const;
};
