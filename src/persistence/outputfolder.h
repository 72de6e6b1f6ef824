#pragma once

#include <QMutex>
#include <QString>

// The directory into which run outputs are written; its text always ends in
// "/" unless empty. The mutex is the render mutex the OpenGL frame takes.
class OutputFolder
{
public:
    static OutputFolder &instance();

    QString directory() const { return dir; }
    void setDirectory(const QString &path);
    QMutex &mutex() { return lock; }
    int counter() const { return count; }
    void setCounter(int c) { count = c; }

private:
    QString dir;
    QMutex lock;
    int count = 0;
};
