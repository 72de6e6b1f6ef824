#include "dropfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

DropFolder::DropFolder(const QString &directory) : dir(directory) {}

QStringList DropFolder::ready()
{
    const QFileInfoList files =
        QDir(dir).entryInfoList({QStringLiteral("*.lb2")}, QDir::Files | QDir::Readable, QDir::Time | QDir::Reversed);
    QMap<QString, QPair<qint64, QDateTime>> now;
    QStringList documents;
    for (const QFileInfo &info : files) {
        const QString path = info.absoluteFilePath();
        const QPair<qint64, QDateTime> state(info.size(), info.lastModified());
        // Unchanged since the last look: the writer is done with it.
        if (seen.contains(path) && seen.value(path) == state)
            documents << path;
        now.insert(path, state);
    }
    seen = now;
    return documents;
}

QString DropFolder::resultsFolder(const QString &document)
{
    const QFileInfo info(document);
    return info.absolutePath() + "/" + info.completeBaseName() + "-results";
}

QString DropFolder::finalDocument(const QString &document)
{
    return resultsFolder(document) + "/" + QFileInfo(document).completeBaseName() + "-final.lb2";
}

bool DropFolder::finish(const QString &document, QString *error)
{
    const QString results = resultsFolder(document);
    if (QFile::rename(document, results + "/" + QFileInfo(document).fileName()))
        return true;
    if (error)
        *error = QStringLiteral("The document could not be moved into %1.").arg(results);
    return false;
}

void DropFolder::setAside(const QString &document, const QString &reason)
{
    QFile::rename(document, document + ".failed");
    QSaveFile note(document + ".error.txt");
    if (note.open(QIODevice::WriteOnly | QIODevice::Text)) {
        note.write(reason.toUtf8() + "\n");
        note.commit();
    }
}
