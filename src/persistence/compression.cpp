#include "compression.h"

#include "documentbytes.h"

#include <QBuffer>
#include <QLibrary>
#include <QtConcurrent>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

// zlib is loaded at run time: Qt uses it internally but does not export its
// streaming interface, which the size-capped inflation needs.
struct Zlib
{
    decltype(&::deflateInit2_) startDeflate = nullptr;
    decltype(&::deflate) deflate = nullptr;
    decltype(&::deflateEnd) deflateEnd = nullptr;
    decltype(&::inflateInit_) startInflate = nullptr;
    decltype(&::inflate) inflate = nullptr;
    decltype(&::inflateEnd) inflateEnd = nullptr;
    decltype(&::adler32) adler32 = nullptr;
    decltype(&::adler32_combine) adler32Combine = nullptr;
    bool ok = false;

    Zlib()
    {
        QLibrary library(QStringLiteral("z"), 1);
        if (!library.load())
            return;
        startDeflate = reinterpret_cast<decltype(startDeflate)>(library.resolve("deflateInit2_"));
        deflate = reinterpret_cast<decltype(deflate)>(library.resolve("deflate"));
        deflateEnd = reinterpret_cast<decltype(deflateEnd)>(library.resolve("deflateEnd"));
        startInflate = reinterpret_cast<decltype(startInflate)>(library.resolve("inflateInit_"));
        inflate = reinterpret_cast<decltype(inflate)>(library.resolve("inflate"));
        inflateEnd = reinterpret_cast<decltype(inflateEnd)>(library.resolve("inflateEnd"));
        adler32 = reinterpret_cast<decltype(adler32)>(library.resolve("adler32"));
        adler32Combine = reinterpret_cast<decltype(adler32Combine)>(library.resolve("adler32_combine"));
        ok =
            startDeflate && deflate && deflateEnd && startInflate && inflate && inflateEnd && adler32 && adler32Combine;
    }
};

const Zlib &zlib()
{
    static const Zlib z;
    return z;
}

struct Piece
{
    const char *data = nullptr;
    qint64 size = 0;
    bool last = false;
    QByteArray out;
    uLong adler = 1;
};

// Raw deflate of one piece; all but the last end on a byte boundary with a
// sync flush, so the pieces concatenate into one valid stream.
void deflatePiece(Piece &piece, int level)
{
    const Zlib &z = zlib();
    z_stream s{};
    z.startDeflate(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY, ZLIB_VERSION, int(sizeof(z_stream)));
    piece.out.resize(int(piece.size + piece.size / 1000 + 64));
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.data));
    s.avail_in = uInt(piece.size);
    qint64 written = 0;
    int rc = Z_OK;
    do {
        if (written == piece.out.size())
            piece.out.resize(piece.out.size() * 2);
        s.next_out = reinterpret_cast<Bytef *>(piece.out.data() + written);
        s.avail_out = uInt(piece.out.size() - written);
        rc = z.deflate(&s, piece.last ? Z_FINISH : Z_SYNC_FLUSH);
        written = piece.out.size() - s.avail_out;
    } while (piece.last ? rc != Z_STREAM_END : (s.avail_out == 0 || s.avail_in > 0));
    z.deflateEnd(&s);
    piece.out.resize(int(written));
    piece.adler = z.adler32(1, reinterpret_cast<const Bytef *>(piece.data), uInt(piece.size));
}

} // namespace

bool Compression::looksCompressed(const QByteArray &bytes)
{
    // A byte-order mark may open a UTF-8 text; no compressed header starts
    // with it (its length would be near 4 GiB in the 4-byte form).
    const int start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (int i = start; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c != '<';
    }
    return false;
}

QByteArray Compression::compress(const QByteArray &text, int level)
{
    return compress(QList<QByteArray>{text}, level);
}

QByteArray Compression::compress(const QList<QByteArray> &parts, int level, qint64 wideFrom)
{
    qint64 total = 0;
    for (const QByteArray &part : parts)
        total += part.size();
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    Writer writer(&buffer, total, level, wideFrom);
    for (const QByteArray &part : parts)
        writer.write(part);
    writer.finish();
    return out;
}

namespace {

// The text is deflated in pieces of this size, at these offsets of the whole.
constexpr qint64 PieceSize = qint64(8) << 20;

} // namespace

Compression::Writer::Writer(QIODevice *device, qint64 total, int level, qint64 wideFrom)
    : device(device), total(total), level(level)
{
    if (!zlib().ok)
        return;
    QByteArray head;
    const auto bigEndian = [&head](quint64 n, int bytes) {
        for (int k = bytes - 1; k >= 0; --k)
            head.append(char(n >> (8 * k)));
    };
    if (total >= wideFrom) {
        bigEndian(0xffffffffu, 4);
        bigEndian(quint64(total), 8);
    } else {
        bigEndian(quint64(total), 4);
    }
    // zlib header of the default compression level and window.
    head.append(char(0x78)).append(char(0x9c));
    put(head);
}

bool Compression::Writer::put(const QByteArray &bytes)
{
    ok = ok && device->write(bytes) == bytes.size();
    return ok;
}

bool Compression::Writer::write(const QByteArray &text)
{
    if (pendingFrom + pending.size() + text.size() > total)
        ok = false;
    if (!ok)
        return false;
    pending.append(text);
    // As many pieces as threads go together, once they are all here.
    const qint64 batch = PieceSize * std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    return !zlib().ok || pending.size() < batch || deflatePending(false);
}

bool Compression::Writer::deflatePending(bool all)
{
    const Zlib &z = zlib();
    std::vector<Piece> pieces;
    qint64 at = 0;
    while (pending.size() - at >= PieceSize || (all && at < pending.size())) {
        Piece p;
        p.data = pending.constData() + at;
        p.size = std::min<qint64>(PieceSize, pending.size() - at);
        at += p.size;
        p.last = pendingFrom + at == total;
        pieces.push_back(p);
    }
    // An empty text is one empty last piece.
    if (all && pieces.empty() && total == 0) {
        Piece p;
        p.last = true;
        pieces.push_back(p);
    }
    QtConcurrent::blockingMap(pieces, [this](Piece &p) { deflatePiece(p, level); });
    for (const Piece &p : pieces) {
        put(p.out);
        adler = z.adler32Combine(adler, p.adler, z_off_t(p.size));
    }
    pending.remove(0, int(at));
    pendingFrom += at;
    return ok;
}

bool Compression::Writer::finish()
{
    if (!ok || pendingFrom + pending.size() != total)
        return ok = false;
    if (!zlib().ok) {
        // Without zlib's streaming interface the text is compressed whole.
        const QByteArray out = qCompress(pending, level);
        pending.clear();
        return put(out);
    }
    deflatePending(true);
    QByteArray tail;
    tail.append(char(adler >> 24)).append(char(adler >> 16)).append(char(adler >> 8)).append(char(adler));
    return put(tail);
}

bool Compression::inflate(const char *bytes, qint64 size, qint64 limit, DocumentBytes *text, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const Zlib &z = zlib();
    if (!z.ok)
        return fail(QStringLiteral("the compression library (zlib) could not be loaded"));
    const auto *b = reinterpret_cast<const uchar *>(bytes);
    const auto bigEndian = [b](int from, int count) {
        quint64 n = 0;
        for (int k = 0; k < count; ++k)
            n = n << 8 | b[from + k];
        return n;
    };
    if (size < NarrowHeader + 2)
        return fail(QStringLiteral("the compressed document is truncated"));
    qint64 header = NarrowHeader;
    quint64 length = bigEndian(0, 4);
    if (length == 0xffffffffu) {
        if (size < WideHeader + 2)
            return fail(QStringLiteral("the compressed document is truncated"));
        header = WideHeader;
        length = bigEndian(4, 8);
    }
    if (length > quint64(limit))
        return fail(QStringLiteral("the compressed document declares %1 bytes, more than the %2 bytes allowed")
                        .arg(length)
                        .arg(limit));
    const qint64 declared = qint64(length);
    z_stream s{};
    if (z.startInflate(&s, ZLIB_VERSION, int(sizeof(z_stream))) != Z_OK)
        return fail(QStringLiteral("the compression library could not start"));
    const uchar *in = b + header;
    qint64 inLeft = size - header;
    // zlib counts in 32 bits: input and output are handed over in pieces.
    const qint64 piece = qint64(1) << 30;
    DocumentBytes out;
    qint64 produced = 0;
    int rc = Z_OK;
    try {
        // Grows with the output; one byte beyond the declared length is
        // enough to tell that the stream is longer than it says.
        out.resize(std::min<qint64>(declared + 1, qint64(1) << 20));
        while (true) {
            if (produced == out.size()) {
                if (produced > declared)
                    break;
                out.resize(std::min<qint64>(declared + 1, out.size() * 2));
            }
            if (s.avail_in == 0 && inLeft > 0) {
                s.next_in = const_cast<Bytef *>(in);
                s.avail_in = uInt(std::min(piece, inLeft));
                in += s.avail_in;
                inLeft -= s.avail_in;
            }
            const qint64 room = std::min(piece, out.size() - produced);
            s.next_out = reinterpret_cast<Bytef *>(out.data() + produced);
            s.avail_out = uInt(room);
            rc = z.inflate(&s, Z_NO_FLUSH);
            produced += room - s.avail_out;
            if (rc == Z_STREAM_END || (rc != Z_OK && rc != Z_BUF_ERROR) || produced > declared)
                break;
            if (rc == Z_BUF_ERROR && s.avail_in == 0 && inLeft == 0)
                break;
        }
    } catch (const std::bad_alloc &) {
        z.inflateEnd(&s);
        return fail(QStringLiteral("not enough memory to inflate the compressed document"));
    }
    z.inflateEnd(&s);
    if (produced > declared)
        return fail(QStringLiteral("the compressed document inflates beyond its declared %1 bytes").arg(declared));
    if (rc != Z_STREAM_END)
        return fail(rc == Z_DATA_ERROR ? QStringLiteral("the compressed document is corrupt")
                                       : QStringLiteral("the compressed document is truncated"));
    if (produced != declared)
        return fail(QStringLiteral("the compressed document inflates to %1 bytes, not the declared %2")
                        .arg(produced)
                        .arg(declared));
    out.resize(produced);
    *text = std::move(out);
    return true;
}

bool Compression::inflate(const QByteArray &bytes, qint64 limit, QByteArray *text, QString *error)
{
    DocumentBytes out;
    if (!inflate(bytes.constData(), bytes.size(), std::min(limit, NarrowLimit), &out, error))
        return false;
    *text = QByteArray(out.data(), int(out.size()));
    return true;
}

struct Compression::Reader::State
{
    QIODevice *device = nullptr;
    z_stream stream{};
    bool started = false, ended = false, failed = false;
    qint64 declared = -1, produced = 0;
    QByteArray input;
    QString error;

    qint64 fail(const QString &why)
    {
        failed = true;
        error = why;
        return -1;
    }
};

Compression::Reader::Reader(QIODevice *device) : state(std::make_unique<State>())
{
    state->device = device;
}

Compression::Reader::~Reader()
{
    if (state->started)
        zlib().inflateEnd(&state->stream);
}

qint64 Compression::Reader::length() const
{
    return state->declared;
}

QString Compression::Reader::errorString() const
{
    return state->error;
}

qint64 Compression::Reader::read(char *data, qint64 size)
{
    State &st = *state;
    if (st.failed)
        return -1;
    const Zlib &z = zlib();
    if (!st.started) {
        if (!z.ok)
            return st.fail(QStringLiteral("the compression library (zlib) could not be loaded"));
        const QByteArray narrow = st.device->read(NarrowHeader);
        if (narrow.size() != NarrowHeader)
            return st.fail(QStringLiteral("the compressed document is truncated"));
        QByteArray header = narrow;
        if (narrow == QByteArray(NarrowHeader, char(0xff))) {
            header = st.device->read(WideHeader - NarrowHeader);
            if (header.size() != WideHeader - NarrowHeader)
                return st.fail(QStringLiteral("the compressed document is truncated"));
        }
        quint64 n = 0;
        for (char c : header)
            n = n << 8 | uchar(c);
        st.declared = qint64(std::min<quint64>(n, quint64(std::numeric_limits<qint64>::max())));
        if (z.startInflate(&st.stream, ZLIB_VERSION, int(sizeof(z_stream))) != Z_OK)
            return st.fail(QStringLiteral("the compression library could not start"));
        st.started = true;
    }
    qint64 done = 0;
    while (done < size && !st.ended) {
        if (st.stream.avail_in == 0) {
            st.input = st.device->read(qint64(1) << 20);
            if (st.input.isEmpty())
                return st.fail(QStringLiteral("the compressed document is truncated"));
            st.stream.next_in = reinterpret_cast<Bytef *>(st.input.data());
            st.stream.avail_in = uInt(st.input.size());
        }
        const qint64 room = std::min<qint64>(size - done, qint64(1) << 30);
        st.stream.next_out = reinterpret_cast<Bytef *>(data + done);
        st.stream.avail_out = uInt(room);
        const int rc = z.inflate(&st.stream, Z_NO_FLUSH);
        const qint64 got = room - st.stream.avail_out;
        done += got;
        st.produced += got;
        if (st.produced > st.declared)
            return st.fail(
                QStringLiteral("the compressed document inflates beyond its declared %1 bytes").arg(st.declared));
        if (rc == Z_STREAM_END) {
            st.ended = true;
            if (st.produced != st.declared)
                return st.fail(QStringLiteral("the compressed document inflates to %1 bytes, not the declared %2")
                                   .arg(st.produced)
                                   .arg(st.declared));
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            return st.fail(rc == Z_DATA_ERROR ? QStringLiteral("the compressed document is corrupt")
                                              : QStringLiteral("the compressed document cannot be inflated"));
        }
    }
    return done;
}

bool Compression::Reader::skip(qint64 count)
{
    QByteArray buffer(int(std::min<qint64>(count, qint64(1) << 20)), Qt::Uninitialized);
    while (count > 0) {
        const qint64 got = read(buffer.data(), std::min<qint64>(count, buffer.size()));
        if (got <= 0)
            return false;
        count -= got;
    }
    return true;
}
