#include "movingparticle.h"

#include "../basecell.h"
#include "../grid.h"
#include "../lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// The fluid neighbour in direction i sends f_opp(i) into the particle and gets
// f_i back: the particle gains e_opp(i) (f_i + f_opp(i)).
void MovingParticle::exchange(double[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const int q = grid->getParameters()->getModel();
    for (int i = 1; i < q; ++i) {
        BaseCell *n = neighbours[i];
        if (!n || !n->isFluid())
            continue;
        const int o = Lattice::opposite(q, i);
        movementQuantity += Lattice::direction(q, o) * (n->getF(i, -1) + n->getF(o, -1));
    }
}

// The momentum gathered from the fluid is a force on the particle's mass,
// as is the electrostatic term; gravity pulls along -y with g per unit mass.
void MovingParticle::update(double gravity, RandomSource *random)
{
    if (!frozen && !cells.empty()) {
        const double m = mass();
        const Vector3d M = (movementQuantity + lastMovementQuantity) * 0.5;
        double r1 = 0.0, r2 = 0.0;
        // No draws without a temperature, so a cold run does not depend on
        // the random sequence.
        if (temperature != 0.0 && random) {
            r1 = (2.0 * (random->next() % 32768) / 32767.0 - 1.0) * temperature;
            r2 = (2.0 * (random->next() % 32768) / 32767.0 - 1.0) * temperature;
        }
        const Vector3d E = electrostaticAcceleration;
        const Vector3d dv((M.x + E.x + r2) / m, (M.y + E.y + r1 - gravity * m) / m, (M.z + E.z) / m);
        const Vector3d next = velocity + dv;
        displacement += (velocity + next) * 0.5;
        velocity = next;
    }
    lastMovementQuantity = movementQuantity;
    movementQuantity = Vector3d();
    chargeProcessed = false;
    movementProcessed = true;
}

Vector3d MovingParticle::centre(const Vector3i &period) const
{
    if (cells.empty())
        return displacement;
    // Offsets from the first cell, each to the nearest image; along an axis
    // without a period the offsets are the positions themselves.
    const Vector3i first = cells.front();
    const Vector3i ref(period.x > 0 ? first.x : 0, period.y > 0 ? first.y : 0, period.z > 0 ? first.z : 0);
    Vector3d sum;
    for (const Vector3i &c : cells)
        sum += nearestImage(c.toVector3d() - ref.toVector3d(), period);
    const Vector3d mean = ref.toVector3d() + sum * (1.0 / double(cells.size())) + displacement;
    auto wrap = [](double v, int n) {
        if (n <= 0)
            return v;
        v = std::fmod(v, double(n));
        return v < 0.0 ? v + n : v;
    };
    return Vector3d(wrap(mean.x, period.x), wrap(mean.y, period.y), wrap(mean.z, period.z));
}

Vector3d MovingParticle::nearestImage(const Vector3d &d, const Vector3i &period)
{
    auto nearest = [](double v, int n) { return n > 0 ? v - n * std::round(v / n) : v; };
    return Vector3d(nearest(d.x, period.x), nearest(d.y, period.y), nearest(d.z, period.z));
}

void MovingParticle::write(QXmlStreamWriter &writer)
{
    auto vector = [&](const char *name, const Vector3d &v) {
        writer.writeAttribute(QStringLiteral("%1X").arg(name), XmlFormat::real(v.x));
        writer.writeAttribute(QStringLiteral("%1Y").arg(name), XmlFormat::real(v.y));
        writer.writeAttribute(QStringLiteral("%1Z").arg(name), XmlFormat::real(v.z));
    };
    writer.writeAttribute("frozen", XmlFormat::flag(frozen));
    vector("velocity", velocity);
    writer.writeAttribute("temperature", XmlFormat::real(temperature));
    writer.writeAttribute("charge", QString::number(charge));
    writer.writeAttribute("relativeDensity", XmlFormat::real(relativeDensity));
    vector("movementQuantity", movementQuantity);
    vector("lastMovementQuantity", lastMovementQuantity);
    vector("electrostaticAcceleration", electrostaticAcceleration);
    writer.writeAttribute("chargeProcessed", XmlFormat::flag(chargeProcessed));
    writer.writeAttribute("movementProcessed", XmlFormat::flag(movementProcessed));
    // The site of the first cell: where the particle sits on the lattice.
    const Vector3i first = cells.empty() ? Vector3i(0, 0, 0) : cells.front();
    writer.writeAttribute("gridx", QString::number(first.x));
    writer.writeAttribute("gridy", QString::number(first.y));
    writer.writeAttribute("gridz", QString::number(first.z));
    writer.writeAttribute("dx", XmlFormat::real(displacement.x));
    writer.writeAttribute("dy", XmlFormat::real(displacement.y));
    writer.writeAttribute("dz", XmlFormat::real(displacement.z));
    writer.writeAttribute("pointsSize", QString::number(cells.size()));
    for (const Vector3i &c : cells) {
        writer.writeStartElement("point");
        writer.writeAttribute("x", QString::number(c.x));
        writer.writeAttribute("y", QString::number(c.y));
        writer.writeAttribute("z", QString::number(c.z));
        writer.writeEndElement();
    }
}

void MovingParticle::read(QXmlStreamReader &reader)
{
    QString error;
    if (!readChecked(reader, &error))
        qWarning("%s", qPrintable(error));
}

bool MovingParticle::readChecked(QXmlStreamReader &reader, QString *error)
{
    AttributeReader a(reader);
    auto vector = [&](const char *name) {
        return Vector3d(a.real(QStringLiteral("%1X").arg(name)), a.real(QStringLiteral("%1Y").arg(name)),
                        a.real(QStringLiteral("%1Z").arg(name)));
    };
    MovingParticle p;
    p.frozen = a.flag("frozen");
    p.velocity = vector("velocity");
    p.temperature = a.real("temperature");
    p.charge = a.integer("charge", 0, -1000000, 1000000);
    // A particle without mass would take any push as an infinite speed.
    p.relativeDensity = a.real("relativeDensity", 10.0, 1e-12);
    p.movementQuantity = vector("movementQuantity");
    p.lastMovementQuantity = vector("lastMovementQuantity");
    p.electrostaticAcceleration = vector("electrostaticAcceleration");
    p.chargeProcessed = a.flag("chargeProcessed");
    p.movementProcessed = a.flag("movementProcessed");
    p.displacement = Vector3d(a.real("dx"), a.real("dy"), a.real("dz"));
    const int size = a.integer("pointsSize", 0, 0, 100000000);
    if (!a.ok()) {
        if (error)
            *error = a.error();
        reader.skipCurrentElement();
        return false;
    }
    p.cells.reserve(std::size_t(std::min(size, 1 << 20)));
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("point")) {
            AttributeReader c(reader);
            p.cells.emplace_back(c.integer("x"), c.integer("y"), c.integer("z"));
            if (!c.ok()) {
                if (error)
                    *error = c.error();
                reader.skipCurrentElement();
                reader.skipCurrentElement();
                return false;
            }
        }
        reader.skipCurrentElement();
    }
    *this = p;
    return true;
}
