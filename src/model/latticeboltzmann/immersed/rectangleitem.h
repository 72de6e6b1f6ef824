#pragma once

#include "immerseditem.h"

// The four corners of an axis-aligned rectangle.
class RectangleItem : public ImmersedItem
{
public:
    RectangleItem();
    bool generatePoints(QString *error) override;
    QString typeName() const override { return QStringLiteral("Rectangle"); }
};
