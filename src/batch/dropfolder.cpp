#include "dropfolder.h"

#include "dropjob.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Numbered variants of a name, for names already taken: 1 is the name itself.
constexpr int MaxVariants = 1000;

bool isDocumentName(const QByteArray &name)
{
    return name.size() > 4 && name.right(4).toLower() == ".lb2";
}

bool isUtf8(const QByteArray &text)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(text.constData(), text.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// Why an entry named like a document is not one; empty when it is.
QString whyNotTaken(const DirectoryHandle::Entry &entry)
{
    if (entry.name.startsWith('.'))
        return QStringLiteral("hidden (the name begins with a dot)");
    // Paths are handed around as text: a name that does not survive the
    // round trip could not be opened again.
    if (!isUtf8(entry.name) || QFile::encodeName(QFile::decodeName(entry.name)) != entry.name)
        return QStringLiteral("the name is not valid UTF-8");
    switch (entry.state.kind) {
    case FileState::Kind::Regular:
        return QString();
    case FileState::Kind::Link:
        return QStringLiteral("a symbolic link, not a regular file");
    case FileState::Kind::Folder:
        return QStringLiteral("a folder, not a regular file");
    case FileState::Kind::Pipe:
        return QStringLiteral("a named pipe, not a regular file");
    case FileState::Kind::Other:
        break;
    }
    return QStringLiteral("not a regular file");
}

} // namespace

DropFolder::DropFolder(const QString &directory) : dir(directory)
{
    clock.start();
}

DropFolder::~DropFolder() = default;

QByteArray DropFolder::stem(const QByteArray &name)
{
    return isDocumentName(name) ? name.left(name.size() - 4) : name;
}

bool DropFolder::openFolder(QString *error)
{
    return handle.isOpen() || handle.open(dir, error);
}

QList<DropFolder::Candidate> DropFolder::look()
{
    QList<Candidate> ready;
    if (!openFolder(nullptr))
        return ready;
    const qint64 now = clock.elapsed();
    QHash<QByteArray, Sighting> still;
    QHash<QByteArray, QString> passed;
    for (const DirectoryHandle::Entry &entry : handle.entries()) {
        if (!isDocumentName(entry.name))
            continue;
        Sighting sighting = seen.value(entry.name, Sighting{entry.state, now});
        if (sighting.state != entry.state)
            sighting = Sighting{entry.state, now};
        QString why = whyNotTaken(entry);
        bool busy = false;
        if (why.isEmpty() && now - sighting.since >= settleMs)
            why = probe(entry, &busy);
        if (!why.isEmpty()) {
            if (reported.value(entry.name) != why)
                skipped.append(Skipped{entry.name, why});
            passed.insert(entry.name, why);
            continue;
        }
        if (busy)
            sighting.since = now; // the quiet time starts again once the writer is done
        still.insert(entry.name, sighting);
        if (now - sighting.since >= settleMs)
            ready.append(Candidate{entry.name, entry.state});
    }
    seen = still;
    reported = passed;
    std::sort(ready.begin(), ready.end(), [](const Candidate &a, const Candidate &b) {
        return a.state.modifiedNs != b.state.modifiedNs ? a.state.modifiedNs < b.state.modifiedNs : a.name < b.name;
    });
    return ready;
}

QString DropFolder::probe(const DirectoryHandle::Entry &entry, bool *busy) const
{
    const int descriptor = handle.openRegular(entry.name, nullptr);
    if (descriptor < 0) {
        if (errno == EACCES || errno == EPERM)
            return QStringLiteral("it cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        // Gone or replaced since the listing: the next look sees what it is.
        *busy = true;
        return QString();
    }
    FileState state;
    *busy = !DirectoryHandle::stat(descriptor, &state) || state != entry.state ||
            DirectoryHandle::writers(descriptor) == DirectoryHandle::Writers::Some;
    ::close(descriptor);
    return QString();
}

QList<DropFolder::Skipped> DropFolder::takeSkipped()
{
    QList<Skipped> list;
    list.swap(skipped);
    return list;
}

QString DropFolder::printable(const QByteArray &text)
{
    QString out;
    if (!isUtf8(text)) {
        for (const char c : text) {
            const uchar u = uchar(c);
            if (u == '\\')
                out += QLatin1String("\\\\");
            else if (u >= 0x20 && u < 0x7f)
                out += QLatin1Char(c);
            else
                out += QString::asprintf("\\x%02x", u);
        }
        return out;
    }
    for (const QChar c : QString::fromUtf8(text)) {
        const ushort u = c.unicode();
        if (u == '\\')
            out += QLatin1String("\\\\");
        else if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029)
            out += QString::asprintf("\\u%04x", u);
        else
            out += c;
    }
    return out;
}

std::unique_ptr<DropJob> DropFolder::claimNext(QString *error)
{
    if (!openFolder(error))
        return nullptr;
    // A document that cannot be taken does not hold up the others; the last
    // reason is reported when none could be.
    QString problem;
    for (const Candidate &candidate : look()) {
        QString why;
        std::unique_ptr<DropJob> job = claim(candidate, &why);
        if (job)
            return job;
        if (!why.isEmpty())
            problem = why;
    }
    if (error)
        *error = problem;
    return nullptr;
}

std::unique_ptr<DropJob> DropFolder::claim(const Candidate &candidate, QString *error)
{
    const QByteArray base = stem(candidate.name) + "-results";
    QByteArray folderName;
    QString why;
    for (int n = 1; n <= MaxVariants && folderName.isEmpty(); ++n) {
        const QByteArray name = n == 1 ? base : base + '-' + QByteArray::number(n);
        if (handle.makeFolder(name, &why))
            folderName = name;
        else if (errno != EEXIST) {
            *error = why;
            return nullptr;
        }
    }
    if (folderName.isEmpty()) {
        *error = QStringLiteral("%1 and its numbered variants are all taken").arg(handle.pathOf(base));
        return nullptr;
    }
    DirectoryHandle results;
    if (!results.openChild(handle, folderName, &why)) {
        handle.removeEmptyFolder(folderName);
        *error = why;
        return nullptr;
    }
    // The move is the claim: of several runners, one moves the document, the
    // others find it gone.
    if (!handle.move(candidate.name, results, candidate.name, &why)) {
        const bool gone = errno == ENOENT;
        handle.removeEmptyFolder(folderName);
        seen.remove(candidate.name);
        if (!gone)
            *error = why;
        return nullptr;
    }
    const int descriptor = results.openRegular(candidate.name, &why);
    FileState state;
    if (descriptor < 0 || !DirectoryHandle::stat(descriptor, &state) || state != candidate.state ||
        DirectoryHandle::writers(descriptor) == DirectoryHandle::Writers::Some) {
        // Written to, replaced or opened for writing since it was judged
        // ready: it goes back to settle again.
        if (descriptor >= 0)
            ::close(descriptor);
        seen.remove(candidate.name);
        if (results.move(candidate.name, handle, candidate.name, &why)) {
            handle.removeEmptyFolder(folderName);
            return nullptr;
        }
        // A new document has its name: this one stays with the reason.
        *error = QStringLiteral("%1 changed while it was being taken and cannot go back: %2")
                     .arg(handle.pathOf(candidate.name), why);
        results.writeNew("error.txt", error->toUtf8() + '\n', nullptr);
        return nullptr;
    }
    seen.remove(candidate.name);
    return std::make_unique<DropJob>(handle.duplicate(), std::move(results), folderName, candidate.name, descriptor,
                                     state);
}

