#include "tracerset.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Points held by all trails together at most, so a large region cannot
// reserve unbounded memory: each trail's cap shrinks to fit.
constexpr std::size_t PointBudget = std::size_t(1) << 22;

} // namespace

void TracerSet::setGridSpacing(int n)
{
    gridSpacing = std::max(1, n);
    regenerate();
}

void TracerSet::setTrailCap(int n)
{
    trailCap = std::max(1, n);
    regenerate();
}

void TracerSet::addRegion(const TracerRegion &region)
{
    regionList.append(region);
    regenerate();
}

void TracerSet::removeRegion(int id)
{
    for (int i = regionList.size() - 1; i >= 0; --i)
        if (regionList[i].id == id)
            regionList.removeAt(i);
    regenerate();
}

void TracerSet::removeAllRegions()
{
    regionList.clear();
    regenerate();
}

const TracerRegion *TracerSet::findRegion(int id) const
{
    for (const TracerRegion &r : regionList)
        if (r.id == id)
            return &r;
    return nullptr;
}

void TracerSet::resetTrails(int id)
{
    for (TracerEmitter &e : emitterList)
        if (e.regionId == id)
            e.restart();
}

void TracerSet::resetAllTrails()
{
    for (TracerEmitter &e : emitterList)
        e.restart();
}

// Emitters only at lattice points inside the grid: points released outside
// would vanish at once.
void TracerSet::regenerate()
{
    emitterList.clear();
    const int step = std::max(1, gridSpacing);
    const int nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    for (const TracerRegion &r : regionList) {
        const int x0 = std::max(0, r.from.x), y0 = std::max(0, r.from.y), z0 = std::max(0, r.from.z);
        const int x1 = std::min(nx - 1, r.to.x), y1 = std::min(ny - 1, r.to.y), z1 = std::min(nz - 1, r.to.z);
        // Counting from the region's own corner keeps the spacing pattern
        // of a region that starts outside the grid.
        auto first = [step](int from, int clipped) { return from + (clipped - from + step - 1) / step * step; };
        for (int x = first(r.from.x, x0); x <= x1; x += step)
            for (int y = first(r.from.y, y0); y <= y1; y += step)
                for (int z = first(r.from.z, z0); z <= z1; z += step) {
                    TracerEmitter e;
                    e.origin = Vector3i(x, y, z);
                    e.red = r.red;
                    e.green = r.green;
                    e.blue = r.blue;
                    e.regionId = r.id;
                    emitterList.push_back(std::move(e));
                }
    }
    const std::size_t cap = effectiveCap();
    for (TracerEmitter &e : emitterList) {
        e.trail.reserve(cap + 1);
        e.restart();
    }
}

std::size_t TracerSet::effectiveCap() const
{
    if (emitterList.empty())
        return std::size_t(trailCap);
    return std::max<std::size_t>(1, std::min<std::size_t>(std::size_t(trailCap), PointBudget / emitterList.size()));
}

void TracerSet::step()
{
    if (emitterList.empty())
        return;
    const std::size_t cap = effectiveCap();
    for (TracerEmitter &e : emitterList)
        advance(e, cap);
}

void TracerSet::advance(TracerEmitter &emitter, std::size_t cap)
{
    std::vector<TracerPoint> &trail = emitter.trail;
    const double nx = grid->getWidth(), ny = grid->getHeight(), nz = grid->getLength();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Newest first, as the points were released; the jitter draws follow.
    for (std::size_t k = trail.size(); k-- > 0;) {
        TracerPoint &p = trail[k];
        BaseCell *cell = nullptr;
        // floor, so that positions in (-1, 0) lie outside rather than in the
        // first column; the comparisons also catch a NaN.
        if (p.x >= 0.0 && p.x < nx && p.y >= 0.0 && p.y < ny && p.z >= 0.0 && p.z < nz)
            cell = grid->getCell(int(std::floor(p.x)), int(std::floor(p.y)), int(std::floor(p.z)));
        if (!cell || !cell->isFluid()) {
            p.x = nan;
            continue;
        }
        const double j1 = (2.0 * random15() / 32767.0 - 1.0) * diffusion;
        const double j2 = (2.0 * random15() / 32767.0 - 1.0) * diffusion;
        const Vector3d v = cell->getVelocity(-1);
        p.px = p.x;
        p.py = p.y;
        p.pz = p.z;
        p.x = p.x + amplification * v.x + j1;
        p.y = p.y + amplification * v.y + j2;
        p.z = p.z + amplification * v.z;
    }
    trail.erase(std::remove_if(trail.begin(), trail.end(), [](const TracerPoint &p) { return std::isnan(p.x); }),
                trail.end());
    if (trail.size() >= cap)
        trail.erase(trail.begin(), trail.begin() + std::ptrdiff_t(trail.size() + 1 - cap));
    TracerPoint fresh;
    fresh.x = fresh.px = emitter.origin.x;
    fresh.y = fresh.py = emitter.origin.y;
    fresh.z = fresh.pz = emitter.origin.z;
    trail.push_back(fresh);
}

void TracerSet::write(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("acceleration", QString::number(amplification));
    writer.writeAttribute("particlesQuantity", QString::number(regionList.size()));
    writer.writeAttribute("injectionPeriod", QString::number(injectionPeriod));
    writer.writeAttribute("injectionTime", QString::number(injectionTime));
    writer.writeAttribute("gridSpacing", QString::number(gridSpacing));
    writer.writeAttribute("trailCap", QString::number(trailCap));
    writer.writeAttribute("randomState", QString::number(randomState));
    for (const TracerRegion &r : regionList) {
        writer.writeStartElement("particle");
        const int values[] = {r.from.x, r.from.y, r.from.z, r.to.x,   r.to.y,  r.to.z, r.red,
                              r.green,  r.blue,   r.red2,   r.green2, r.blue2, r.id};
        const char *const keys[] = {"fromX",  "fromY",  "fromZ",   "toX",     "toY",     "toZ", "colorR",
                                    "colorG", "colorB", "color2R", "color2G", "color2B", "id"};
        for (std::size_t i = 0; i < std::size(values); ++i)
            writer.writeAttribute(keys[i], QString::number(values[i]));
        writer.writeEndElement();
    }
    // The trails, oldest point first, six numbers per point.
    for (std::size_t e = 0; e < emitterList.size(); ++e) {
        writer.writeStartElement("trail");
        writer.writeAttribute("emitter", QString::number(e));
        QString text;
        for (const TracerPoint &p : emitterList[e].trail) {
            for (double v : {p.x, p.y, p.z, p.px, p.py, p.pz}) {
                text += XmlFormat::real(v);
                text += QLatin1Char(' ');
            }
        }
        writer.writeCharacters(text.trimmed());
        writer.writeEndElement();
    }
}

bool TracerSet::read(QXmlStreamReader &reader, QString *error)
{
    AttributeReader a(reader);
    const int newAmplification = a.integer("acceleration", amplification);
    const int newPeriod = a.integer("injectionPeriod", 0);
    const int newTime = a.integer("injectionTime", 0);
    const int newSpacing = a.integer("gridSpacing", 1);
    const int newCap = a.integer("trailCap", trailCap, 1);
    bool stateOk = false;
    const std::uint64_t newState = a.text("randomState").toULongLong(&stateOk);
    QList<TracerRegion> list;
    QList<std::pair<int, QString>> trails;
    QString why = a.ok() ? QString() : a.error();
    // The regions are the "particle" children present, whatever
    // "particlesQuantity" announces.
    ChildElements children(reader);
    while (children.next()) {
        if (!why.isEmpty())
            continue;
        if (reader.name() == QLatin1String("particle")) {
            AttributeReader p(reader);
            TracerRegion r;
            r.from = Vector3i(p.integer("fromX"), p.integer("fromY"), p.integer("fromZ"));
            r.to = Vector3i(p.integer("toX"), p.integer("toY"), p.integer("toZ"));
            r.red = p.integer("colorR", 0, 0, 255);
            r.green = p.integer("colorG", 0, 0, 255);
            r.blue = p.integer("colorB", 0, 0, 255);
            r.red2 = p.integer("color2R", 0, 0, 255);
            r.green2 = p.integer("color2G", 0, 0, 255);
            r.blue2 = p.integer("color2B", 0, 0, 255);
            r.id = p.integer("id");
            if (p.ok())
                list.append(r);
            else
                why = p.error();
        } else if (reader.name() == QLatin1String("trail")) {
            AttributeReader t(reader);
            const int index = t.integer("emitter", -1, 0);
            const QString text = reader.readElementText();
            if (t.ok())
                trails.append({index, text});
        }
    }
    if (why.isEmpty() && !children.finished())
        why = reader.hasError() ? reader.errorString() : QStringLiteral("the element is not closed");
    if (!why.isEmpty()) {
        *error = why;
        return false;
    }
    amplification = newAmplification;
    injectionPeriod = newPeriod;
    injectionTime = newTime;
    gridSpacing = std::max(1, newSpacing);
    trailCap = newCap;
    if (stateOk && newState != 0)
        randomState = newState;
    regionList = list;
    regenerate();
    // Saved trails continue where they were; a trail that does not fit its
    // emitter or holds a malformed number restarts.
    const std::size_t cap = effectiveCap();
    for (const auto &t : trails) {
        if (t.first < 0 || std::size_t(t.first) >= emitterList.size())
            continue;
        const QVector<QStringRef> numbers = t.second.splitRef(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (numbers.size() % 6 != 0 || numbers.isEmpty() || std::size_t(numbers.size() / 6) > cap)
            continue;
        std::vector<TracerPoint> &trail = emitterList[std::size_t(t.first)].trail;
        trail.clear();
        bool ok = true;
        for (int n = 0; n < numbers.size() && ok; n += 6) {
            double v[6];
            for (int k = 0; k < 6 && ok; ++k) {
                v[k] = numbers[n + k].toDouble(&ok);
                ok = ok && std::isfinite(v[k]);
            }
            if (ok)
                trail.push_back({v[0], v[1], v[2], v[3], v[4], v[5]});
        }
        if (!ok)
            emitterList[std::size_t(t.first)].restart();
    }
    return true;
}
