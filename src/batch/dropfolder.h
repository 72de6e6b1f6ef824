#pragma once

#include "directoryhandle.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class DropJob;

// A folder into which state documents ("*.lb2", any case) are dropped to be
// run. Only regular files with a visible, UTF-8 name are taken, never
// through a symbolic link; what is passed by is reported with the reason. A
// document counts as ready once it has stayed the same for the settle time
// and no process has it open for writing (where the system can tell: on
// local file systems, for the runner's own files or any file when it runs
// with the lease capability), so a copy that pauses is not read
// half-written. Readiness is judged afresh just before a document is taken.
// A runner takes a ready document by moving it into a results folder made
// for that job alone ("<name>-results/", then "<name>-results-2/", ... when
// the name is taken): the move succeeds for one runner only, and no job's
// results ever land in another's folder.
class DropFolder
{
public:
    explicit DropFolder(const QString &directory);
    ~DropFolder();

    QString directory() const { return dir; }
    // How long a document must stay unchanged before it is taken.
    void setSettleTime(int milliseconds) { settleMs = milliseconds; }

    // Entries named like documents that are never taken, with the reason.
    struct Skipped
    {
        QByteArray name;
        QString reason;
    };
    // The entries skipped since the last call, each reported once while it
    // stays as it is.
    QList<Skipped> takeSkipped();

    // One look at the folder: takes the oldest ready document and returns its
    // job, or null when none is ready (error then says why, when something
    // went wrong rather than nothing being there).
    std::unique_ptr<DropJob> claimNext(QString *error = nullptr);

    // The name without its ".lb2".
    static QByteArray stem(const QByteArray &name);
    // Text fit for one line of a log: control characters and backslashes
    // escaped ("\n", "\\", "\u0085"), the bytes of text that is not
    // UTF-8 shown as "\xff".
    static QString printable(const QByteArray &text);

private:
    struct Candidate
    {
        QByteArray name;
        FileState state;
    };
    struct Sighting
    {
        FileState state;
        qint64 since;
    };

    bool openFolder(QString *error);
    // Why a document that has settled cannot be read, if it cannot; busy is
    // set when some process has it open for writing or it changed since it
    // was listed.
    QString probe(const DirectoryHandle::Entry &entry, bool *busy) const;
    // The documents that are ready, oldest first.
    QList<Candidate> look();
    std::unique_ptr<DropJob> claim(const Candidate &candidate, QString *error);

    QString dir;
    DirectoryHandle handle;
    QElapsedTimer clock;
    int settleMs = 1000;
    QHash<QByteArray, Sighting> seen;
    QHash<QByteArray, QString> reported;
    QList<Skipped> skipped;
};
