#include "panelkeeper.h"

#include "model/xml/elementcopy.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const char *const Names[] = {"view", "scheduler", "info", "results", "colors", "regression", "interpolation"};

} // namespace

QList<StateDocument::Panel> PanelKeeper::panels(const QStringList &skip)
{
    QList<StateDocument::Panel> list;
    for (const char *n : Names) {
        const QString name = QLatin1String(n);
        if (skip.contains(name))
            continue;
        StateDocument::Panel panel;
        panel.name = name;
        panel.read = [this, name](QXmlStreamReader &reader, QString *) {
            kept[name] = ElementCopy::capture(reader);
            return !reader.hasError();
        };
        // An element the input did not have (a geometry has none) is written
        // empty: there is nothing to copy into it.
        panel.write = [this, name](QXmlStreamWriter &writer) {
            const auto element = kept.constFind(name);
            if (element != kept.constEnd())
                ElementCopy::writeContent(*element, writer);
        };
        list.append(panel);
    }
    return list;
}
