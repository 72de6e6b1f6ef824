#include "animation.h"

#include "improvedlineedit.h"
#include "lbwidget.h"
#include "ui_animation.h"
#include "view.h"
#include "view2.h"


#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

Animation::Animation(LBWidget *widget, View *view, View2 *planes, QWidget *parent)
    : QDialog(parent), widget(widget), view(view), planes(planes), ui(std::make_unique<Ui::Animation>())
{
    ui->setupUi(this);
    connect(&timer, &QTimer::timeout, this, &Animation::run);
}

Animation::~Animation() = default;

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
    ui->start->setEnabled(false);
    ui->stop->setEnabled(true);
    failureReported = false;
    ui->status->clear();
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
    if (ui->writeFrames->isChecked())
        writeFrame();
}

void Animation::writeFrame()
{
    if (folder.isEmpty()) {
        QString error;
        folder =
            widget->runFolders().createRunFolder(widget->getCurrentFile(), QDateTime::currentDateTime(), &error);
        if (folder.isEmpty()) {
            reportFailure(error);
            return;
        }
    }
    const QString path = folder + QStringLiteral("/anim_%1.png").arg(frames, 6, 10, QLatin1Char('0'));
    ++frames;
    if (!widget->grabFrame().save(path, "PNG"))
        reportFailure(tr("The animation frame %1 could not be saved.").arg(path));
}

void Animation::reportFailure(const QString &message)
{
    if (failureReported)
        return;
    failureReported = true;
    ui->status->setText(message);
    emit frameWriteFailed(message);
}

void Animation::on_stop_clicked()
{
    timer.stop();
    ui->start->setEnabled(true);
    ui->stop->setEnabled(false);
}
