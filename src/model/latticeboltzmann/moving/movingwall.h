#pragma once

#include "somethingmoving.h"

#include <QString>

// The body of a moving-wall cell: a steady velocity, or one modulated by
// sin(2 pi n / T) where the phase n advances by one every time step.
class MovingWall : public SomethingMoving
{
public:
    explicit MovingWall(const Vector3d &velocity = Vector3d(), int period = 0);

    void exchange(double[], BaseCell *[], Grid *, Vector3i) override {}
    void update() override;
    Vector3d getDisplacement() override { return Vector3d(); }
    Vector3d getVelocity() override;
    void write(QXmlStreamWriter &writer) override;
    // Keeps the wall as it was and logs a warning when a value is rejected.
    void read(QXmlStreamReader &reader) override;
    // The same; a rejected value leaves the wall unchanged and gives false
    // with a message naming the element and the attribute.
    bool readChecked(QXmlStreamReader &reader, QString *error = nullptr);
    SomethingMoving *copy() override;

    // The velocity amplitude (the velocity itself for a steady wall).
    Vector3d getWallVelocity() const { return velocity; }
    void setWallVelocity(const Vector3d &v) { velocity = v; }
    int getPeriod() const { return period; }
    // A new period restarts the oscillation at phase 0.
    void setPeriod(int t);
    int getPhase() const { return phase; }

private:
    Vector3d velocity;
    int period = 0;
    int phase = 0;
};
