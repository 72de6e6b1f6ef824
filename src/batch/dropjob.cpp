#include "dropjob.h"

#include "dropfolder.h"

#include <QFile>

#include <unistd.h>

DropJob::DropJob(DirectoryHandle folder, DirectoryHandle results, const QByteArray &resultsName,
                 const QByteArray &name, int documentDescriptor, const FileState &state)
    : folder(std::move(folder)), results(std::move(results)), resultsName(resultsName), fileName(name),
      descriptor(documentDescriptor), taken(state)
{}

DropJob::~DropJob()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

QString DropJob::name() const
{
    return QFile::decodeName(fileName);
}

QString DropJob::printableName() const
{
    return DropFolder::printable(fileName);
}

QString DropJob::document() const
{
    return results.pathOf(fileName);
}

QString DropJob::resultsFolder() const
{
    return results.path();
}

QString DropJob::finalDocument() const
{
    return results.pathOf(DropFolder::stem(fileName) + "-final.lb2");
}

bool DropJob::unchanged() const
{
    FileState now;
    return descriptor >= 0 && DirectoryHandle::stat(descriptor, &now) && now == taken &&
           DirectoryHandle::writers(descriptor) != DirectoryHandle::Writers::Some;
}

bool DropJob::writeNote(const QString &name, const QString &text, QString *error) const
{
    QByteArray content = text.toUtf8();
    if (!content.endsWith('\n'))
        content += '\n';
    return results.writeNew(QFile::encodeName(name), content, error);
}

bool DropJob::fail(const QString &reason, QString *error) const
{
    return writeNote(QStringLiteral("error.txt"), reason, error);
}

bool DropJob::release(QString *error)
{
    if (!results.move(fileName, folder, fileName, error))
        return false;
    folder.removeEmptyFolder(resultsName);
    return true;
}
