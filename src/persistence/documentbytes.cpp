#include "documentbytes.h"

#include "model/latticeboltzmann/blockpool.h"

#include <QFileDevice>
#include <QString>
#include <QVector>
#include <QtConcurrent>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

DocumentBytes::~DocumentBytes()
{
    std::free(bytes);
}

DocumentBytes::DocumentBytes(DocumentBytes &&other) noexcept
    : bytes(std::exchange(other.bytes, nullptr)), used(std::exchange(other.used, 0)),
      capacity(std::exchange(other.capacity, 0))
{}

DocumentBytes &DocumentBytes::operator=(DocumentBytes &&other) noexcept
{
    if (this != &other) {
        std::free(bytes);
        bytes = std::exchange(other.bytes, nullptr);
        used = std::exchange(other.used, 0);
        capacity = std::exchange(other.capacity, 0);
    }
    return *this;
}

void DocumentBytes::resize(qint64 size)
{
    if (size < 0)
        throw std::bad_alloc();
    if (size > capacity) {
        // realloc of a large block moves pages rather than bytes.
        void *grown = std::realloc(bytes, std::size_t(size));
        if (!grown)
            throw std::bad_alloc();
        bytes = static_cast<char *>(grown);
        capacity = size;
        BlockPool::adviseHugePages(bytes, std::size_t(size));
    }
    used = size;
}

void DocumentBytes::clear()
{
    std::free(bytes);
    bytes = nullptr;
    used = capacity = 0;
}

bool DocumentBytes::readFile(QFileDevice &file, QString *error, bool parallel)
{
    const int fd = file.handle();
    struct stat before;
    if (fd < 0 || ::fstat(fd, &before) != 0) {
        *error = QStringLiteral("the file cannot be read");
        return false;
    }
    const qint64 expected = before.st_size;
    try {
        resize(expected);
    } catch (const std::bad_alloc &) {
        *error = QStringLiteral("not enough memory to read its %1 bytes").arg(expected);
        return false;
    }
    // Pieces read side by side: copying a large file into fresh memory is
    // bound by the page faults of that memory as much as by the copy.
    const qint64 piece = qint64(32) << 20;
    QVector<qint64> starts;
    for (qint64 at = 0; at < expected; at += piece)
        starts.append(at);
    std::atomic<bool> failed(false), endedEarly(false);
    std::atomic<int> failure(0);
    const auto readPiece = [&](qint64 at) {
        const qint64 end = std::min(expected, at + piece);
        while (at < end && !failed) {
            const ssize_t n = ::pread(fd, bytes + at, std::size_t(end - at), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failure = errno;
                failed = true;
            } else if (n == 0) {
                endedEarly = failed = true;
            }
            at += n > 0 ? n : 0;
        }
    };
    if (parallel && starts.size() > 1)
        QtConcurrent::blockingMap(starts, readPiece);
    else
        for (qint64 at : starts)
            readPiece(at);
    char probe;
    struct stat after;
    if (failed && !endedEarly) {
        *error = QString::fromLocal8Bit(std::strerror(failure));
        return false;
    }
    // Bytes that stopped early, or bytes beyond the size the file had when
    // reading began.
    if (endedEarly || ::pread(fd, &probe, 1, off_t(expected)) != 0 || ::fstat(fd, &after) != 0 ||
        after.st_size != expected) {
        *error = QStringLiteral("the file changed while it was read");
        return false;
    }
    return true;
}
