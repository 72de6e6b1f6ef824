#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class Geometry;
}

class GeometryScriptJob;

// A window in which the user writes a script that describes a domain cell by
// cell and turns its result into the layered PNG images that Load reads.
// Evaluating the script must give "W|H|L|c0|c1|..." with the word of site
// (x, y, z) at index (x H + y) L + z; "wall", "inlet" and "outlet" are
// recognised, every other word is fluid.
//
// The script runs once, in a process of its own under a memory and a time
// limit, while the window stays responsive; Stop kills it at once. The
// output area shows what the script printed and how it ended (finished,
// an error and its line, the time or memory limit, stopped by the user, a
// crash of its process). Only a finished script asks for a file name; the
// images its process wrote are then copied to that name (".png" added when
// the name has no suffix). Generate is disabled while a script runs.
class Geometry : public QMainWindow
{
    Q_OBJECT

public:
    explicit Geometry(QWidget *parent = nullptr);
    ~Geometry() override;

    // The script the window starts with and New restores.
    static QString templateScript();

    QString script() const;
    void setScript(const QString &text);
    QString output() const;
    bool isRunning() const { return busy; }

    // Longest time a run may take, in milliseconds (60 s at start).
    void setTimeLimit(int milliseconds);
    int getTimeLimit() const;
    // Most memory a script may take, in bytes (2 GiB at start).
    void setMemoryLimit(qint64 bytes);
    qint64 getMemoryLimit() const;
    // The program that runs the script (see GeometryScriptJob).
    void setScriptProgram(const QString &path);
    // Asks for the name of the first image; a save dialog unless replaced.
    void setFileNameChooser(std::function<QString()> chooser) { chooseFileName = std::move(chooser); }

signals:
    // A run ended, however it ended.
    void finished();

public slots:
    // Starts the script; returns at once.
    void run();
    // Stops the running script, if any.
    void stop();

private slots:
    void on_actionNew_triggered();
    void on_actionGenerate_triggered();
    void on_actionSave_triggered();
    void on_actionOpen_triggered();
    void on_actionStop_triggered();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onJobFinished();
    // Copies the layer images of a finished run to fileName and its layer
    // names; false, with the reason in the output, when one cannot be
    // written.
    bool copyImages(const QString &fileName);
    void appendOutput(const QString &line);
    void setRunning(bool running);

    std::unique_ptr<Ui::Geometry> ui;
    GeometryScriptJob *job = nullptr;
    bool busy = false;
    std::function<QString()> chooseFileName;
};
