#pragma once

#include <QThread>

#include <atomic>

class QObject;

// A thread that would call the view's step routine over and over while its
// continue flag is set. The view creates it and never starts it: stepping
// runs on the GUI thread, between paints, so painting and stepping never
// overlap.
class Executor : public QThread
{
    Q_OBJECT

public:
    explicit Executor(QObject *view);
    ~Executor() override;

    void setContinue(bool value) { keepGoing = value; }
    bool getContinue() const { return keepGoing; }

protected:
    void run() override;

private:
    QObject *view;
    std::atomic<bool> keepGoing{true};
};
