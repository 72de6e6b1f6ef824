#pragma once

#include "quaternion.h"

#include "model/latticeboltzmann/vector3d.h"

// The orthographic view of the model space: an orientation, a zoom (the width
// of the visible square in model units) and a translation. The projection
// keeps the model's aspect whatever the widget's shape.
class Camera
{
public:
    // Stores the size and scales the zoom by the step (a step s > 0 multiplies
    // it by 1 + s, s < 0 divides it by 1 - s), then loads the projection. Needs
    // a current GL context.
    void resize(int width, int height, double zoomStep);
    // Stores the zoom and reloads the projection at the last size.
    void setZoom(double value);
    double getZoom() const { return zoom; }
    // The zoom after a step, without applying it.
    static double steppedZoom(double zoom, double step);
    int getViewportWidth() const { return viewportWidth; }
    int getViewportHeight() const { return viewportHeight; }

    // left, right, bottom, top of the orthographic projection.
    void projectionBounds(double bounds[4]) const;

    // Angles in whole degrees, applied roll about x, then pitch about y, then yaw about z.
    void setAngles(int roll, int pitch, int yaw);
    float getRoll() const;
    float getPitch() const;
    float getYaw() const;
    const Quaternion &getOrientation() const { return orientation; }
    void setOrientation(const Quaternion &q) { orientation = q; }

    // Rotates by the arc between two points of the virtual trackball.
    void rotate(const Vector3d &from, const Vector3d &to);
    // The trackball point of widget position (px, py) in a widget of size w x h.
    static Vector3d trackballPoint(int px, int py, int w, int h);

    // Moves the model by (dx, dy) in units of the zoom.
    void pan(double dx, double dy);
    void setTranslation(double x, double y, double z);
    Vector3d getTranslation() const { return translation; }

    // Identity orientation, zoom 1, no translation; the projection keeps the
    // old zoom until it is next loaded.
    void reset();
    // Pushes the model-view matrix and loads the camera's transformation.
    void apply() const;
    // The 16 floats apply multiplies by.
    void modelViewMatrix(float m[16]) const;

private:
    void loadProjection() const;

    Quaternion orientation;
    double zoom = 1.0;
    int viewportWidth = 1;
    int viewportHeight = 1;
    Vector3d translation;
};
