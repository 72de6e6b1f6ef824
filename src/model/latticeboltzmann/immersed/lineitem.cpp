#include "lineitem.h"

LineItem::LineItem()
{
    parameters.insert(QStringLiteral("points"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("x1"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("y1"), QStringLiteral("10"));
    parameters.insert(QStringLiteral("x2"), QStringLiteral("20"));
    parameters.insert(QStringLiteral("y2"), QStringLiteral("20"));
    closed = false;
}

bool LineItem::generatePoints(QString *error)
{
    const double count = number(QStringLiteral("points"));
    if (!checkCount(count, error))
        return false;
    const int n = int(count);
    const double x1 = number(QStringLiteral("x1")), y1 = number(QStringLiteral("y1"));
    const double x2 = number(QStringLiteral("x2")), y2 = number(QStringLiteral("y2"));
    std::vector<Vector3d> generated;
    generated.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i)
        generated.emplace_back(x1 + i * (x2 - x1) / n, y1 + i * (y2 - y1) / n, 0.0);
    closed = false;
    return accept(std::move(generated), error);
}
