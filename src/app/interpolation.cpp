#include "interpolation.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/interpolationcell.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/tracers/passivescalarcell.h"
#include "model/xml/attributereader.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

namespace {

const char *const names[6] = {"x", "y", "z", "density", "variation", "period"};

} // namespace

Interpolation::Interpolation(Grid *grid, QWidget *parent) : QDialog(parent), grid(grid)
{
    setWindowTitle(tr("Interpolation"));
    const QString labels[6] = {QStringLiteral("x:"),       QStringLiteral("y:"),         QStringLiteral("z:"),
                               QStringLiteral("density:"), QStringLiteral("variation:"), QStringLiteral("period:")};
    const QString defaults[6] = {"1", "1", "1", "1", "0.01", "40"};
    QFormLayout *form = new QFormLayout;
    for (int k = 0; k < 6; ++k) {
        fields[k] = new QLineEdit(defaults[k], this);
        fields[k]->setObjectName(QLatin1String(names[k]));
        form->addRow(labels[k], fields[k]);
    }
    points = new QTableWidget(0, 6, this);
    points->setObjectName(QStringLiteral("points"));
    QStringList headers;
    for (const char *n : names)
        headers << QLatin1String(n);
    points->setHorizontalHeaderLabels(headers);
    points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    QPushButton *add = new QPushButton(tr("Add Line"), this);
    add->setObjectName(QStringLiteral("addLine"));
    QPushButton *remove = new QPushButton(tr("Remove Line"), this);
    remove->setObjectName(QStringLiteral("removeLine"));
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    QHBoxLayout *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(points);
    layout->addWidget(messageLabel);
    QMetaObject::connectSlotsByName(this);
}

bool Interpolation::site(const QString &x, const QString &y, const QString &z, int out[3]) const
{
    const QString texts[3] = {x, y, z};
    const int limits[3] = {grid->getWidth(), grid->getHeight(), grid->getLength()};
    for (int a = 0; a < 3; ++a) {
        bool ok = false;
        out[a] = texts[a].trimmed().toInt(&ok) - 1;
        if (!ok || out[a] < 0 || out[a] >= limits[a])
            return false;
    }
    return true;
}

void Interpolation::on_addLine_clicked()
{
    int at[3];
    bool densityOk = false, variationOk = false, periodOk = false;
    const double density = fields[3]->text().trimmed().toDouble(&densityOk);
    const double variation = fields[4]->text().trimmed().toDouble(&variationOk);
    const int period = fields[5]->text().trimmed().toInt(&periodOk);
    if (!site(fields[0]->text(), fields[1]->text(), fields[2]->text(), at)) {
        message = tr("The point must lie in the grid: x from 1 to %1, y from 1 to %2, z from 1 to %3.")
                      .arg(grid->getWidth())
                      .arg(grid->getHeight())
                      .arg(grid->getLength());
    } else if (!densityOk || !variationOk || !periodOk || !(density > 0.0) || period < 0 || !std::isfinite(variation)) {
        message = tr("The density must be a positive number, the variation a number and the period a whole "
                     "number of iterations (0 for a steady density).");
    } else {
        message.clear();
    }
    messageLabel->setText(message);
    if (!message.isEmpty())
        return;
    points->insertRow(0);
    for (int k = 0; k < 6; ++k)
        points->setItem(0, k, new QTableWidgetItem(fields[k]->text()));
    grid->setCell(at[0], at[1], at[2], new InterpolationCell(density, variation, period), true, true);
}

void Interpolation::on_removeLine_clicked()
{
    const QList<QTableWidgetItem *> selected = points->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = selected.first()->row();
    auto text = [&](int column) { return points->item(row, column) ? points->item(row, column)->text() : QString(); };
    int at[3];
    // The cell is replaced only while the site still holds an interpolation
    // point: the user may have changed the grid since.
    if (site(text(0), text(1), text(2), at) &&
        dynamic_cast<InterpolationCell *>(PassiveScalarCell::innerOf(grid->getCell(at[0], at[1], at[2])))) {
        grid->buildNeighbours();
        BaseCell **block = grid->neighbourBlock(at[0], at[1], at[2]);
        const int q = grid->getParameters()->getModel();
        double sum = 0.0;
        int fluid = 0;
        for (int i = 0; i < q; ++i)
            if (block && block[i] && block[i]->isFluid()) {
                sum += block[i]->getP(0);
                ++fluid;
            }
        // The mean density of the fluid around it, not a sum in which walls
        // count as empty fluid.
        const double density = fluid > 0 ? sum / fluid : 1.0;
        grid->setCell(at[0], at[1], at[2], new SCCell(density, q), true, true);
    }
    points->removeRow(row);
}

void Interpolation::write(QXmlStreamWriter &writer) const
{
    writer.writeStartElement("interpolation");
    writer.writeAttribute("pointsSize", QString::number(points->rowCount()));
    for (int row = 0; row < points->rowCount(); ++row) {
        writer.writeStartElement("point");
        for (int k = 0; k < 6; ++k)
            writer.writeAttribute(QLatin1String(names[k]),
                                  points->item(row, k) ? points->item(row, k)->text() : QString());
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void Interpolation::read(QXmlStreamReader &reader)
{
    if (!reader.isStartElement() || reader.name() != QLatin1String("interpolation"))
        return;
    points->setRowCount(0);
    AttributeReader a(reader);
    const int announced = a.integer("pointsSize", 0, 0);
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("point") && points->rowCount() < announced) {
            const int row = points->rowCount();
            points->insertRow(row);
            for (int k = 0; k < 6; ++k)
                points->setItem(row, k,
                                new QTableWidgetItem(reader.attributes().value(QLatin1String(names[k])).toString()));
        }
        reader.skipCurrentElement();
    }
}
