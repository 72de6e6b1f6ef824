#pragma once

#include <QString>

class QDateTime;

// The directory in which runs make their output folders; its text always
// ends in "/" unless empty (then the folders go into the working directory).
// Each view or job holds its own, so two runs never share one by accident.
class OutputFolder
{
public:
    OutputFolder() = default;
    explicit OutputFolder(const QString &path) { setDirectory(path); }

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

private:
    QString dir;
};
