#pragma once

#include <QtGlobal>

class QFileDevice;
class QString;

// The bytes of a document held in memory, of any size the machine can hold
// (a QByteArray stops below 2 GiB). Growing keeps the bytes and does not
// fill the new room, so a buffer grown step by step costs no more than what
// is written into it.
class DocumentBytes
{
public:
    DocumentBytes() = default;
    ~DocumentBytes();
    DocumentBytes(const DocumentBytes &) = delete;
    DocumentBytes &operator=(const DocumentBytes &) = delete;
    DocumentBytes(DocumentBytes &&other) noexcept;
    DocumentBytes &operator=(DocumentBytes &&other) noexcept;

    const char *data() const { return bytes; }
    char *data() { return bytes; }
    qint64 size() const { return used; }
    // Sets the size; new bytes are undefined. Throws std::bad_alloc when
    // the memory cannot be had (the bytes held stay as they were).
    void resize(qint64 size);
    void clear();

    // Reads the whole file from its start. False with a message when it
    // cannot be read or does not hold the bytes it had when opened (a file
    // cut short or replaced while it is read gives a message, never a
    // signal, as a mapping of it would).
    bool readFile(QFileDevice &file, QString *error);

private:
    char *bytes = nullptr;
    qint64 used = 0;
    qint64 capacity = 0;
};
