#pragma once

#include "persistence/statedocument.h"

#include <QByteArray>
#include <QMap>

// Keeps the document elements that belong to the window's panels (view,
// info, colours, interpolation, ...) when a program without a window loads
// and saves a state: each element is held as it was read and written back
// unchanged, so a document run in batch keeps its view settings.
class PanelKeeper
{
public:
    // Panels for every element name the document may hold, except those in skip.
    QList<StateDocument::Panel> panels(const QStringList &skip = {});

private:
    QMap<QString, QByteArray> kept;
};
