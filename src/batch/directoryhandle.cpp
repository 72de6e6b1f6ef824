#include "directoryhandle.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

// A failed call's message, "<what>: <reason>"; errno is set back to code for
// the caller to test (EEXIST, ENOENT).
bool failCall(QString *error, int code, const QString &what)
{
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
    errno = code;
    return false;
}

FileState stateOf(const struct stat &st)
{
    FileState s;
    if (S_ISREG(st.st_mode))
        s.kind = FileState::Kind::Regular;
    else if (S_ISDIR(st.st_mode))
        s.kind = FileState::Kind::Folder;
    else if (S_ISLNK(st.st_mode))
        s.kind = FileState::Kind::Link;
    else if (S_ISFIFO(st.st_mode))
        s.kind = FileState::Kind::Pipe;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

} // namespace

DirectoryHandle::~DirectoryHandle()
{
    if (fd >= 0)
        ::close(fd);
}

DirectoryHandle::DirectoryHandle(DirectoryHandle &&other) noexcept : fd(other.fd), where(std::move(other.where))
{
    other.fd = -1;
}

DirectoryHandle &DirectoryHandle::operator=(DirectoryHandle &&other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);
        fd = other.fd;
        where = std::move(other.where);
        other.fd = -1;
    }
    return *this;
}

bool DirectoryHandle::open(const QString &path, QString *error)
{
    *this = DirectoryHandle();
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return failCall(error, code, QStringLiteral("cannot open the folder %1").arg(path));
    }
    where = path;
    while (where.size() > 1 && where.endsWith(QLatin1Char('/')))
        where.chop(1);
    return true;
}

bool DirectoryHandle::openChild(const DirectoryHandle &parent, const QByteArray &name, QString *error)
{
    *this = DirectoryHandle();
    fd = ::openat(parent.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        return failCall(error, code, QStringLiteral("cannot open the folder %1").arg(parent.pathOf(name)));
    }
    where = parent.pathOf(name);
    return true;
}

DirectoryHandle DirectoryHandle::duplicate() const
{
    DirectoryHandle copy;
    if (fd >= 0) {
        copy.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        copy.where = where;
    }
    return copy;
}

QString DirectoryHandle::pathOf(const QByteArray &name) const
{
    return where + QLatin1Char('/') + QFile::decodeName(name);
}

QList<DirectoryHandle::Entry> DirectoryHandle::entries() const
{
    QList<Entry> list;
    // A descriptor of its own for the listing, so the handle's offset is untouched.
    const int listing = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return list;
    DIR *dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return list;
    }
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry;
        entry.name = name;
        if (stat(name, &entry.state))
            list.append(entry);
    }
    ::closedir(dir);
    return list;
}

bool DirectoryHandle::stat(const QByteArray &name, FileState *state) const
{
    struct stat st;
    if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    *state = stateOf(st);
    return true;
}

bool DirectoryHandle::stat(int fileDescriptor, FileState *state)
{
    struct stat st;
    if (::fstat(fileDescriptor, &st) != 0)
        return false;
    *state = stateOf(st);
    return true;
}

bool DirectoryHandle::makeFolder(const QByteArray &name, QString *error) const
{
    // Never writable by others, whatever the umask allows.
    if (::mkdirat(fd, name.constData(), 0755) == 0)
        return true;
    const int code = errno;
    return failCall(error, code, QStringLiteral("cannot make the folder %1").arg(pathOf(name)));
}

bool DirectoryHandle::removeEmptyFolder(const QByteArray &name) const
{
    return ::unlinkat(fd, name.constData(), AT_REMOVEDIR) == 0;
}

int DirectoryHandle::openRegular(const QByteArray &name, QString *error) const
{
    // Non-blocking, so a pipe that slipped in cannot hold the open.
    const int file = ::openat(fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        const int code = errno;
        failCall(error, code, QStringLiteral("cannot open %1").arg(pathOf(name)));
        return -1;
    }
    FileState state;
    if (!stat(file, &state) || state.kind != FileState::Kind::Regular) {
        ::close(file);
        fail(error, QStringLiteral("%1 is not a regular file").arg(pathOf(name)));
        return -1;
    }
    return file;
}

bool DirectoryHandle::writeNew(const QByteArray &name, const QByteArray &content, QString *error) const
{
    const int file = ::openat(fd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (file < 0) {
        const int code = errno;
        return failCall(error, code, QStringLiteral("cannot create %1").arg(pathOf(name)));
    }
    qint64 written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(file, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            const int code = errno;
            failCall(error, code, QStringLiteral("cannot write %1").arg(pathOf(name)));
            ::close(file);
            ::unlinkat(fd, name.constData(), 0);
            return false;
        }
        written += n;
    }
    if (::close(file) != 0) {
        const int code = errno;
        return failCall(error, code, QStringLiteral("cannot write %1").arg(pathOf(name)));
    }
    return true;
}

bool DirectoryHandle::move(const QByteArray &name, const DirectoryHandle &target, const QByteArray &newName,
                           QString *error) const
{
    const auto failed = [&] {
        const int code = errno;
        return failCall(error, code, QStringLiteral("cannot move %1 to %2").arg(pathOf(name), target.pathOf(newName)));
    };
#ifdef RENAME_NOREPLACE
    if (::renameat2(fd, name.constData(), target.fd, newName.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return failed();
#endif
    // Without an exclusive rename: a hard link takes the new name only when
    // it is free, then the old name goes.
    if (::linkat(fd, name.constData(), target.fd, newName.constData(), 0) != 0)
        return failed();
    ::unlinkat(fd, name.constData(), 0);
    return true;
}

DirectoryHandle::Writers DirectoryHandle::writers(int fileDescriptor)
{
#if defined(F_SETLEASE) && defined(F_SETSIG)
    // A read lease is granted only while no one has the file open for
    // writing. It is dropped at once; should a writer open the file in
    // between, the notice comes as SIGURG, ignored unless handled, rather
    // than SIGIO, which would end the process.
    ::fcntl(fileDescriptor, F_SETSIG, SIGURG);
    if (::fcntl(fileDescriptor, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fileDescriptor, F_SETLEASE, F_UNLCK);
        return Writers::None;
    }
    if (errno == EAGAIN)
        return Writers::Some;
#else
    Q_UNUSED(fileDescriptor)
#endif
    return Writers::Unknown;
}
