#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

namespace Ui {
class Animation;
}

class ImprovedLineEdit;
class LBWidget;
class View;
class View2;

// "Animation": a timer that turns the camera by fixed steps and sweeps the
// plane sliders, writing every frame into the run folder.
class Animation : public QDialog
{
    Q_OBJECT

public:
    Animation(LBWidget *widget, View *view, View2 *planes, QWidget *parent = nullptr);
    ~Animation() override;

    ImprovedLineEdit *entry(const QString &name) const;
    QTimer &getTimer() { return timer; }
    // The folder the frames go to; empty before the first frame.
    QString getFolder() const { return folder; }
    int getFrameCount() const { return frames; }
    // The angle after a step, kept in [-179, 180).
    static int wrapAngle(int angle);

public slots:
    void on_start_clicked();
    void run();
    void on_stop_clicked();

signals:
    // A frame could not be written; sent once per start.
    void frameWriteFailed(const QString &message);

private:
    void writeFrame();
    // Shows the first failure of a start and sends frameWriteFailed.
    void reportFailure(const QString &message);
    int step(const char *name) const;

    LBWidget *widget;
    View *view;
    View2 *planes;
    QTimer timer;
    std::unique_ptr<Ui::Animation> ui;
    int fps = 20;
    QString folder;
    int frames = 0;
    bool failureReported = false;
};
