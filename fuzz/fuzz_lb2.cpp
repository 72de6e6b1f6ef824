// ".lb2" files: a 4-byte length and a zlib stream, as the conversion and
// the editor read them. What unpacks must pack and unpack to itself.
#include "fuzz_helper.h"

#include "persistence/geometryfiles.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzHelper::ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QByteArray plain;
    QString error;
    if (!GeometryFiles::unpackLb2(bytes, plain, "fuzz.lb2", &error)) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    QByteArray again;
    if (!GeometryFiles::unpackLb2(qCompress(plain, -1), again, "again.lb2", &error) || again != plain)
        std::abort();
    // The same through the files of the conversion.
    const QString path = FuzzHelper::writeScratch("fuzz.lb2", bytes);
    if (!GeometryFiles::convertLb2ToLb(path, &error))
        std::abort();
    QByteArray written;
    if (!GeometryFiles::readFile(GeometryFiles::lbPathFor(path), written, &error) || written != plain)
        std::abort();
    return 0;
}
