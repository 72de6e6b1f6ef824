#pragma once

#include "immerseditem.h"

// Evenly spaced points on an open segment; the end point itself is left out.
class LineItem : public ImmersedItem
{
public:
    LineItem();
    bool generatePoints(QString *error) override;
    QString typeName() const override { return QStringLiteral("Line"); }
};
