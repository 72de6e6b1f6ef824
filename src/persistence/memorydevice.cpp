#include "memorydevice.h"

#include <algorithm>
#include <cstring>

MemoryDevice::MemoryDevice(const char *data, qint64 size) : base(data), length(size)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 MemoryDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::max<qint64>(0, std::min(maxSize, length - pos()));
    if (n > 0)
        std::memcpy(data, base + pos(), std::size_t(n));
    return n;
}

qint64 MemoryDevice::writeData(const char *, qint64)
{
    return -1;
}
