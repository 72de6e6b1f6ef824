#include "circleitem.h"

#include <cmath>

CircleItem::CircleItem()
{
    parameters.insert(QStringLiteral("points"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("x"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("y"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("radius"), QStringLiteral("10"));
}

bool CircleItem::generatePoints(QString *error)
{
    const double count = number(QStringLiteral("points"));
    if (!checkCount(count, error))
        return false;
    const int n = int(count);
    const double x = number(QStringLiteral("x")), y = number(QStringLiteral("y"));
    const double radius = number(QStringLiteral("radius"));
    std::vector<Vector3d> generated;
    generated.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const double a = i * 6.2831853 / n;
        generated.emplace_back(x + radius * std::cos(a), y + radius * std::sin(a), 0.0);
    }
    return accept(std::move(generated), error);
}
