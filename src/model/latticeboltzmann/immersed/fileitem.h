#pragma once

#include "immerseditem.h"

// Points read from an image: every pure blue pixel is a point, the last pure red pixel the pivot. Items read back from
// a document are of this kind and keep their stored points.
class FileItem : public ImmersedItem
{
public:
    FileItem();
    bool generatePoints(QString *error) override;
    QString typeName() const override { return QStringLiteral("File"); }
};
