#include "rotation.h"

#include <cmath>

Rotation::Rotation() : m{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}} {}

Rotation Rotation::fromAngles(double ax, double ay, double az)
{
    const double k = M_PI / 180.0;
    const double cx = std::cos(ax * k), sx = std::sin(ax * k);
    const double cy = std::cos(ay * k), sy = std::sin(ay * k);
    const double cz = std::cos(az * k), sz = std::sin(az * k);
    Rotation rx, ry, rz;
    rx.m[1][1] = cx;
    rx.m[1][2] = -sx;
    rx.m[2][1] = sx;
    rx.m[2][2] = cx;
    ry.m[0][0] = cy;
    ry.m[0][2] = sy;
    ry.m[2][0] = -sy;
    ry.m[2][2] = cy;
    rz.m[0][0] = cz;
    rz.m[0][1] = -sz;
    rz.m[1][0] = sz;
    rz.m[1][1] = cz;
    return rz * (ry * rx);
}

bool Rotation::fromMatrix(const double rows[9], Rotation &rotation)
{
    Rotation r;
    for (int i = 0; i < 9; ++i) {
        if (!std::isfinite(rows[i]))
            return false;
        r.m[i / 3][i % 3] = rows[i];
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double dot = r.m[i][0] * r.m[j][0] + r.m[i][1] * r.m[j][1] + r.m[i][2] * r.m[j][2];
            if (std::abs(dot - (i == j ? 1.0 : 0.0)) > 1e-9)
                return false;
        }
    const double det = r.m[0][0] * (r.m[1][1] * r.m[2][2] - r.m[1][2] * r.m[2][1]) -
                       r.m[0][1] * (r.m[1][0] * r.m[2][2] - r.m[1][2] * r.m[2][0]) +
                       r.m[0][2] * (r.m[1][0] * r.m[2][1] - r.m[1][1] * r.m[2][0]);
    if (std::abs(det - 1.0) > 1e-9)
        return false;
    rotation = r;
    return true;
}

Rotation Rotation::takingZTo(const Vector3d &axis)
{
    Rotation r;
    const double length = axis.length();
    if (length == 0.0)
        return r;
    const Vector3d a = axis * (1.0 / length);
    // Rodrigues' formula for the turn about z x a by the angle between them;
    // the antiparallel case is a half turn about x.
    const double c = a.z;
    if (c < -1.0 + 1e-12) {
        r.m[1][1] = -1.0;
        r.m[2][2] = -1.0;
        return r;
    }
    const Vector3d v(-a.y, a.x, 0.0); // z x a
    const double k = 1.0 / (1.0 + c);
    const double vx[3][3] = {{0, -v.z, v.y}, {v.z, 0, -v.x}, {-v.y, v.x, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double square = 0.0;
            for (int l = 0; l < 3; ++l)
                square += vx[i][l] * vx[l][j];
            r.m[i][j] = (i == j ? 1.0 : 0.0) + vx[i][j] + square * k;
        }
    return r;
}

Vector3d Rotation::apply(const Vector3d &v) const
{
    return Vector3d(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                    m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
}

Vector3d Rotation::applyInverse(const Vector3d &v) const
{
    return Vector3d(m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z, m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                    m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z);
}

Rotation Rotation::operator*(const Rotation &o) const
{
    Rotation r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int l = 0; l < 3; ++l)
                s += m[i][l] * o.m[l][j];
            r.m[i][j] = s;
        }
    return r;
}
