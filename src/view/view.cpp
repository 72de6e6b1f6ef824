#include "view.h"

#include "improvedlineedit.h"
#include "lbwidget.h"
#include "painterconfig.h"
#include "painters.h"
#include "renderer.h"
#include "ui_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>

namespace {

bool flag(const QXmlStreamAttributes &a, const char *name)
{
    return a.value(QLatin1String(name)) == QLatin1String("1");
}

} // namespace

View::View(LBWidget *widget, QWidget *parent)
    : QDockWidget(parent), widget(widget), renderer(*widget->getRenderer()), ui(std::make_unique<Ui::View>())
{
    ui->setupUi(this);
    syncForm();
    config = new PainterConfig(renderer, widget, this);
    showRange();
    showScales();
    connect(&renderer, &Renderer::rangeChanged, this, [this]() { showRange(); });
    connect(widget, &LBWidget::zoomChanged, this, &View::showZoom);
    connect(widget, &LBWidget::anglesChanged, this, &View::showAngles);
    connect(widget, &LBWidget::translationChanged, this, &View::showTranslation);
}

View::~View() = default;

void View::syncForm()
{
    // Without their slots: the renderer already is in this state.
    {
        const QSignalBlocker blocker(ui->painter);
        ui->painter->addItems(Painters::names());
        ui->painter->setCurrentIndex(std::max(0, Painters::names().indexOf(renderer.getPainterName())));
    }
    const std::pair<QCheckBox *, bool> states[] = {{ui->continuousAutoAdjust, renderer.isContinuousAutoAdjust()},
                                                   {ui->showStatic, renderer.isStaticShown()},
                                                   {ui->showDynamic, renderer.isDynamicShown()},
                                                   {ui->showParticles, renderer.areParticlesShown()},
                                                   {ui->showAxis, renderer.isAxisShown()},
                                                   {ui->showColorBar, renderer.isColorBarShown()},
                                                   {ui->show2ndDistribution, renderer.isSecondDistributionShown()},
                                                   {ui->showIsolines, renderer.areIsolinesShown()},
                                                   {ui->heightmap, renderer.isHeightmap()},
                                                   {ui->illumination, renderer.isIlluminated()},
                                                   {ui->showForces, renderer.areForcesShown()},
                                                   {ui->showStreamlines, renderer.areStreamlinesShown()}};
    for (const auto &state : states) {
        const QSignalBlocker blocker(state.first);
        state.first->setChecked(state.second);
    }
}

ImprovedLineEdit *View::entry(const QString &name) const
{
    return findChild<ImprovedLineEdit *>(name);
}

QCheckBox *View::checkBox(const QString &name) const
{
    return findChild<QCheckBox *>(name);
}

void View::setText(const QString &name, const QString &text)
{
    if (ImprovedLineEdit *e = entry(name))
        e->setText(text);
}

bool View::number(const QString &name, double &value) const
{
    bool ok = false;
    const double v = entry(name)->text().trimmed().toDouble(&ok);
    if (ok && std::isfinite(v))
        value = v;
    return ok && std::isfinite(v);
}

bool View::integer(const QString &name, int &value) const
{
    bool ok = false;
    const int v = entry(name)->text().trimmed().toInt(&ok);
    if (ok)
        value = v;
    return ok;
}

void View::repaint()
{
    widget->updateGL();
}

void View::showRange()
{
    setText(QStringLiteral("colorOffset"), QString::number(renderer.getCentre() - renderer.getHalfWidth(), 'g', 6));
    setText(QStringLiteral("colorInterval"), QString::number(renderer.getCentre() + renderer.getHalfWidth(), 'g', 6));
}

void View::showScales()
{
    setText(QStringLiteral("cellsSize"), QString::number(renderer.getScale1(), 'g', 6));
    setText(QStringLiteral("cellsSize2"), QString::number(renderer.getScale2(), 'g', 6));
    setText(QStringLiteral("arrowSteps"), QString::number(renderer.getArrowSteps()));
    setText(QStringLiteral("colorSteps"), QString::number(renderer.getColorSteps()));
    setText(QStringLiteral("colorComponent"), QString::number(renderer.getComponent()));
    setText(QStringLiteral("updatePeriod"), QString::number(widget->getUpdatePeriod()));
}

void View::showZoom(double zoom)
{
    setText(QStringLiteral("zoom"), QString::number(zoom, 'g', 3));
}

void View::showAngles(int roll, int pitch, int yaw)
{
    setText(QStringLiteral("roll"), QString::number(roll));
    setText(QStringLiteral("pitch"), QString::number(pitch));
    setText(QStringLiteral("yaw"), QString::number(yaw));
}

void View::showTranslation(double x, double y, double z)
{
    setText(QStringLiteral("tx"), QString::number(x, 'f', 2));
    setText(QStringLiteral("ty"), QString::number(y, 'f', 2));
    setText(QStringLiteral("tz"), QString::number(z, 'f', 2));
}

void View::applyAngles()
{
    int angles[3];
    const char *names[] = {"roll", "pitch", "yaw"};
    Camera &camera = renderer.getCamera();
    for (int a = 0; a < 3; ++a)
        if (!integer(QLatin1String(names[a]), angles[a])) {
            showAngles(int(camera.getRoll()), int(camera.getPitch()), int(camera.getYaw()));
            return;
        }
    camera.setAngles(angles[0], angles[1], angles[2]);
    repaint();
}

void View::on_zoom_returnPressed()
{
    Camera &camera = renderer.getCamera();
    double zoom = 0;
    if (!number(QStringLiteral("zoom"), zoom) || zoom <= 0) {
        showZoom(camera.getZoom());
        return;
    }
    widget->makeCurrent();
    camera.setZoom(zoom);
    repaint();
}

void View::on_roll_returnPressed()
{
    applyAngles();
}

void View::on_yaw_returnPressed()
{
    applyAngles();
}

void View::on_pitch_returnPressed()
{
    applyAngles();
}

void View::on_cellsSize2_returnPressed()
{
    double width = 0;
    if (number(QStringLiteral("cellsSize2"), width) && width > 0)
        renderer.setScale2(width);
    showScales();
    repaint();
}

void View::on_resetProjection_clicked()
{
    for (const char *name : {"tx", "ty", "tz", "roll", "pitch", "yaw"})
        setText(QLatin1String(name), QStringLiteral("0"));
    Camera &camera = renderer.getCamera();
    camera.reset();
    showZoom(camera.getZoom());
    repaint();
}

void View::on_arrowSteps_returnPressed()
{
    int steps = 0;
    if (integer(QStringLiteral("arrowSteps"), steps) && steps >= 1 && steps != renderer.getArrowSteps())
        renderer.setArrowSteps(steps);
    showScales();
    repaint();
}

void View::on_colorSteps_returnPressed()
{
    int steps = 0;
    if (integer(QStringLiteral("colorSteps"), steps) && steps >= 0)
        renderer.setColorSteps(steps);
    showScales();
}

void View::on_showParticles_toggled(bool)
{
    renderer.toggleParticles();
    repaint();
}

void View::on_continuousAutoAdjust_clicked()
{
    renderer.toggleContinuousAutoAdjust();
}

void View::on_autoAdjust_clicked()
{
    renderer.autoAdjust();
    repaint();
}

void View::on_updatePeriod_returnPressed()
{
    int period = 0;
    if (integer(QStringLiteral("updatePeriod"), period) && period >= 0)
        widget->setUpdatePeriod(period);
    showScales();
}

void View::applyRange()
{
    double low = 0, high = 0;
    if (number(QStringLiteral("colorOffset"), low) && number(QStringLiteral("colorInterval"), high) && low < high)
        renderer.setRange((low + high) / 2, (high - low) / 2);
    else
        showRange();
    repaint();
}

void View::on_colorInterval_returnPressed()
{
    applyRange();
}

void View::on_colorOffset_returnPressed()
{
    applyRange();
}

void View::on_painter_currentIndexChanged(const QString &name)
{
    renderer.selectPainter(name);
    repaint();
}

void View::on_showDynamic_stateChanged(int)
{
    renderer.toggleDynamic();
    repaint();
}

void View::on_showStatic_stateChanged(int)
{
    widget->makeCurrent();
    renderer.toggleStatic();
    repaint();
}

void View::on_cellsSize_returnPressed()
{
    double scale = 0;
    if (number(QStringLiteral("cellsSize"), scale)) {
        renderer.setScale1(scale);
        widget->rebuildGeometry(true);
    }
    showScales();
    repaint();
}

void View::on_allView_clicked()
{
    const bool on = checkBox(QStringLiteral("allView"))->isChecked();
    for (const char *name :
         {"showAxis", "showDynamic", "showParticles", "showStatic", "showColorBar", "show2ndDistribution"})
        checkBox(QLatin1String(name))->setChecked(on);
}

void View::on_showColorBar_toggled(bool)
{
    renderer.toggleColorBar();
    repaint();
}

void View::on_colorComponent_returnPressed()
{
    int component = 0;
    if (integer(QStringLiteral("colorComponent"), component) && component >= -1)
        renderer.setComponent(component);
    showScales();
    repaint();
}

void View::on_illumination_toggled(bool)
{
    renderer.toggleIllumination();
    repaint();
}

void View::on_showAxis_toggled(bool)
{
    renderer.toggleAxis();
    repaint();
}

void View::applyTranslation()
{
    double t[3];
    const char *names[] = {"tx", "ty", "tz"};
    Camera &camera = renderer.getCamera();
    for (int a = 0; a < 3; ++a)
        if (!number(QLatin1String(names[a]), t[a])) {
            const Vector3d old = camera.getTranslation();
            showTranslation(old.x, old.y, old.z);
            return;
        }
    camera.setTranslation(t[0], t[1], t[2]);
    repaint();
}

void View::on_tx_returnPressed()
{
    applyTranslation();
}

void View::on_ty_returnPressed()
{
    applyTranslation();
}

void View::on_tz_returnPressed()
{
    applyTranslation();
}

void View::on_show2ndDistribution_toggled(bool)
{
    renderer.toggle2ndDistribution();
    repaint();
}

void View::on_configurePainter_clicked()
{
    config->show();
    config->raise();
}

void View::on_showIsolines_toggled(bool)
{
    renderer.toggleIsolines();
    repaint();
}

void View::on_heightmap_toggled(bool)
{
    renderer.toggleHeightmap();
    repaint();
}

void View::on_showForces_toggled(bool)
{
    renderer.toggleForces();
    repaint();
}

void View::on_showStreamlines_toggled(bool)
{
    renderer.toggleStreamlines();
    repaint();
}

void View::selectPainterByName(const QString &name)
{
    static const QStringList menu = {"velocity", "pressure", "arrow", "detail"};
    if (menu.contains(name))
        ui->painter->setCurrentIndex(ui->painter->findText(name));
}

void View::clickToggleByName(const QString &name)
{
    static const QMap<QString, QString> boxes = {
        {"axis", "showAxis"}, {"static", "showStatic"}, {"dynamic", "showDynamic"}, {"particles", "showParticles"}};
    if (boxes.contains(name))
        checkBox(boxes.value(name))->click();
}

void View::write(QXmlStreamWriter &writer) const
{
    auto text = [this](const char *name) { return entry(QLatin1String(name))->text(); };
    auto state = [this](const char *name) {
        return checkBox(QLatin1String(name))->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    };
    writer.writeStartElement(QStringLiteral("view"));
    for (const char *name : {"roll", "pitch", "yaw", "zoom"})
        writer.writeAttribute(QLatin1String(name), text(name));
    writer.writeAttribute(QStringLiteral("painter"), QString::number(ui->painter->currentIndex()));
    writer.writeAttribute(QStringLiteral("scale1"), text("cellsSize"));
    writer.writeAttribute(QStringLiteral("scale2"), text("cellsSize2"));
    writer.writeAttribute(QStringLiteral("updatePeriod"), text("updatePeriod"));
    writer.writeAttribute(QStringLiteral("arrowSteps"), text("arrowSteps"));
    for (const char *name : {"showAxis", "showStatic", "showDynamic", "showParticles", "show2ndDistribution"})
        writer.writeAttribute(QLatin1String(name), state(name));
    // The range as the renderer holds it: the entries may hold unconfirmed text.
    const double low = renderer.getCentre() - renderer.getHalfWidth(),
                 high = renderer.getCentre() + renderer.getHalfWidth();
    writer.writeAttribute(QStringLiteral("colorOffset"), QString::number((low + high) / 2, 'g', 6));
    writer.writeAttribute(QStringLiteral("colorInterval"), QString::number((low - high) / 2, 'g', 6));
    writer.writeAttribute(QStringLiteral("colorSteps"), text("colorSteps"));
    writer.writeAttribute(QStringLiteral("autoAdjust"), state("continuousAutoAdjust"));
    const QColor background = renderer.getBackground();
    writer.writeAttribute(QStringLiteral("backgroundR"), QString::number(background.red()));
    writer.writeAttribute(QStringLiteral("backgroundG"), QString::number(background.green()));
    writer.writeAttribute(QStringLiteral("backgroundB"), QString::number(background.blue()));
    writer.writeAttribute(QStringLiteral("showColorBar"), state("showColorBar"));
    for (const char *name : {"tx", "ty", "tz"})
        writer.writeAttribute(QLatin1String(name), text(name));
    writer.writeEndElement();
}

void View::read(QXmlStreamReader &reader)
{
    if (!(reader.isStartElement() && reader.name() == QLatin1String("view")))
        return;
    const QXmlStreamAttributes a = reader.attributes();
    auto value = [&a](const char *name) { return a.value(QLatin1String(name)).toString(); };
    // Each entry takes the stored text and is confirmed like a typed one, so
    // a value that is not a number, or makes no sense, keeps the one in use.
    auto confirm = [this, &value](const char *key, const char *name) {
        if (ImprovedLineEdit *e = entry(QLatin1String(name))) {
            e->setText(value(key));
            emit e->returnPressed();
        }
    };
    auto check = [this, &a](const char *key, const char *name) {
        checkBox(QLatin1String(name))->setChecked(flag(a, key));
    };

    for (const char *name : {"roll", "pitch", "yaw"})
        setText(QLatin1String(name), value(name));
    applyAngles();
    confirm("zoom", "zoom");
    bool ok = false;
    const int index = value("painter").toInt(&ok);
    if (ok && index >= 0 && index < ui->painter->count())
        ui->painter->setCurrentIndex(index);
    confirm("scale1", "cellsSize");
    confirm("scale2", "cellsSize2");

    if (a.hasAttribute(QLatin1String("updatePeriod"))) {
        int rgb[3];
        bool valid = true;
        const char *channels[] = {"backgroundR", "backgroundG", "backgroundB"};
        for (int k = 0; k < 3; ++k) {
            bool isNumber = false;
            rgb[k] = value(channels[k]).toInt(&isNumber);
            valid = valid && isNumber && rgb[k] >= 0 && rgb[k] <= 255;
        }
        if (valid)
            renderer.setBackground(QColor(rgb[0], rgb[1], rgb[2]));
        // Entered but not applied until confirmed, as in the dock.
        for (const auto &key :
             {std::make_pair("updatePeriod", "updatePeriod"), std::make_pair("arrowSteps", "arrowSteps"),
              std::make_pair("colorSteps", "colorSteps")}) {
            bool isNumber = false;
            value(key.first).toInt(&isNumber);
            if (isNumber)
                setText(QLatin1String(key.second), QString::number(value(key.first).toInt()));
        }
        for (const char *name : {"showAxis", "showStatic", "showDynamic", "showParticles"})
            check(name, name);
        QCheckBox *continuous = checkBox(QStringLiteral("continuousAutoAdjust"));
        if (continuous->isChecked() != flag(a, "autoAdjust")) {
            continuous->setChecked(flag(a, "autoAdjust"));
            renderer.toggleContinuousAutoAdjust();
        }
        bool offsetOk = false, intervalOk = false;
        const double offset = value("colorOffset").toDouble(&offsetOk);
        const double interval = value("colorInterval").toDouble(&intervalOk);
        if (offsetOk && intervalOk) {
            setText(QStringLiteral("colorOffset"), QString::number(offset + interval, 'g', 6));
            setText(QStringLiteral("colorInterval"), QString::number(offset - interval, 'g', 6));
            applyRange();
        }
    }
    if (a.hasAttribute(QLatin1String("showColorBar"))) {
        check("showColorBar", "showColorBar");
        for (const char *name : {"tx", "ty", "tz"})
            setText(QLatin1String(name), value(name));
        applyTranslation();
    }
    if (a.hasAttribute(QLatin1String("show2ndDistribution")))
        check("show2ndDistribution", "show2ndDistribution");
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement())
            break;
    }
}
