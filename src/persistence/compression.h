#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The compressed form of a version-2 state document: a 4-byte big-endian
// length of the text followed by one zlib stream, the layout of qCompress.
class Compression
{
public:
    // True when the bytes are not XML text: the first byte that is not white
    // space is not '<'.
    static bool looksCompressed(const QByteArray &bytes);
    // Deflates in parallel pieces that join into one zlib stream.
    static QByteArray compress(const QByteArray &text, int level = -1);
    // The same for a text given in consecutive parts.
    static QByteArray compress(const QList<QByteArray> &parts, int level = -1);
    // Inflates in memory. Refuses a declared length above limit, a stream
    // that inflates beyond its declared length (it stops there) and a
    // truncated or corrupt stream; memory grows only with what the stream
    // really yields.
    static bool inflate(const QByteArray &bytes, qint64 limit, QByteArray *text, QString *error);
};
