#include "immersedset.h"

#include "../basecell.h"
#include "../grid.h"
#include "../lattice.h"
#include "../sccell.h"
#include "fileitem.h"
#include "immerseditem.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

ImmersedSet::ImmersedSet(Grid *g) : grid(g) {}

ImmersedSet::~ImmersedSet() = default;

double ImmersedSet::kernel(double r)
{
    r = std::abs(r);
    return r <= 2.0 ? (1.0 + std::cos(M_PI * r / 2.0)) / 4.0 : 0.0;
}

int ImmersedSet::addItem(ImmersedItem *item, QString *error)
{
    std::unique_ptr<ImmersedItem> owned(item);
    if (!item)
        return -1;
    const std::size_t n = item->getPoints().size();
    if (n == 0 || n > std::size_t(ImmersedItem::MaxPoints)) {
        if (error)
            *error = n == 0 ? QStringLiteral("the item has no points")
                            : QStringLiteral("the item has more than %1 points").arg(ImmersedItem::MaxPoints);
        return -1;
    }
    int largest = 0;
    for (const auto &i : items)
        largest = std::max(largest, i->getId());
    item->setId(largest + 1);
    item->recomputeCentreOfMass();
    items.push_back(std::move(owned));
    // The per-step lists are sized here, so stepping never allocates.
    std::size_t total = 0, most = 0;
    for (const auto &i : items) {
        total += i->getPoints().size();
        most = std::max(most, i->getPoints().size());
    }
    forces.reserve(total);
    moved.reserve(most);
    return largest + 1;
}

void ImmersedSet::removeItem(int id)
{
    items.erase(std::remove_if(items.begin(), items.end(), [id](const auto &i) { return i->getId() == id; }),
                items.end());
}

void ImmersedSet::clear()
{
    items.clear();
    forces.clear();
}

ImmersedItem *ImmersedSet::item(int id) const
{
    for (const auto &i : items)
        if (i->getId() == id)
            return i.get();
    return nullptr;
}

Vector3d ImmersedSet::velocityAt(double x, double y, bool reported) const
{
    const int cx = int(std::round(x)), cy = int(std::round(y));
    Vector3d sum;
    for (int i = cx - 2; i <= cx + 2; ++i) {
        const double wx = kernel(i - x);
        if (wx == 0.0)
            continue;
        for (int j = cy - 2; j <= cy + 2; ++j)
            if (BaseCell *c = grid->getCell(i, j, 0))
                sum += (reported ? c->getVelocity(0) : c->getLatticeVelocity(0)) * (wx * kernel(j - y));
    }
    return sum;
}

Vector3d ImmersedSet::siteForce(int x, int y) const
{
    if (x < 0 || y < 0 || x >= spreadWidth || y >= spreadHeight || spread.empty())
        return Vector3d();
    return spread[std::size_t(y) * spreadWidth + x];
}

// The turning rate of a rigid item is the least-squares fit of a rotation to
// the point velocities: S / sum |P - a|^2 with S the sum of the z-components
// of u x (P - a) about the pivot a (the centre of mass when there is none),
// so an item in a fluid turning as a rigid body turns at the fluid's rate.
void ImmersedSet::step()
{
    forces.clear();
    // Without items the per-site force table is not even allocated.
    if (items.empty())
        return;
    for (const auto &itemPtr : items) {
        ImmersedItem &it = *itemPtr;
        std::vector<Vector3d> &points = it.pointsForUpdate();
        if (points.empty())
            continue;
        const double k = it.number(QStringLiteral("k"));
        const bool rigid = it.isRigid();
        const bool pivot = it.hasPivot();
        const Vector3d centre =
            pivot ? Vector3d(it.getFixedPoint().x, it.getFixedPoint().y, 0.0) : it.getCentreOfMass();
        moved.clear();
        Vector3d sumU;
        double s = 0.0, inertia = 0.0;
        for (const Vector3d &p : points) {
            const Vector3d u = velocityAt(p.x, p.y, false);
            forces.push_back({Vector3d(p.x, p.y, 0.0), u * -k});
            moved.push_back(p + u);
            sumU += u;
            const double rx = p.x - centre.x, ry = p.y - centre.y;
            s += u.x * ry - u.y * rx;
            inertia += rx * rx + ry * ry;
        }
        if (rigid) {
            const double n = double(points.size());
            const double omega = inertia > 0.0 ? s / inertia : 0.0;
            const double c = std::cos(-omega), sn = std::sin(-omega);
            Vector3d shift, about = centre;
            if (!pivot) {
                shift = sumU * (1.0 / n);
                about = centre + shift;
            }
            for (std::size_t i = 0; i < points.size(); ++i) {
                const double px = points[i].x + shift.x - about.x, py = points[i].y + shift.y - about.y;
                moved[i] = Vector3d(about.x + px * c - py * sn, about.y + px * sn + py * c, 0.0);
            }
        }
        std::copy(moved.begin(), moved.end(), points.begin());
        it.recomputeCentreOfMass();
    }
    spreadForces();
}

// Each force goes onto the fluid sites of the 5 x 5 stencil around its point
// with the weights of the interpolation; the weights are renormalised over
// the sites that carry fluid, so the fluid always receives the whole force.
void ImmersedSet::spreadForces()
{
    const int nx = grid->getWidth(), ny = grid->getHeight();
    if (nx != spreadWidth || ny != spreadHeight) {
        spreadWidth = nx;
        spreadHeight = ny;
        spread.assign(std::size_t(nx) * ny, Vector3d());
        touched.clear();
        touched.reserve(std::size_t(nx) * ny);
    }
    for (int s : touched)
        spread[std::size_t(s)] = Vector3d();
    touched.clear();
    for (const ForceEntry &e : forces) {
        if (e.force == Vector3d())
            continue;
        const double x = e.position.x, y = e.position.y;
        const int cx = int(std::round(x)), cy = int(std::round(y));
        double weights[5][5];
        double total = 0.0;
        for (int a = 0; a < 5; ++a)
            for (int b = 0; b < 5; ++b) {
                const int i = cx - 2 + a, j = cy - 2 + b;
                BaseCell *c = grid->getCell(i, j, 0);
                const double w = c && c->isFluid() ? kernel(i - x) * kernel(j - y) : 0.0;
                weights[a][b] = w;
                total += w;
            }
        if (total <= 0.0)
            continue;
        for (int a = 0; a < 5; ++a)
            for (int b = 0; b < 5; ++b) {
                if (weights[a][b] == 0.0)
                    continue;
                const int s = (cy - 2 + b) * nx + (cx - 2 + a);
                Vector3d &f = spread[std::size_t(s)];
                if (f == Vector3d())
                    touched.push_back(s);
                f += e.force * (weights[a][b] / total);
            }
    }
}

// Adds the site's force F to its next populations as 3 w_i (e_i . F), which
// carries momentum F and no mass in every lattice model, and keeps F as the
// cell's reported force until its next collision.
void ImmersedSet::spreadAt(int x, int y, int z)
{
    if (items.empty() || z != 0 || x >= spreadWidth || y >= spreadHeight)
        return;
    const Vector3d f = spread[std::size_t(y) * spreadWidth + x];
    if (f == Vector3d())
        return;
    BaseCell *cell = grid->getCell(x, y, z);
    if (!cell || !cell->isFluid())
        return;
    if (auto *fluid = dynamic_cast<SCCell *>(cell))
        fluid->setShift(f);
    const int q = grid->getParameters()->getModel();
    for (int i = 0; i < q; ++i) {
        if (!Lattice::isActive(q, i))
            continue;
        cell->setNextF(i, cell->getNextF(i, 0) + 3.0 * Lattice::weight(q, i) * Lattice::dot(q, i, f), 0);
    }
}

void ImmersedSet::write(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("itemsSize", QString::number(items.size()));
    for (const auto &itemPtr : items) {
        const ImmersedItem &it = *itemPtr;
        writer.writeStartElement("item");
        writer.writeAttribute("pointsSize", QString::number(it.getPoints().size()));
        writer.writeAttribute("parametersSize", QString::number(it.getParameters().size()));
        writer.writeAttribute("centerOfMassX", XmlFormat::real(it.getCentreOfMass().x));
        writer.writeAttribute("centerOfMassY", XmlFormat::real(it.getCentreOfMass().y));
        writer.writeAttribute("centerOfMassZ", XmlFormat::real(it.getCentreOfMass().z));
        writer.writeAttribute("fixedPointX", XmlFormat::real(it.getFixedPoint().x));
        writer.writeAttribute("fixedPointY", XmlFormat::real(it.getFixedPoint().y));
        writer.writeAttribute("fixedPointZ", XmlFormat::real(it.getFixedPoint().z));
        writer.writeAttribute("id", QString::number(it.getId()));
        writer.writeAttribute("closed", XmlFormat::flag(it.isClosed()));
        writer.writeAttribute("cellular", XmlFormat::flag(it.isCellular()));
        // The kind the item was made as, so the dialog names it again; older
        // documents without it read back as file items.
        writer.writeAttribute("type", it.typeName());
        for (const Vector3d &p : it.getPoints()) {
            writer.writeStartElement("point");
            writer.writeAttribute("x", XmlFormat::real(p.x));
            writer.writeAttribute("y", XmlFormat::real(p.y));
            writer.writeAttribute("z", XmlFormat::real(p.z));
            writer.writeEndElement();
        }
        for (auto p = it.getParameters().constBegin(); p != it.getParameters().constEnd(); ++p) {
            writer.writeStartElement("parameter");
            writer.writeAttribute("key", p.key());
            writer.writeAttribute("value", p.value());
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
}

// Everything is read and checked before the set changes; a refused element
// leaves the items as they were.
bool ImmersedSet::read(QXmlStreamReader &reader, QString *error)
{
    std::vector<std::unique_ptr<ImmersedItem>> readItems;
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        while (!reader.atEnd() && !(reader.isEndElement() && reader.name() == QLatin1String("immersedBoundary")))
            reader.readNext();
        return false;
    };
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("item")) {
            reader.skipCurrentElement();
            continue;
        }
        AttributeReader a(reader);
        const QString type = a.text("type", QStringLiteral("File"));
        std::unique_ptr<ImmersedItem> it(ImmersedItem::create(type));
        if (!it)
            it = std::make_unique<FileItem>();
        it->setCentreOfMass(Vector3d(a.real("centerOfMassX"), a.real("centerOfMassY"), a.real("centerOfMassZ")));
        it->setFixedPoint(
            Vector3d(a.real("fixedPointX", -1.0), a.real("fixedPointY", -1.0), a.real("fixedPointZ", -1.0)));
        it->setId(a.integer("id"));
        it->setClosed(a.flag("closed", true));
        it->setCellular(a.flag("cellular"));
        if (!a.ok())
            return fail(a.error());
        std::vector<Vector3d> points;
        QMap<QString, QString> parameters;
        while (reader.readNextStartElement()) {
            if (reader.name() == QLatin1String("point")) {
                if (points.size() >= std::size_t(ImmersedItem::MaxPoints))
                    return fail(QStringLiteral("element \"item\": more than %1 points").arg(ImmersedItem::MaxPoints));
                AttributeReader p(reader);
                points.emplace_back(p.real("x"), p.real("y"), p.real("z"));
                if (!p.ok())
                    return fail(p.error());
            } else if (reader.name() == QLatin1String("parameter")) {
                parameters.insert(reader.attributes().value("key").toString(),
                                  reader.attributes().value("value").toString());
            }
            reader.skipCurrentElement();
        }
        if (reader.hasError())
            return fail(reader.errorString());
        if (points.empty())
            return fail(QStringLiteral("element \"item\": the item has no points"));
        it->setPoints(points);
        for (auto p = parameters.constBegin(); p != parameters.constEnd(); ++p)
            it->setParameter(p.key(), p.value());
        readItems.push_back(std::move(it));
    }
    if (reader.hasError())
        return fail(reader.errorString());
    items.clear();
    forces.clear();
    std::size_t total = 0, most = 0;
    for (auto &it : readItems) {
        total += it->getPoints().size();
        most = std::max(most, it->getPoints().size());
        items.push_back(std::move(it));
    }
    forces.reserve(total);
    moved.reserve(most);
    return true;
}
