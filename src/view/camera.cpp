#include "camera.h"

#include <QtOpenGL>

#include <cmath>

namespace {
constexpr float Pi = 3.14159f;
}

double Camera::steppedZoom(double zoom, double step)
{
    return step > 0 ? zoom * (1.0 + step) : zoom / (1.0 - step);
}

void Camera::resize(int width, int height, double zoomStep)
{
    viewportWidth = width;
    viewportHeight = height;
    zoom = steppedZoom(zoom, zoomStep);
    loadProjection();
}

void Camera::setZoom(double value)
{
    zoom = value;
    loadProjection();
}

void Camera::projectionBounds(double bounds[4]) const
{
    const double w = viewportWidth > 0 ? viewportWidth : 1;
    const double h = viewportHeight > 0 ? viewportHeight : 1;
    if (h < w) {
        const double a = (w - h) / h / 2;
        bounds[0] = -zoom * (0.5 + a);
        bounds[1] = zoom * (0.5 + a);
        bounds[2] = -zoom * 0.5;
        bounds[3] = zoom * 0.5;
    } else {
        const double a = (h - w) / w / 2;
        bounds[0] = -zoom * 0.5;
        bounds[1] = zoom * 0.5;
        bounds[2] = -zoom * (0.5 + a);
        bounds[3] = zoom * (0.5 + a);
    }
}

void Camera::loadProjection() const
{
    double b[4];
    projectionBounds(b);
    glViewport(0, 0, viewportWidth, viewportHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(b[0], b[1], b[2], b[3], -2.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Camera::setAngles(int roll, int pitch, int yaw)
{
    const float r = roll * Pi / 180.0f, p = pitch * Pi / 180.0f, y = yaw * Pi / 180.0f;
    Quaternion q;
    q = Quaternion(std::cos(r / 2), std::sin(r / 2), 0, 0) * q;
    q = Quaternion(std::cos(p / 2), 0, std::sin(p / 2), 0) * q;
    q = Quaternion(std::cos(y / 2), 0, 0, std::sin(y / 2)) * q;
    orientation = q.normalized();
}

float Camera::getRoll() const
{
    const Quaternion &q = orientation;
    return std::atan2(2 * (q.w * q.x + q.y * q.z), 1 - 2 * (q.x * q.x + q.y * q.y)) * 180.0f / Pi;
}

float Camera::getPitch() const
{
    const Quaternion &q = orientation;
    // Rounding can take the argument a hair beyond 1 at a quarter turn.
    const float s = std::fmax(-1.0f, std::fmin(1.0f, 2 * (q.w * q.y - q.z * q.x)));
    return std::asin(s) * 180.0f / Pi;
}

float Camera::getYaw() const
{
    const Quaternion &q = orientation;
    return std::atan2(2 * (q.x * q.y + q.w * q.z), 1 - 2 * (q.y * q.y + q.z * q.z)) * 180.0f / Pi;
}

Vector3d Camera::trackballPoint(int px, int py, int w, int h)
{
    const double u = (px - w / 2.0) / (w / 2.0);
    const double v = -(py - h / 2.0) / (h / 2.0);
    const double t = 1 - u * u - v * v;
    if (t > 0)
        return Vector3d(u, v, std::sqrt(t));
    const float l = std::sqrt(float(u * u + v * v));
    return Vector3d(u / l, v / l, 0);
}

void Camera::rotate(const Vector3d &from, const Vector3d &to)
{
    const Vector3d axis = from.cross(to).normalized();
    const double c = (from.dot(to) + 1) / 2;
    const double s = std::sqrt(std::fmax(0.0, 1 - c));
    const Quaternion r(float(-std::sqrt(std::fmax(0.0, c))), float(s * axis.x), float(s * axis.y), float(s * axis.z));
    orientation = (orientation * r).normalized();
}

void Camera::pan(double dx, double dy)
{
    translation += Vector3d(dx, dy, 0) * zoom;
}

void Camera::setTranslation(double x, double y, double z)
{
    translation = Vector3d(x, y, z);
}

void Camera::reset()
{
    orientation = Quaternion();
    zoom = 1.0;
    translation = Vector3d();
}

void Camera::modelViewMatrix(float m[16]) const
{
    orientation.toMatrix(m);
}

void Camera::apply() const
{
    float m[16];
    modelViewMatrix(m);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslated(translation.x, translation.y, translation.z);
    glMultMatrixf(m);
}
