#include "animation.h"

#include "improvedlineedit.h"
#include "lbwidget.h"
#include "view.h"
#include "view2.h"

#include "persistence/outputfolder.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

Animation::Animation(LBWidget *widget, View *view, View2 *planes, QWidget *parent)
    : QDialog(parent), widget(widget), view(view), planes(planes)
{
    setWindowTitle(tr("Animation"));
    buildForm();
    QMetaObject::connectSlotsByName(this);
    connect(&timer, &QTimer::timeout, this, &Animation::run);
}

void Animation::buildForm()
{
    auto *layout = new QGridLayout(this);
    auto makeEntry = [](QWidget *parent, const char *name, const char *text) {
        auto *e = new ImprovedLineEdit(parent);
        e->setObjectName(QLatin1String(name));
        e->setText(QLatin1String(text));
        e->setNegativesAllowed(true);
        return e;
    };
    auto *rotation = new QGroupBox(tr("Rotation"), this);
    auto *r = new QGridLayout(rotation);
    const char *angles[][2] = {{"roll", "Roll:"}, {"pitch", "Pitch:"}, {"yaw", "Yaw:"}};
    for (int k = 0; k < 3; ++k) {
        r->addWidget(new QLabel(tr(angles[k][1]), rotation), k, 0);
        r->addWidget(makeEntry(rotation, angles[k][0], "0"), k, 1);
    }
    layout->addWidget(rotation, 0, 0, 1, 2);
    auto *sweep = new QGroupBox(tr("Visualization Planes"), this);
    auto *p = new QGridLayout(sweep);
    const char *planeNames[][2] = {{"xyPlane", "XY plane:"}, {"xzPlane", "XZ plane:"}, {"yzPlane", "YZ plane:"}};
    for (int k = 0; k < 3; ++k) {
        p->addWidget(new QLabel(tr(planeNames[k][1]), sweep), k, 0);
        p->addWidget(makeEntry(sweep, planeNames[k][0], "0"), k, 1);
    }
    layout->addWidget(sweep, 1, 0, 1, 2);
    layout->addWidget(new QLabel(tr("FPS:"), this), 2, 0);
    ImprovedLineEdit *fpsEntry = makeEntry(this, "fps", "20");
    fpsEntry->setNegativesAllowed(false);
    layout->addWidget(fpsEntry, 2, 1);
    writeFrames = new QCheckBox(tr("Write frames"), this);
    writeFrames->setObjectName(QStringLiteral("writeFrames"));
    writeFrames->setChecked(true);
    layout->addWidget(writeFrames, 3, 0, 1, 2);
    start = new QPushButton(tr("Start"), this);
    start->setObjectName(QStringLiteral("start"));
    stop = new QPushButton(tr("Stop"), this);
    stop->setObjectName(QStringLiteral("stop"));
    stop->setEnabled(false);
    layout->addWidget(start, 4, 0);
    layout->addWidget(stop, 4, 1);
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);
    layout->addWidget(status, 5, 0, 1, 2);
}

ImprovedLineEdit *Animation::entry(const QString &name) const
{
    return findChild<ImprovedLineEdit *>(name);
}

int Animation::wrapAngle(int angle)
{
    if (angle >= 180)
        return angle - 360;
    if (angle < -179)
        return angle + 360;
    return angle;
}

int Animation::step(const char *name) const
{
    return entry(QLatin1String(name))->text().toInt();
}

void Animation::on_start_clicked()
{
    bool ok = false;
    const int value = entry(QStringLiteral("fps"))->text().toInt(&ok);
    // A rate that is not a positive number keeps the one in use.
    if (ok && value > 0)
        fps = value;
    entry(QStringLiteral("fps"))->setText(QString::number(fps));
    start->setEnabled(false);
    stop->setEnabled(true);
    failureReported = false;
    status->clear();
    folder = widget->getOutputFolder();
    frames = 0;
    timer.setInterval(1000 / fps);
    timer.start();
}

void Animation::run()
{
    const char *angles[] = {"roll", "pitch", "yaw"};
    for (const char *name : angles) {
        ImprovedLineEdit *target = view->entry(QLatin1String(name));
        target->setText(QString::number(wrapAngle(step(name) + target->text().toInt())));
    }
    view->applyAngles();
    const char *sliders[][2] = {{"fixedX", "yzPlane"}, {"fixedY", "xzPlane"}, {"fixedZ", "xyPlane"}};
    for (const auto &pair : sliders) {
        QSlider *slider = planes->slider(QLatin1String(pair[0]));
        slider->setValue(((slider->value() + step(pair[1])) % 1001 + 1001) % 1001);
    }
    if (writeFrames->isChecked())
        writeFrame();
}

void Animation::writeFrame()
{
    if (folder.isEmpty()) {
        QString stem = QFileInfo(widget->getCurrentFile()).completeBaseName();
        folder = OutputFolder::instance().directory() + QStringLiteral("sim") +
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss")) + "-" + stem;
        QDir().mkpath(folder);
    }
    const QString path = folder + QStringLiteral("/anim_%1.png").arg(frames, 6, 10, QLatin1Char('0'));
    ++frames;
    if (widget->grabFrame().save(path, "PNG") || failureReported)
        return;
    failureReported = true;
    const QString message = tr("The animation frame %1 could not be saved.").arg(path);
    status->setText(message);
    emit frameWriteFailed(message);
}

void Animation::on_stop_clicked()
{
    timer.stop();
    start->setEnabled(true);
    stop->setEnabled(false);
}
