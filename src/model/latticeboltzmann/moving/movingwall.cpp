#include "movingwall.h"

#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <cmath>

namespace {

// The phase folded into [0, |T|). The arithmetic runs in 64 bits: a
// document may hold any int for both, and INT_MIN % -1 or -INT_MIN would
// overflow in int.
int folded(long long phase, int period)
{
    if (period == 0)
        return 0;
    const long long t = std::llabs(static_cast<long long>(period));
    long long n = phase % t;
    if (n < 0)
        n += t;
    return static_cast<int>(n);
}

} // namespace

MovingWall::MovingWall(const Vector3d &v, int t) : velocity(v), period(t) {}

void MovingWall::update()
{
    if (period != 0)
        phase = folded(static_cast<long long>(phase) + 1, period);
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
    QString error;
    if (!readChecked(reader, &error))
        qWarning("%s", qPrintable(error));
}

bool MovingWall::readChecked(QXmlStreamReader &reader, QString *error)
{
    AttributeReader a(reader);
    const Vector3d v(a.real("velocityX"), a.real("velocityY"), a.real("velocityZ"));
    const int t = a.integer("period");
    const int n = a.integer("current");
    if (!a.ok()) {
        if (error)
            *error = a.error();
        return false;
    }
    velocity = v;
    period = t;
    // A phase outside the period (a hand-edited document) would index past
    // one oscillation; fold it back.
    phase = folded(n, t);
    return true;
}

SomethingMoving *MovingWall::copy()
{
    auto *wall = new MovingWall(velocity, period);
    wall->phase = phase;
    return wall;
}
