#include "immerseditem.h"

#include "circleitem.h"
#include "fileitem.h"
#include "lineitem.h"
#include "rectangleitem.h"

#include <QStringList>

#include <cmath>

ImmersedItem::ImmersedItem()
{
    parameters.insert(QStringLiteral("k"), QStringLiteral("1"));
    parameters.insert(QStringLiteral("rigidBody"), QStringLiteral("1"));
}

ImmersedItem *ImmersedItem::create(const QString &type)
{
    if (type == QLatin1String("Circle"))
        return new CircleItem;
    if (type == QLatin1String("Line"))
        return new LineItem;
    if (type == QLatin1String("Rectangle"))
        return new RectangleItem;
    if (type == QLatin1String("File"))
        return new FileItem;
    return nullptr;
}

QStringList ImmersedItem::typeNames()
{
    return {QStringLiteral("Circle"), QStringLiteral("Line"), QStringLiteral("Rectangle"), QStringLiteral("File")};
}

double ImmersedItem::number(const QString &key)
{
    auto it = parameters.find(key);
    if (it == parameters.end()) {
        parameters.insert(key, QString());
        return 0.0;
    }
    bool ok = false;
    const double v = it.value().trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

void ImmersedItem::recomputeCentreOfMass()
{
    Vector3d sum;
    for (const Vector3d &p : points)
        sum += p;
    centreOfMass = points.empty() ? Vector3d() : sum * (1.0 / double(points.size()));
}

bool ImmersedItem::checkCount(double count, QString *error)
{
    if (count >= 1.0 && count <= MaxPoints)
        return true;
    if (error)
        *error = QStringLiteral("the number of points must lie between 1 and %1").arg(MaxPoints);
    return false;
}

bool ImmersedItem::accept(std::vector<Vector3d> &&generated, QString *error)
{
    if (generated.empty()) {
        if (error)
            *error = QStringLiteral("the item has no points");
        return false;
    }
    if (generated.size() > std::size_t(MaxPoints)) {
        if (error)
            *error = QStringLiteral("the item has more than %1 points").arg(MaxPoints);
        return false;
    }
    for (const Vector3d &p : generated)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            if (error)
                *error = QStringLiteral("the item's points are not finite");
            return false;
        }
    points = std::move(generated);
    return true;
}
