#include "panelkeeper.h"

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
            // The element's content, copied token by token until its end.
            QByteArray copy;
            QXmlStreamWriter out(&copy);
            int depth = 0;
            do {
                if (reader.isStartElement())
                    ++depth;
                out.writeCurrentToken(reader);
                if (reader.isEndElement() && --depth == 0)
                    break;
            } while (!reader.atEnd() && (reader.readNext(), true));
            kept[name] = copy;
            return !reader.hasError();
        };
        panel.write = [this, name](QXmlStreamWriter &writer) {
            const QByteArray copy = kept.value(name);
            if (copy.isEmpty())
                return;
            // The document has started the element: write its attributes and
            // children, not its own start and end.
            QXmlStreamReader reader(copy);
            int depth = 0;
            while (!reader.atEnd()) {
                reader.readNext();
                if (reader.isStartElement()) {
                    if (depth++ == 0) {
                        writer.writeAttributes(reader.attributes());
                        continue;
                    }
                } else if (reader.isEndElement()) {
                    if (--depth == 0)
                        break;
                } else if (reader.isStartDocument() || reader.isEndDocument()) {
                    continue;
                }
                writer.writeCurrentToken(reader);
            }
        };
        list.append(panel);
    }
    return list;
}
