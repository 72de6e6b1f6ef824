#pragma once

#include "immerseditem.h"

// Evenly spaced points on a circle.
class CircleItem : public ImmersedItem
{
public:
    CircleItem();
    bool generatePoints(QString *error) override;
    QString typeName() const override { return QStringLiteral("Circle"); }
};
