#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <limits>
#include <memory>

class DocumentBytes;
class QIODevice;

// The compressed form of a version-2 state document: a header with the
// length of the text, then one zlib stream. A text shorter than NarrowLimit
// gets the 4-byte big-endian length of qCompress's layout (which every
// earlier version of the program reads); a longer one gets the marker
// FF FF FF FF and an 8-byte big-endian length, so a document of any size
// loads back.
class Compression
{
public:
    // The longest text the 4-byte form holds.
    static constexpr qint64 NarrowLimit = qint64(std::numeric_limits<int>::max()) - 64;
    static constexpr int NarrowHeader = 4;
    static constexpr int WideHeader = 12;

    // True when the bytes are not XML text: the first byte that is not white
    // space (after a UTF-8 byte-order mark) is not '<'.
    static bool looksCompressed(const QByteArray &bytes);
    // Deflates in parallel pieces that join into one zlib stream.
    static QByteArray compress(const QByteArray &text, int level = -1);
    // The same for a text given in consecutive parts. A text of wideFrom
    // bytes or more gets the 8-byte length (tests lower it to see the wide
    // form without gigabytes).
    static QByteArray compress(const QList<QByteArray> &parts, int level = -1, qint64 wideFrom = NarrowLimit + 1);
    // Writes the same compressed form of a text of known length, given in
    // consecutive parts of any size, to a device as the parts come: the text
    // is cut at fixed offsets of the whole, so the bytes do not depend on
    // how it arrives, and a few pieces are deflated at a time in parallel.
    class Writer
    {
    public:
        Writer(QIODevice *device, qint64 total, int level = -1, qint64 wideFrom = NarrowLimit + 1);
        // False when the device refused bytes or more text came than the
        // length given.
        bool write(const QByteArray &text);
        // Writes the rest; false when the text came short of its length or
        // the device refused bytes.
        bool finish();

    private:
        bool deflatePending(bool all);
        bool put(const QByteArray &bytes);

        QIODevice *device;
        qint64 total;
        int level;
        // Text received and not yet deflated, and where it starts in the
        // whole text.
        QByteArray pending;
        qint64 pendingFrom = 0;
        unsigned long adler = 1;
        bool ok = true;
    };

    // Inflates the compressed form read from a device as it is read, a
    // little at a time, so that the text never needs to be held whole.
    class Reader
    {
    public:
        // The device stands at the start of the compressed form.
        explicit Reader(QIODevice *device);
        ~Reader();
        Reader(const Reader &) = delete;
        Reader &operator=(const Reader &) = delete;
        // Up to size bytes of the text into data: how many (0 at its end),
        // or -1 with a message (errorString) for a header or a stream that
        // is corrupt or cut short, or that inflates beyond its declared
        // length. At the end the text has had its declared length.
        qint64 read(char *data, qint64 size);
        // Reads and drops count bytes of the text; false as read fails.
        bool skip(qint64 count);
        // The declared length of the text (-1 before the header is read).
        qint64 length() const;
        QString errorString() const;

    private:
        struct State;
        std::unique_ptr<State> state;
    };

    // Inflates in memory, either header form. Refuses a declared length
    // above limit, a stream that inflates beyond its declared length (it
    // stops there) and a truncated or corrupt stream; memory grows only with
    // what the stream really yields.
    static bool inflate(const char *bytes, qint64 size, qint64 limit, DocumentBytes *text, QString *error);
    // The same into a QByteArray, for texts shorter than NarrowLimit.
    static bool inflate(const QByteArray &bytes, qint64 limit, QByteArray *text, QString *error);
};
