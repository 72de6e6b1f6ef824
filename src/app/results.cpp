#include "results.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"
#include "view/lbwidget.h"

#include <QCheckBox>
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
#include <limits>

namespace {

QLineEdit *field(QWidget *parent, const char *name, const QString &text)
{
    QLineEdit *e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

QCheckBox *box(QWidget *parent, const char *name, const QString &text)
{
    QCheckBox *c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

Results::Results(LBWidget *view, QWidget *parent) : QDialog(parent), view(view)
{
    setWindowTitle(tr("Results"));
    images = box(this, "images", tr("Images"));
    vp = box(this, "vp", tr("V, P etc."));
    simulation = box(this, "simulation", tr("Simulation"));
    vtkBinary = box(this, "vtkBinary", tr("Binary VTK"));
    vtkBinary->setToolTip(tr("Export to VTK writes compressed binary files: smaller, with exact values. "
                             "Otherwise ASCII text."));
    interval = field(this, "interval", QString::number(view->getInterval()));
    maxSteps = field(this, "maxSteps", QStringLiteral("0"));
    stopCriterion = field(this, "stopCriterion", QStringLiteral("0"));
    fixedX = field(this, "fixedX", QStringLiteral("1"));
    fixedY = field(this, "fixedY", QStringLiteral("1"));
    fixedZ = field(this, "fixedZ", QStringLiteral("1"));
    points = new QTableWidget(0, 3, this);
    points->setObjectName(QStringLiteral("points"));
    points->setHorizontalHeaderLabels({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")});
    points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    QPushButton *add = new QPushButton(tr("Add"), this);
    add->setObjectName(QStringLiteral("addPoint"));
    QPushButton *remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName(QStringLiteral("removePoint"));
    QPushButton *update = new QPushButton(tr("Update"), this);
    update->setObjectName(QStringLiteral("updatePoints"));
    // Return in a field applies the field; it presses no button.
    for (QPushButton *button : {add, remove, update})
        button->setAutoDefault(false);
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->setStyleSheet(QStringLiteral("color: #b00000"));

    QFormLayout *form = new QFormLayout;
    QHBoxLayout *switches = new QHBoxLayout;
    switches->addWidget(images);
    switches->addWidget(vp);
    switches->addWidget(simulation);
    form->addRow(switches);
    form->addRow(vtkBinary);
    form->addRow(tr("Interval:"), interval);
    form->addRow(tr("Max It.:"), maxSteps);
    form->addRow(tr("Stop When DeltaP <:"), stopCriterion);
    QHBoxLayout *probe = new QHBoxLayout;
    probe->addWidget(new QLabel(QStringLiteral("x"), this));
    probe->addWidget(fixedX);
    probe->addWidget(new QLabel(QStringLiteral("y"), this));
    probe->addWidget(fixedY);
    probe->addWidget(new QLabel(QStringLiteral("z"), this));
    probe->addWidget(fixedZ);
    form->addRow(tr("Probe point (from 1):"), probe);
    QHBoxLayout *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(update);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(points);
    layout->addLayout(buttons);
    layout->addWidget(messageLabel);
    QMetaObject::connectSlotsByName(this);
    refresh();
}

void Results::refuse(QLineEdit *field, const QString &previous, const QString &why)
{
    message = why;
    messageLabel->setText(why);
    field->setText(previous);
}

void Results::accept()
{
    message.clear();
    messageLabel->clear();
}

void Results::refresh()
{
    const SimulationParameters &p = *view->getGrid()->getParameters();
    maxSteps->setText(QString::number(p.getMaxIterations()));
    stopCriterion->setText(QString::number(p.getStopWhen(), 'g', 6));
    images->setChecked(view->imagesEnabled());
    vp->setChecked(view->cellTableEnabled());
    simulation->setChecked(view->timeSeriesEnabled());
    interval->setText(QString::number(view->getInterval()));
    points->setRowCount(0);
    for (const Vector3i &v : p.getProbePoints()) {
        const int row = points->rowCount();
        points->insertRow(row);
        points->setItem(row, 0, new QTableWidgetItem(QString::number(v.x + 1)));
        points->setItem(row, 1, new QTableWidgetItem(QString::number(v.y + 1)));
        points->setItem(row, 2, new QTableWidgetItem(QString::number(v.z + 1)));
    }
}

bool Results::vtkBinaryEnabled() const
{
    return vtkBinary->isChecked();
}

void Results::applyOutputs()
{
    view->setOutputs(images->isChecked(), vp->isChecked(), simulation->isChecked(), view->getInterval());
}

void Results::on_images_clicked()
{
    applyOutputs();
}

void Results::on_vp_clicked()
{
    applyOutputs();
}

void Results::on_simulation_clicked()
{
    applyOutputs();
}

// A field whose value is the one in force changes nothing, so leaving it
// keeps the message of an earlier refusal.
void Results::on_interval_editingFinished()
{
    bool ok = false;
    const int n = interval->text().trimmed().toInt(&ok);
    if (ok && n == view->getInterval())
        return;
    if (!ok || n < 1) {
        refuse(interval, QString::number(view->getInterval()),
               tr("The interval must be a whole number of iterations, at least 1."));
        return;
    }
    accept();
    view->setOutputs(images->isChecked(), vp->isChecked(), simulation->isChecked(), n);
}

void Results::on_maxSteps_editingFinished()
{
    SimulationParameters &p = *view->getGrid()->getParameters();
    bool ok = false;
    const int n = maxSteps->text().trimmed().toInt(&ok);
    if (ok && n == p.getMaxIterations())
        return;
    if (!ok || n < 0) {
        refuse(maxSteps, QString::number(p.getMaxIterations()), tr("Max It. must be a whole number, 0 for no limit."));
        return;
    }
    accept();
    p.setMaxIterations(n);
}

void Results::on_stopCriterion_editingFinished()
{
    SimulationParameters &p = *view->getGrid()->getParameters();
    bool ok = false;
    const double v = stopCriterion->text().trimmed().toDouble(&ok);
    if (ok && v == p.getStopWhen())
        return;
    if (!ok || !std::isfinite(v) || v < 0.0) {
        refuse(stopCriterion, QString::number(p.getStopWhen(), 'g', 6),
               tr("Stop When DeltaP < must be a number, 0 to switch the test off."));
        return;
    }
    accept();
    p.setStopWhen(v);
}

void Results::on_addPoint_clicked()
{
    const Grid &grid = *view->getGrid();
    const int limits[3] = {grid.getWidth(), grid.getHeight(), grid.getLength()};
    QLineEdit *fields[3] = {fixedX, fixedY, fixedZ};
    int values[3];
    for (int a = 0; a < 3; ++a) {
        bool ok = false;
        values[a] = fields[a]->text().trimmed().toInt(&ok);
        if (!ok || values[a] < 1 || values[a] > limits[a]) {
            message = tr("The probe point must lie in the grid: x from 1 to %1, y from 1 to %2, z from 1 to %3.")
                          .arg(limits[0])
                          .arg(limits[1])
                          .arg(limits[2]);
            messageLabel->setText(message);
            return;
        }
    }
    accept();
    const int row = points->rowCount();
    points->insertRow(row);
    for (int a = 0; a < 3; ++a)
        points->setItem(row, a, new QTableWidgetItem(QString::number(values[a])));
}

void Results::on_removePoint_clicked()
{
    const int row = points->currentRow();
    if (row >= 0)
        points->removeRow(row);
}

void Results::on_updatePoints_clicked()
{
    SimulationParameters &p = *view->getGrid()->getParameters();
    p.clearProbePoints();
    for (int row = 0; row < points->rowCount(); ++row) {
        int v[3] = {0, 0, 0};
        for (int a = 0; a < 3; ++a)
            if (QTableWidgetItem *item = points->item(row, a))
                v[a] = item->text().toInt() - 1;
        p.addProbePoint(Vector3i(v[0], v[1], v[2]));
    }
}

void Results::write(QXmlStreamWriter &writer) const
{
    // The values in force, which a field may not show when it was edited
    // without Return or changed elsewhere.
    const SimulationParameters &p = *view->getGrid()->getParameters();
    writer.writeStartElement("results");
    writer.writeAttribute("maxIterations", QString::number(p.getMaxIterations()));
    writer.writeAttribute("stopWhen", XmlFormat::real(p.getStopWhen()));
    writer.writeAttribute("interval", QString::number(view->getInterval()));
    writer.writeAttribute("images", flag(view->imagesEnabled()));
    writer.writeAttribute("vp", flag(view->cellTableEnabled()));
    writer.writeAttribute("simulation", flag(view->timeSeriesEnabled()));
    writer.writeAttribute("fixedX", fixedX->text());
    writer.writeAttribute("fixedY", fixedY->text());
    writer.writeAttribute("fixedZ", fixedZ->text());
    writer.writeAttribute("vtkBinary", flag(vtkBinary->isChecked()));
    writer.writeEndElement();
}

bool Results::readLimits(QXmlStreamReader &reader, int &maxIterations, double &stopWhen, QString *error)
{
    AttributeReader a(reader);
    const int limit = a.integer("maxIterations", maxIterations, 0);
    const double threshold = a.real("stopWhen", stopWhen, 0.0);
    if (!a.ok()) {
        if (error)
            *error = a.error();
        return false;
    }
    maxIterations = limit;
    stopWhen = threshold;
    return true;
}

void Results::read(QXmlStreamReader &reader)
{
    if (!reader.isStartElement() || reader.name() != QLatin1String("results"))
        return;
    AttributeReader a(reader);
    SimulationParameters &p = *view->getGrid()->getParameters();
    int limit = p.getMaxIterations();
    double threshold = p.getStopWhen();
    const int every = a.integer("interval", view->getInterval(), 1);
    QString why;
    if (readLimits(reader, limit, threshold, &why) && a.ok()) {
        p.setMaxIterations(limit);
        p.setStopWhen(threshold);
        maxSteps->setText(QString::number(limit));
        stopCriterion->setText(QString::number(threshold, 'g', 6));
        interval->setText(QString::number(every));
    } else {
        message = why.isEmpty() ? a.error() : why;
        messageLabel->setText(message);
    }
    images->setChecked(a.flag("images"));
    vp->setChecked(a.flag("vp"));
    simulation->setChecked(a.flag("simulation"));
    vtkBinary->setChecked(a.flag("vtkBinary"));
    view->setOutputs(images->isChecked(), vp->isChecked(), simulation->isChecked(),
                     a.ok() ? every : view->getInterval());
    fixedX->setText(a.text("fixedX", QStringLiteral("0")));
    fixedY->setText(a.text("fixedY", QStringLiteral("0")));
    fixedZ->setText(a.text("fixedZ", QStringLiteral("0")));
    reader.skipCurrentElement();
}
