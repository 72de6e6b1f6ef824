#pragma once

#include "model/latticeboltzmann/listener.h"

#include <QDockWidget>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>

class Chart;
class Grid;
class LBWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QXmlStreamReader;
class QXmlStreamWriter;

// The dock that reports the run: grid size, iterations, deltaP, average
// density, elapsed and remaining time, throughput and the loaded file, and
// the readouts at a probe point. It also holds the run's performance switches
// and the two probe points the view marks. The grid notifies it after every
// stepping call, reset and resize.
class Info : public QDockWidget, public Listener
{
    Q_OBJECT

public:
    Info(LBWidget *view, QWidget *parent = nullptr);
    ~Info() override;

    void notify(int code) override;
    void setFile(const QString &text);
    void registerChart(Chart *chart);
    int renderUpdate() const;
    int execBurst() const;

    // The element "info": the multicore and chart switches and the render interval.
    void write(QXmlStreamWriter &writer) const;
    // Reads the element when the reader stands on it, then moves on to the
    // next start element.
    void read(QXmlStreamReader &reader);

    // h:mm:ss with every field at least two digits wide.
    static QString timeText(int seconds);

    QSize sizeHint() const override { return QSize(200, 100); }

public slots:
    void showTimes(int elapsedSeconds, int remainingSeconds, double mlups);
    // The progress of the job the window's server runs beside the user's
    // simulation; a target of 0 means the run ends on convergence.
    void showServerJob(const QString &job, int iteration, int target, double mlups);
    // The job has ended; its last figures stay in view.
    void endServerJob(const QString &job);

private slots:
    void on_disableCharts_clicked();
    void on_multicoreSupport_clicked();
    void on_infoX_returnPressed();
    void on_infoY_returnPressed();
    void on_infoZ_returnPressed();
    void on_infoX2_returnPressed();
    void on_infoY2_returnPressed();
    void on_infoZ2_returnPressed();
    void on_renderUpdate_editingFinished();
    void on_execBurst_editingFinished();

private:
    void probeConfirmed(int probe, QLineEdit *confirmed);
    // A probe that lies outside the grid (a new one, smaller than the one it
    // was typed for) is switched off: its fields and marker go to 0.
    void dropProbesOutside();
    void refreshReadouts();
    void applyChartSwitch();
    Grid *grid() const;

    QPointer<LBWidget> view;
    QList<QPointer<Chart>> charts;
    // Paces the live probe readouts while a run goes on.
    QElapsedTimer readoutClock;

    QLabel *iterations;
    QLabel *gridSize;
    QLabel *file;
    QLabel *deltaP;
    QLabel *mlups;
    QLabel *time;
    QLabel *remaining;
    QLabel *averageP;
    QLabel *shapeForces;
    QLabel *serverJob;
    // The figures last shown for the server's job.
    QString serverJobText;
    QCheckBox *multicoreSupport;
    QCheckBox *disableCharts;
    QLineEdit *renderUpdateEdit;
    QLineEdit *execBurstEdit;
    QLineEdit *probe[2][3];
    // Velocity x, y, z, density, vorticity x, y, z, stream function, flux.
    QLabel *readouts[9];
};
