#pragma once

#include "renderer.h"

#include <QStringList>

// The field painters: each turns every draw item into a number or a vector
// and draws it. A painter is called twice per frame, first to refresh the
// value buffer and the extremes (draw false), then to draw.
class Painters
{
public:
    // The painter names in the order of the painter list.
    static QStringList names();
    // The routine of a name, or null for an unknown name.
    static PainterRoutine find(const QString &name);

    static void velocity(Renderer &r, bool draw);
};
