#include "rectangleitem.h"

RectangleItem::RectangleItem()
{
    parameters.insert(QStringLiteral("x"), QStringLiteral("5"));
    parameters.insert(QStringLiteral("y"), QStringLiteral("5"));
    parameters.insert(QStringLiteral("width"), QStringLiteral("5"));
    parameters.insert(QStringLiteral("height"), QStringLiteral("5"));
}

bool RectangleItem::generatePoints(QString *error)
{
    const double x = number(QStringLiteral("x")), y = number(QStringLiteral("y"));
    const double w = number(QStringLiteral("width")), h = number(QStringLiteral("height"));
    std::vector<Vector3d> generated{{x, y, 0.0}, {x + w, y, 0.0}, {x + w, y + h, 0.0}, {x, y + h, 0.0}};
    closed = true;
    return accept(std::move(generated), error);
}
