#include "document_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "persistence/statedocument.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

QByteArray resultsDocument(Grid &grid, const QList<QPair<QString, QString>> &results)
{
    StateDocument document(grid);
    StateDocument::Panel panel;
    panel.name = QStringLiteral("results");
    panel.write = [results](QXmlStreamWriter &w) {
        for (const auto &a : results)
            w.writeAttribute(a.first, a.second);
    };
    panel.read = [](QXmlStreamReader &r, QString *) {
        r.skipCurrentElement();
        return true;
    };
    document.setPanels({panel});
    return document.text(2);
}
