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

    // Reads the whole of an open file, in parallel pieces unless parallel is
    // false. False with a message when it cannot be read or does not keep
    // the size it had when reading began: a file cut short or grown while it
    // is read gives a message, never a signal, as a mapping of it would.
    bool readFile(QFileDevice &file, QString *error, bool parallel = true);

private:
    char *bytes = nullptr;
    qint64 used = 0;
    qint64 capacity = 0;
};
