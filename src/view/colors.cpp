#include "colors.h"

#include "renderer.h"
#include "ui_colors.h"

#include <QGLWidget>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

struct Field
{
    const char *key;
    QLineEdit *Ui::Colors::*edit;
};

// The entries and their attribute names, read and written alike.
const Field fields[] = {
    {"x", &Ui::Colors::x},
    {"y", &Ui::Colors::y},
    {"width", &Ui::Colors::width},
    {"height", &Ui::Colors::height},
    {"captionX", &Ui::Colors::captionX},
    {"captionY", &Ui::Colors::captionY},
    {"captionPt", &Ui::Colors::captionPt},
};

} // namespace

Colors::Colors(Renderer *renderer, QGLWidget *view, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Colors>()), renderer(renderer), view(view)
{
    ui->setupUi(this);
    ui->preview->setScene(new QGraphicsScene(this));
    centre = renderer->getCentre();
    quarter = renderer->getHalfWidth() / 2;
}

Colors::~Colors() = default;

void Colors::repaintView()
{
    if (view)
        view->updateGL();
}

void Colors::applyEntries()
{
    auto number = [](QLineEdit *edit, double fallback) {
        bool ok = false;
        const double v = edit->text().toDouble(&ok);
        return ok ? v : fallback;
    };
    bool ok = false;
    const int points = ui->captionPt->text().toInt(&ok);
    renderer->setBarGeometry(number(ui->x, renderer->getBarX()), number(ui->y, renderer->getBarY()),
                             number(ui->width, renderer->getBarWidth()), number(ui->height, renderer->getBarHeight()),
                             number(ui->captionX, renderer->getCaptionX()),
                             number(ui->captionY, renderer->getCaptionY()), ok ? points : renderer->getCaptionPoints());
    repaintView();
}

void Colors::on_x_returnPressed()
{
    applyEntries();
}

void Colors::on_y_returnPressed()
{
    applyEntries();
}

void Colors::on_width_returnPressed()
{
    applyEntries();
}

void Colors::on_height_returnPressed()
{
    applyEntries();
}

void Colors::on_captionX_returnPressed()
{
    applyEntries();
}

void Colors::on_captionY_returnPressed()
{
    applyEntries();
}

void Colors::on_captionPt_returnPressed()
{
    applyEntries();
}

void Colors::on_colorStyle_currentIndexChanged(int index)
{
    renderer->setStyle(index);
    previewStale = true;
    refreshPreview(centre, quarter);
    repaintView();
}

QString Colors::tickText(int index) const
{
    const QLabel *ticks[] = {ui->tick0, ui->tick1, ui->tick2, ui->tick3, ui->tick4};
    return index >= 0 && index < 5 ? ticks[index]->text() : QString();
}

void Colors::refreshPreview(double c, double q)
{
    if (c == centre && q == quarter && !previewStale)
        return;
    centre = c;
    quarter = q;
    QLabel *ticks[] = {ui->tick0, ui->tick1, ui->tick2, ui->tick3, ui->tick4};
    for (int i = 0; i < 5; ++i)
        ticks[i]->setText(QString::number(c + (i - 2) * q, 'g', 3));
    previewStale = true;
    // The strip itself is drawn only when it can be seen.
    if (isVisible())
        rebuildPreview();
}

void Colors::rebuildPreview()
{
    const int w = ui->preview->viewport()->width(), h = ui->preview->viewport()->height();
    auto *scene = new QGraphicsScene(0, 0, w, h, this);
    for (int i = 0; i < w; ++i) {
        const QColor c = renderer->color(centre - 2 * quarter + i * 4 * quarter / w);
        scene->addRect(i, 0, 1, h, QPen(c), QBrush(c));
    }
    QGraphicsScene *old = ui->preview->scene();
    ui->preview->setScene(scene);
    ui->preview->setSceneRect(0, 0, w, h);
    delete old;
    previewStale = false;
}

void Colors::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    rebuildPreview();
}

void Colors::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (isVisible())
        rebuildPreview();
}

void Colors::write(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("colors"));
    for (const Field &f : fields)
        writer.writeAttribute(QLatin1String(f.key), (ui.get()->*f.edit)->text());
    // The style in use, which the selector shows unless it was read from a
    // document with a style the selector does not offer.
    writer.writeAttribute(QStringLiteral("colorStyle"), QString::number(renderer->getColorStyle()));
    writer.writeEndElement();
}

void Colors::read(QXmlStreamReader &reader)
{
    if (!reader.isStartElement() || reader.name() != QLatin1String("colors"))
        return;
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const Field &f : fields)
        if (attributes.hasAttribute(QLatin1String(f.key)))
            (ui.get()->*f.edit)->setText(attributes.value(QLatin1String(f.key)).toString());
    applyEntries();
    const int style = attributes.hasAttribute(QLatin1String("colorStyle"))
                          ? attributes.value(QLatin1String("colorStyle")).toInt()
                          : 0;
    renderer->setStyle(style);
    {
        // Keep the selector in step without running its slot again.
        const QSignalBlocker block(ui->colorStyle);
        ui->colorStyle->setCurrentIndex(style >= 0 && style < ui->colorStyle->count() ? style : -1);
    }
    previewStale = true;
    refreshPreview(centre, quarter);
    repaintView();
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() || reader.isEndElement())
            break;
    }
}
