#pragma once

#include <QMutex>
#include <QString>

class QDateTime;

// The directory into which run outputs are written; its text always ends in
// "/" unless empty. The mutex is the render mutex the OpenGL frame takes.
class OutputFolder
{
public:
    static OutputFolder &instance();

    QString directory() const { return dir; }
    void setDirectory(const QString &path);
    // Makes the folder of one run in the directory and returns its path,
    // without a trailing "/": "sim", the start time as yyyyMMddhhmmss, "-" and
    // the base name of the file ("channel" for ".../channel.obstacle.png",
    // nothing for no file). A name already taken by a folder or a file gets
    // the first free suffix "-2", "-3", ..., so no run writes over another's
    // outputs. When no folder can be made, returns an empty string and puts
    // the reason in error.
    QString createRunFolder(const QString &file, const QDateTime &start, QString *error = nullptr) const;
    QMutex &mutex() { return lock; }
    int counter() const { return count; }
    void setCounter(int c) { count = c; }

private:
    QString dir;
    QMutex lock;
    int count = 0;
};
