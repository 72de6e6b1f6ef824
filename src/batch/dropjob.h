#pragma once

#include "directoryhandle.h"

#include <QByteArray>
#include <QString>

// A document taken from a drop folder by one runner: it has been moved into
// a results folder made for it alone ("<name>-results/", numbered when the
// name is taken), where no other runner looks and where its outputs and
// final state go. The job holds the document open, so it can tell whether
// the document was written to after it was taken.
class DropJob
{
public:
    DropJob(DirectoryHandle folder, DirectoryHandle results, const QByteArray &resultsName, const QByteArray &name,
            int documentDescriptor, const FileState &state);
    ~DropJob();
    DropJob(const DropJob &) = delete;
    DropJob &operator=(const DropJob &) = delete;

    // The document's name as it was dropped.
    QString name() const;
    // The name fit for one line of a log.
    QString printableName() const;
    // Where the document now lies, inside its results folder.
    QString document() const;
    QString resultsFolder() const;
    // "<stem>-final.lb2" in the results folder.
    QString finalDocument() const;

    // The document is as it was when taken and no one has it open for
    // writing: what was read from it is the document.
    bool unchanged() const;
    // A new file in the results folder (never replacing one).
    bool writeNote(const QString &fileName, const QString &text, QString *error) const;
    // The job could not run: the reason goes to "error.txt" beside the document.
    bool fail(const QString &reason, QString *error = nullptr) const;
    // Puts the document back into the drop folder under its name, to be taken
    // again later; false when that name has been taken in the meantime (the
    // document then stays where it is). The results folder is removed when
    // empty.
    bool release(QString *error);

private:
    DirectoryHandle folder;
    DirectoryHandle results;
    QByteArray resultsName;
    QByteArray fileName;
    int descriptor;
    FileState taken;
};
