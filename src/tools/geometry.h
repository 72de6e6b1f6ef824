#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class Geometry;
}

class QScriptEngine;

// A window in which the user writes a script that describes a domain cell by
// cell and turns its result into the layered PNG images that Load reads.
// Evaluating the script must give "W|H|L|c0|c1|..." with the word of site
// (x, y, z) at index (x H + y) L + z; "wall", "inlet" and "outlet" are
// recognised, every other word is fluid.
//
// The script engine reaches nothing outside its own values. Every
// evaluation lets the window process its events, can be stopped with Stop,
// and is stopped by itself after the time limit; Generate is disabled while
// a script runs.
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
    bool isRunning() const { return engine != nullptr; }

    // Longest time one evaluation may take, in milliseconds (60 s at start).
    void setTimeLimit(int milliseconds) { timeLimit = milliseconds; }
    int getTimeLimit() const { return timeLimit; }
    // Asks for the name of the first image; a save dialog unless replaced.
    void setFileNameChooser(std::function<QString()> chooser) { chooseFileName = std::move(chooser); }

public slots:
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
    // Evaluates the editor's text in the engine; false, with the reason in
    // the output, when it was stopped or threw.
    bool evaluate(const QString &code, QString *result);
    // Writes the images of a result; false, with the reason in the output,
    // when the result is malformed or a file cannot be written.
    bool writeImages(const QString &result, const QString &fileName);
    void appendOutput(const QString &line);
    void setRunning(QScriptEngine *running);

    std::unique_ptr<Ui::Geometry> ui;
    QScriptEngine *engine = nullptr;
    bool stopRequested = false;
    bool timedOut = false;
    int timeLimit = 60000;
    std::function<QString()> chooseFileName;
};
