#include "movingwall.h"

#include "persistence/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

MovingWall::MovingWall(const Vector3d &v, int t) : velocity(v), period(t)
{}

void MovingWall::update()
{
    if (period != 0)
        phase = (phase + 1) % period;
}

Vector3d MovingWall::getVelocity()
{
    if (period == 0)
        return velocity;
    return velocity * std::sin(2.0 * M_PI * phase / period);
}

void MovingWall::setPeriod(int t)
{
    period = t;
    phase = 0;
}

void MovingWall::write(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "wall");
    writer.writeAttribute("velocityX", XmlFormat::real(velocity.x));
    writer.writeAttribute("velocityY", XmlFormat::real(velocity.y));
    writer.writeAttribute("velocityZ", XmlFormat::real(velocity.z));
    writer.writeAttribute("period", QString::number(period));
    writer.writeAttribute("current", QString::number(phase));
}

void MovingWall::read(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes a = reader.attributes();
    velocity = Vector3d(XmlFormat::readReal(a, "velocityX"), XmlFormat::readReal(a, "velocityY"),
                        XmlFormat::readReal(a, "velocityZ"));
    period = XmlFormat::readInt(a, "period");
    phase = XmlFormat::readInt(a, "current");
    // A phase outside the period (a hand-edited document) would index past
    // one oscillation; fold it back.
    if (period != 0) {
        phase %= period;
        if (phase < 0)
            phase += std::abs(period);
    }
}

SomethingMoving *MovingWall::copy()
{
    auto *wall = new MovingWall(velocity, period);
    wall->phase = phase;
    return wall;
}
