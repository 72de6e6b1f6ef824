#include "info.h"

#include "chart.h"
#include "fluxfield.h"
#include "lbwidget.h"
#include "renderer.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/shape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

// The key under which the dock listens to the grid.
const int listenerKey = 7;

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

QLabel *valueLabel(const QString &text, const QString &name)
{
    auto *label = new QLabel(text);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLineEdit *entry(const QString &text, const QString &name)
{
    auto *edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setValidator(new QIntValidator(0, 999999999, edit));
    edit->setMaximumWidth(56);
    return edit;
}

QWidget *row(const QList<QWidget *> &widgets)
{
    auto *box = new QWidget;
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *w : widgets)
        layout->addWidget(w);
    layout->addStretch();
    return box;
}

} // namespace

Info::Info(LBWidget *view, QWidget *parent) : QDockWidget(QStringLiteral("Info"), parent), view(view)
{
    setObjectName(QStringLiteral("info"));
    auto *contents = new QWidget;
    auto *form = new QFormLayout(contents);

    iterations = valueLabel(QStringLiteral("0"), QStringLiteral("iterations"));
    gridSize = valueLabel(QStringLiteral("0 x 0 x 0"), QStringLiteral("gridSize"));
    file = valueLabel(QStringLiteral("None"), QStringLiteral("file"));
    deltaP = valueLabel(QStringLiteral("0"), QStringLiteral("deltaP"));
    mlups = valueLabel(QStringLiteral("0"), QStringLiteral("mlups"));
    time = valueLabel(QStringLiteral("00:00:00"), QStringLiteral("time"));
    remaining = valueLabel(QStringLiteral("00:00:00"), QStringLiteral("remaining"));
    averageP = valueLabel(QStringLiteral("0"), QStringLiteral("averageP"));
    form->addRow(QStringLiteral("Iterations:"), iterations);
    form->addRow(QStringLiteral("Grid Size:"), gridSize);
    form->addRow(QStringLiteral("File:"), file);
    form->addRow(QStringLiteral("Delta P:"), deltaP);
    form->addRow(QStringLiteral("Avg. P:"), averageP);
    form->addRow(QStringLiteral("MLUPS (avg.):"), mlups);
    form->addRow(QStringLiteral("Time:"), time);
    form->addRow(QStringLiteral("Remaining:"), remaining);
    // What the window's server runs beside this simulation.
    serverJob = valueLabel(QStringLiteral("None"), QStringLiteral("serverJob"));
    serverJob->setWordWrap(true);
    form->addRow(QStringLiteral("Server Job:"), serverJob);

    form->addRow(new QLabel(QStringLiteral("Perfomance Tweaks:")));
    multicoreSupport = new QCheckBox(QStringLiteral("Multicore Support"));
    multicoreSupport->setObjectName(QStringLiteral("multicoreSupport"));
    multicoreSupport->setChecked(true);
    disableCharts = new QCheckBox(QStringLiteral("Disable Charts"));
    disableCharts->setObjectName(QStringLiteral("disableCharts"));
    disableCharts->setChecked(true);
    renderUpdateEdit = entry(QStringLiteral("10"), QStringLiteral("renderUpdate"));
    execBurstEdit = entry(QStringLiteral("1"), QStringLiteral("execBurst"));
    form->addRow(multicoreSupport);
    form->addRow(disableCharts);
    form->addRow(QStringLiteral("Render Update:"), renderUpdateEdit);
    form->addRow(QStringLiteral("Exec. Burst:"), execBurstEdit);

    const char *names[2][3] = {{"infoX", "infoY", "infoZ"}, {"infoX2", "infoY2", "infoZ2"}};
    for (int p = 0; p < 2; ++p)
        for (int a = 0; a < 3; ++a)
            probe[p][a] = entry(QStringLiteral("0"), QLatin1String(names[p][a]));
    form->addRow(QStringLiteral("Probe:"), row({probe[0][0], probe[0][1], probe[0][2]}));
    form->addRow(QStringLiteral("Probe 2:"), row({probe[1][0], probe[1][1], probe[1][2]}));
    const char *readoutNames[9] = {"velocityX",  "velocityY",  "velocityZ",      "density", "vorticityX",
                                   "vorticityY", "vorticityZ", "streamFunction", "flux"};
    for (int i = 0; i < 9; ++i)
        readouts[i] = valueLabel(QString(), QLatin1String(readoutNames[i]));
    form->addRow(QStringLiteral("Velocity:"), row({readouts[0], readouts[1], readouts[2]}));
    form->addRow(QStringLiteral("Density:"), readouts[3]);
    form->addRow(QStringLiteral("Vorticity:"), row({readouts[4], readouts[5], readouts[6]}));
    form->addRow(QStringLiteral("Stream:"), readouts[7]);
    form->addRow(QStringLiteral("Flux:"), readouts[8]);
    // One line per shape: the force and torque the fluid exerts on it.
    shapeForces = valueLabel(QString(), QStringLiteral("shapeForces"));
    form->addRow(QStringLiteral("Shapes:"), shapeForces);

    auto *scroll = new QScrollArea;
    scroll->setWidget(contents);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    setWidget(scroll);

    QMetaObject::connectSlotsByName(this);
    connect(view, &LBWidget::timesChanged, this, &Info::showTimes);
    grid()->addListener(listenerKey, this);
    view->setBurst(execBurst());
    view->setRenderUpdate(renderUpdate());
    applyChartSwitch();
    multicoreSupport->setChecked(grid()->getParameters()->getMulticore());
    notify(0);
}

Info::~Info()
{
    if (view)
        grid()->removeListener(listenerKey);
}

Grid *Info::grid() const
{
    return view->getGrid();
}

void Info::notify(int code)
{
    Grid *g = grid();
    const SimulationStats &stats = g->getStatistics();
    gridSize->setText(QStringLiteral("%1 x %2 x %3").arg(g->getWidth()).arg(g->getHeight()).arg(g->getLength()));
    iterations->setText(QString::number(stats.iterations));
    // The figures of a step: before the first step of a run (after a reset
    // or a load) the statistics still hold the previous run's.
    const bool stepped = stats.iterations > 0;
    deltaP->setText(number(stepped ? stats.deltaP : 0.0));
    averageP->setText(number(stepped && stats.fluidCells > 0 ? stats.totalP / stats.fluidCells : 0.0));
    if (!stepped)
        mlups->setText(QStringLiteral("0"));
    QStringList forces;
    const ShapeSet &shapes = *g->shapes();
    for (int k = 0; k < shapes.count(); ++k) {
        const Vector3d f = shapes.force(k), t = shapes.torque(k);
        forces << QStringLiteral("%1 %2: F %3 %4 %5, T %6 %7 %8")
                      .arg(k + 1)
                      .arg(shapes.shape(k)->kind(), number(f.x), number(f.y), number(f.z), number(t.x), number(t.y),
                           number(t.z));
    }
    shapeForces->setText(forces.join(QLatin1Char('\n')));
    // Code 3 comes before a resize, while the grid still has its old size.
    if (code != 3)
        dropProbesOutside();
    // The readouts follow the run, a few times a second: the vorticity and
    // the stream function behind them are computed over the whole grid.
    // Code 3 comes before a resize, while the cells are about to go.
    const bool probeSet = probe[0][0]->text().toInt() && probe[0][1]->text().toInt() && probe[0][2]->text().toInt();
    if (probeSet && code != 3 && isVisible() && (!readoutClock.isValid() || readoutClock.elapsed() >= 250))
        refreshReadouts();
}

QString Info::timeText(int seconds)
{
    const int s = std::max(0, seconds);
    auto two = [](int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); };
    return two(s / 3600) + ':' + two(s % 3600 / 60) + ':' + two(s % 60);
}

void Info::showTimes(int elapsedSeconds, int remainingSeconds, double throughput)
{
    time->setText(timeText(elapsedSeconds));
    remaining->setText(timeText(remainingSeconds));
    mlups->setText(number(throughput));
}

void Info::showServerJob(const QString &job, int iteration, int target, double throughput)
{
    const QString count = target > 0 ? QStringLiteral("%1 / %2").arg(iteration).arg(target) : QString::number(iteration);
    serverJobText = QStringLiteral("%1: iteration %2, %3 MLUPS").arg(job, count, QString::number(throughput, 'g', 3));
    serverJob->setText(serverJobText);
}

void Info::endServerJob(const QString &job)
{
    serverJob->setText(serverJobText.startsWith(job + ':') ? serverJobText + QStringLiteral(" (ended)")
                                                             : QStringLiteral("%1: ended").arg(job));
}

void Info::setFile(const QString &text)
{
    file->setText(text);
}

void Info::registerChart(Chart *chart)
{
    charts << chart;
    chart->enable(disableCharts->isChecked());
}

int Info::renderUpdate() const
{
    return renderUpdateEdit->text().toInt();
}

int Info::execBurst() const
{
    return std::max(1, execBurstEdit->text().toInt());
}

void Info::applyChartSwitch()
{
    grid()->getParameters()->setChartsDisabled(disableCharts->isChecked());
    for (const QPointer<Chart> &chart : charts)
        if (chart)
            chart->enable(disableCharts->isChecked());
}

void Info::on_disableCharts_clicked()
{
    applyChartSwitch();
}

void Info::on_multicoreSupport_clicked()
{
    grid()->getParameters()->setMulticore(multicoreSupport->isChecked());
}

void Info::on_renderUpdate_editingFinished()
{
    view->setRenderUpdate(renderUpdate());
}

void Info::on_execBurst_editingFinished()
{
    view->setBurst(execBurst());
}

void Info::dropProbesOutside()
{
    const Grid *g = grid();
    const int limits[3] = {g->getWidth(), g->getHeight(), g->getLength()};
    for (int p = 0; p < 2; ++p) {
        bool outside = false;
        for (int a = 0; a < 3; ++a)
            outside = outside || probe[p][a]->text().toInt() > limits[a];
        if (!outside)
            continue;
        for (QLineEdit *e : probe[p])
            e->setText(QStringLiteral("0"));
        view->getRenderer()->setProbePoint(0, 0, 0, p);
        if (p == 0)
            for (QLabel *label : readouts)
                label->clear();
    }
}

void Info::probeConfirmed(int p, QLineEdit *confirmed)
{
    // A zero coordinate switches the probe off altogether.
    if (confirmed->text().toInt() == 0)
        for (QLineEdit *e : probe[p])
            if (e != confirmed)
                e->setText(QStringLiteral("0"));
    view->getRenderer()->setProbePoint(probe[p][0]->text().toInt(), probe[p][1]->text().toInt(),
                                       probe[p][2]->text().toInt(), p);
    if (p == 0)
        refreshReadouts();
    view->update();
}

void Info::refreshReadouts()
{
    readoutClock.start();
    for (QLabel *label : readouts)
        label->clear();
    // The entries are one-based; the grid counts from 0.
    const int x = probe[0][0]->text().toInt() - 1, y = probe[0][1]->text().toInt() - 1,
              z = probe[0][2]->text().toInt() - 1;
    Grid *g = grid();
    BaseCell *cell = g->getCell(x, y, z);
    if (!cell)
        return;
    const Vector3d u = cell->getVelocity(0);
    readouts[0]->setText(number(u.x));
    readouts[1]->setText(number(u.y));
    readouts[2]->setText(number(u.z));
    readouts[3]->setText(number(cell->getP(0)));
    const Vector3d w = g->vorticity()[std::size_t(g->siteIndex(x, y, 0))];
    readouts[4]->setText(number(w.x));
    readouts[5]->setText(number(w.y));
    readouts[6]->setText(number(w.z));
    readouts[7]->setText(number(g->streamFunction(0, 0)[std::size_t(x) + std::size_t(y) * g->getWidth()]));
    readouts[8]->setText(number(FluxField::at(*g, x, y).length()));
}

void Info::on_infoX_returnPressed()
{
    probeConfirmed(0, probe[0][0]);
}

void Info::on_infoY_returnPressed()
{
    probeConfirmed(0, probe[0][1]);
}

void Info::on_infoZ_returnPressed()
{
    probeConfirmed(0, probe[0][2]);
}

void Info::on_infoX2_returnPressed()
{
    probeConfirmed(1, probe[1][0]);
}

void Info::on_infoY2_returnPressed()
{
    probeConfirmed(1, probe[1][1]);
}

void Info::on_infoZ2_returnPressed()
{
    probeConfirmed(1, probe[1][2]);
}

void Info::write(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("info"));
    writer.writeAttribute(QStringLiteral("multicore"), multicoreSupport->isChecked() ? "1" : "0");
    writer.writeAttribute(QStringLiteral("charts"), disableCharts->isChecked() ? "1" : "0");
    writer.writeAttribute(QStringLiteral("renderUpdate"), renderUpdateEdit->text());
    writer.writeEndElement();
}

void Info::read(QXmlStreamReader &reader)
{
    if (!reader.isStartElement() || reader.name() != QLatin1String("info"))
        return;
    const QXmlStreamAttributes a = reader.attributes();
    if (a.hasAttribute(QStringLiteral("multicore"))) {
        multicoreSupport->setChecked(a.value(QStringLiteral("multicore")) == QLatin1String("1"));
        on_multicoreSupport_clicked();
    }
    if (a.hasAttribute(QStringLiteral("charts"))) {
        disableCharts->setChecked(a.value(QStringLiteral("charts")) == QLatin1String("1"));
        applyChartSwitch();
    }
    if (a.hasAttribute(QStringLiteral("renderUpdate"))) {
        // An unreadable interval keeps the one in use.
        bool ok = false;
        const int v = a.value(QStringLiteral("renderUpdate")).toInt(&ok);
        if (ok && v >= 0) {
            renderUpdateEdit->setText(QString::number(v));
            view->setRenderUpdate(v);
        }
    }
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            break;
    }
}
