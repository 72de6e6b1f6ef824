#pragma once

#include <QDateTime>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

// A folder into which state documents ("*.lb2") are dropped to be run. A
// document counts as ready once its size and time have stayed the same
// between two looks, so a file still being written is never read
// half-written. Each document gets "<name>-results/" beside it for its
// outputs and final state, and is moved in there once it has run; one that
// cannot be run is renamed "<name>.failed" with its reason in
// "<name>.error.txt", so it is not tried again.
class DropFolder
{
public:
    explicit DropFolder(const QString &directory);

    QString directory() const { return dir; }
    // One look at the folder: the documents that are ready, oldest first.
    // A document stays ready on later looks until it is moved away.
    QStringList ready();

    static QString resultsFolder(const QString &document);
    // The final state document in the results folder.
    static QString finalDocument(const QString &document);
    // Moves the document into its results folder.
    static bool finish(const QString &document, QString *error);
    static void setAside(const QString &document, const QString &reason);

private:
    QString dir;
    QMap<QString, QPair<qint64, QDateTime>> seen;
};
