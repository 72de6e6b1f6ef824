#include "outputfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

void OutputFolder::setDirectory(const QString &path)
{
    dir = path;
    if (!dir.isEmpty() && !dir.endsWith('/'))
        dir += '/';
}

QString OutputFolder::createRunFolder(const QString &file, const QDateTime &start, QString *error) const
{
    const QString base = dir + QStringLiteral("sim") + start.toString(QStringLiteral("yyyyMMddhhmmss")) + "-" +
                         QFileInfo(file).baseName();
    // mkdir, unlike mkpath, fails on an existing folder: of two runs that
    // reach the same name, only one gets it and the other moves on.
    const int attempts = 1000;
    for (int n = 1; n <= attempts; ++n) {
        const QString path = n == 1 ? base : base + "-" + QString::number(n);
        if (QDir().mkdir(path))
            return path;
        if (!QFileInfo::exists(path)) {
            if (error)
                *error = QStringLiteral("Cannot create the run folder %1: the output directory must be an existing, "
                                        "writable directory")
                             .arg(QDir::toNativeSeparators(path));
            return QString();
        }
    }
    if (error)
        *error = QStringLiteral("Cannot create a run folder: %1 and its %2 numbered variants all exist")
                     .arg(QDir::toNativeSeparators(base))
                     .arg(attempts - 1);
    return QString();
}
