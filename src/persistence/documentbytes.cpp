#include "documentbytes.h"

#include <QFileDevice>
#include <QString>

#include <algorithm>
#include <cstdlib>
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
    }
    used = size;
}

void DocumentBytes::clear()
{
    std::free(bytes);
    bytes = nullptr;
    used = capacity = 0;
}

bool DocumentBytes::readFile(QFileDevice &file, QString *error)
{
    const qint64 expected = file.size();
    try {
        resize(expected);
    } catch (const std::bad_alloc &) {
        *error = QStringLiteral("not enough memory to read its %1 bytes").arg(expected);
        return false;
    }
    if (!file.seek(0)) {
        *error = file.errorString();
        return false;
    }
    qint64 done = 0;
    // In pieces, so a read never asks for more than the system hands out at once.
    const qint64 piece = qint64(64) << 20;
    while (done < expected) {
        const qint64 n = file.read(bytes + done, std::min(piece, expected - done));
        if (n < 0) {
            *error = file.errorString();
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    char probe;
    if (done != expected || file.read(&probe, 1) != 0 || file.size() != expected) {
        *error =
            QStringLiteral("the file changed while it was read (%1 of its %2 bytes arrived)").arg(done).arg(expected);
        return false;
    }
    return true;
}
