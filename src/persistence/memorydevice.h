#pragma once

#include <QIODevice>

// A read-only device over bytes held elsewhere, of any size (a QBuffer holds
// a QByteArray, which stops below 2 GiB). The bytes must outlive the device.
class MemoryDevice : public QIODevice
{
public:
    // Opens the device for reading.
    MemoryDevice(const char *data, qint64 size);

    bool isSequential() const override { return false; }
    qint64 size() const override { return length; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    const char *base;
    qint64 length;
};
