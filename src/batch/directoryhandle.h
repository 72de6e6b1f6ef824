#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// What identifies a version of a file: the same inode with the same size and
// modification time has not been written in between.
struct FileState
{
    enum class Kind { Regular, Folder, Link, Pipe, Other };
    Kind kind = Kind::Other;
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileState &o) const
    {
        return kind == o.kind && device == o.device && inode == o.inode && size == o.size &&
               modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileState &o) const { return !(*this == o); }
};

// An open folder whose entries are reached relative to it and never through a
// symbolic link: names are looked at without following links, files are
// created only when the name is free, and moves never replace a file. A
// folder writable by others may hold planted links; nothing done through a
// handle leaves the folder because of them.
class DirectoryHandle
{
public:
    struct Entry
    {
        QByteArray name; // as stored, not necessarily valid UTF-8
        FileState state;
    };
    enum class Writers { None, Some, Unknown };

    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(DirectoryHandle &&other) noexcept;
    DirectoryHandle &operator=(DirectoryHandle &&other) noexcept;
    DirectoryHandle(const DirectoryHandle &) = delete;
    DirectoryHandle &operator=(const DirectoryHandle &) = delete;

    // The folder the user named (a link to it is taken as given).
    bool open(const QString &path, QString *error);
    // A folder inside parent; refused when the name is a link.
    bool openChild(const DirectoryHandle &parent, const QByteArray &name, QString *error);
    DirectoryHandle duplicate() const;

    bool isOpen() const { return fd >= 0; }
    QString path() const { return where; }
    QString pathOf(const QByteArray &name) const;

    // The entries but "." and "..", each as it is itself (a link as a link).
    QList<Entry> entries() const;
    bool stat(const QByteArray &name, FileState *state) const;
    // Makes a new folder; false when the name is taken (errno EEXIST) or on error.
    bool makeFolder(const QByteArray &name, QString *error) const;
    bool removeEmptyFolder(const QByteArray &name) const;
    // A descriptor for reading a regular file, or -1 (a link, a pipe or a
    // device is refused without blocking). The caller closes it.
    int openRegular(const QByteArray &name, QString *error) const;
    // Writes a new file; refused when the name exists, even as a dangling link.
    bool writeNew(const QByteArray &name, const QByteArray &content, QString *error) const;
    // Moves an entry into target under newName, never replacing what is there.
    bool move(const QByteArray &name, const DirectoryHandle &target, const QByteArray &newName, QString *error) const;

    static bool stat(int fileDescriptor, FileState *state);
    // Whether some process has the open file open for writing. The kernel
    // answers for files this process may take a lease on (its own, or any
    // with the lease capability) on local file systems; Unknown otherwise.
    static Writers writers(int fileDescriptor);

private:
    int fd = -1;
    QString where;
};
