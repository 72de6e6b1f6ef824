#include "view/colors.h"
#include "view/renderer.h"

#include <QComboBox>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLineEdit>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

namespace {

QString written(const Colors &colors)
{
    QString text;
    QXmlStreamWriter writer(&text);
    writer.writeStartElement("state");
    colors.write(writer);
    writer.writeStartElement("next");
    writer.writeEndElement();
    writer.writeEndElement();
    return text;
}

// Reads the document into the dialog; returns the name of the element the
// reader stands on afterwards.
QString readInto(Colors &colors, const QString &text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd() && !(reader.isStartElement() && reader.name() == QLatin1String("colors")))
        reader.readNext();
    colors.read(reader);
    return reader.name().toString();
}

QLineEdit *entry(Colors &colors, const char *name)
{
    return colors.findChild<QLineEdit *>(QLatin1String(name));
}

} // namespace

class TestColors : public QObject
{
    Q_OBJECT

private slots:
    void initialEntries()
    {
        Renderer renderer;
        Colors colors(&renderer, nullptr);
        QCOMPARE(colors.windowTitle(), QStringLiteral("Colors"));
        const char *names[] = {"x", "y", "width", "height", "captionX", "captionY", "captionPt"};
        const QStringList texts = {"0", "-0.1", "1", "0.01", "0", "0", "12"};
        for (int i = 0; i < 7; ++i)
            QCOMPARE(entry(colors, names[i])->text(), texts[i]);
        auto *style = colors.findChild<QComboBox *>("colorStyle");
        QCOMPARE(style->currentIndex(), 0);
        QCOMPARE(style->count(), 3);
        QCOMPARE(style->itemText(2), QStringLiteral("blue -> green -> yellow -> orange -> red"));
    }

    void returnAppliesTheBarGeometry()
    {
        Renderer renderer;
        Colors colors(&renderer, nullptr);
        entry(colors, "x")->setText("0.25");
        entry(colors, "height")->setText("0.05");
        entry(colors, "captionPt")->setText("9");
        entry(colors, "width")->setText("not a number");
        QTest::keyClick(entry(colors, "captionPt"), Qt::Key_Return);
        QCOMPARE(renderer.getBarX(), 0.25);
        QCOMPARE(renderer.getBarHeight(), 0.05);
        QCOMPARE(renderer.getCaptionPoints(), 9);
        // A malformed entry keeps the value in use.
        QCOMPARE(renderer.getBarWidth(), 1.0);
    }

    void styleSelectorSetsTheStyle()
    {
        Renderer renderer;
        Colors colors(&renderer, nullptr);
        renderer.setDirty(false);
        colors.findChild<QComboBox *>("colorStyle")->setCurrentIndex(2);
        QCOMPARE(renderer.getColorStyle(), 2);
        QVERIFY(renderer.isDirty());
    }

    void elementRoundTrip()
    {
        Renderer first;
        Colors source(&first, nullptr);
        const QStringList values = {"0.1", "-0.3", "0.8", "0.02", "0.05", "-0.01", "14"};
        const char *names[] = {"x", "y", "width", "height", "captionX", "captionY", "captionPt"};
        for (int i = 0; i < 7; ++i)
            entry(source, names[i])->setText(values[i]);
        source.findChild<QComboBox *>("colorStyle")->setCurrentIndex(1);
        const QString text = written(source);
        QVERIFY(text.contains("<colors x=\"0.1\" y=\"-0.3\" width=\"0.8\" height=\"0.02\" captionX=\"0.05\" "
                              "captionY=\"-0.01\" captionPt=\"14\" colorStyle=\"1\"/>"));

        Renderer second;
        Colors target(&second, nullptr);
        QCOMPARE(readInto(target, text), QStringLiteral("colors"));
        for (int i = 0; i < 7; ++i)
            QCOMPARE(entry(target, names[i])->text(), values[i]);
        QCOMPARE(second.getColorStyle(), 1);
        QCOMPARE(target.findChild<QComboBox *>("colorStyle")->currentIndex(), 1);
        QCOMPARE(second.getBarY(), -0.3);
        QCOMPARE(second.getCaptionY(), -0.01);
        QCOMPARE(second.getCaptionPoints(), 14);
        // Written again, the document is the same.
        QCOMPARE(written(target), text);
    }

    void missingStyleReadsAsZero()
    {
        Renderer renderer;
        Colors colors(&renderer, nullptr);
        renderer.setStyle(2);
        readInto(colors, "<state><colors x=\"0.5\"/></state>");
        QCOMPARE(renderer.getColorStyle(), 0);
        QCOMPARE(renderer.getBarX(), 0.5);
        // Absent entries keep their texts.
        QCOMPARE(entry(colors, "y")->text(), QStringLiteral("-0.1"));
    }

    void otherElementsAreLeftAlone()
    {
        Renderer renderer;
        Colors colors(&renderer, nullptr);
        QXmlStreamReader reader(QStringLiteral("<state><info x=\"3\"/></state>"));
        reader.readNextStartElement();
        reader.readNextStartElement();
        colors.read(reader);
        QCOMPARE(reader.name(), QLatin1String("info"));
        QCOMPARE(entry(colors, "x")->text(), QStringLiteral("0"));
    }

    void previewShowsTheRampOverTheRange()
    {
        Renderer renderer;
        renderer.setRange(2.0, 1.0, true);
        Colors colors(&renderer, nullptr);
        QObject::connect(&renderer, &Renderer::rangeChanged,
                         [&colors](double c, double h) { colors.refreshPreview(c, h / 2); });
        colors.show();
        QVERIFY(QTest::qWaitForWindowExposed(&colors));
        renderer.setRange(1.0, 0.5);
        QCOMPARE(colors.previewCentre(), 1.0);
        QCOMPARE(colors.previewQuarter(), 0.25);
        const QStringList ticks = {"0.5", "0.75", "1", "1.25", "1.5"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(colors.tickText(i), ticks[i]);
        auto *view = colors.findChild<QGraphicsView *>("preview");
        const int w = view->viewport()->width();
        QList<QGraphicsItem *> items = view->scene()->items(Qt::AscendingOrder);
        QCOMPARE(items.size(), w);
        auto colourAt = [&](int column) {
            for (QGraphicsItem *item : items) {
                auto *rect = static_cast<QGraphicsRectItem *>(item);
                if (int(rect->rect().x()) == column)
                    return rect->brush().color();
            }
            return QColor();
        };
        QCOMPARE(colourAt(0), QColor(255, 255, 255));
        for (int column : {1, w / 3, w / 2, w - 1})
            QCOMPARE(colourAt(column), renderer.color(0.5 + column * 1.0 / w));
    }
};

QTEST_MAIN(TestColors)
#include "tst_colors.moc"
