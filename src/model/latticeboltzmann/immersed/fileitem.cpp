#include "fileitem.h"

#include <QImage>
#include <QImageReader>

FileItem::FileItem()
{
    parameters.insert(QStringLiteral("file"), QString());
    parameters.insert(QStringLiteral("x"), QStringLiteral("0"));
    parameters.insert(QStringLiteral("y"), QStringLiteral("0"));
}

// Columns left to right and, within a column, rows from the bottom, so the
// image's lower edge lies on y.
bool FileItem::generatePoints(QString *error)
{
    const QString file = parameters.value(QStringLiteral("file"));
    QImageReader reader(file);
    const QSize size = reader.size();
    // The image is checked before it is decoded: a huge picture would hold
    // far more memory than any outline needs.
    if (size.isValid() && qint64(size.width()) * size.height() > 64ll * 1024 * 1024) {
        if (error)
            *error = QStringLiteral("the image %1 is too large").arg(file);
        return false;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("cannot read the image %1").arg(file);
        return false;
    }
    const double x = number(QStringLiteral("x")), y = number(QStringLiteral("y"));
    std::vector<Vector3d> generated;
    Vector3d pivot(-1.0, -1.0, -1.0);
    const int width = image.width(), height = image.height();
    for (int i = 0; i < width; ++i)
        for (int j = 0; j < height; ++j) {
            const QRgb c = image.pixel(i, height - 1 - j) & 0xffffff;
            if (c == 0x0000ff) {
                if (generated.size() > std::size_t(MaxPoints)) {
                    if (error)
                        *error = QStringLiteral("the image %1 has more than %2 points").arg(file).arg(MaxPoints);
                    return false;
                }
                generated.emplace_back(x + i, y + j, 0.0);
            } else if (c == 0xff0000) {
                pivot = Vector3d(x + i, y + j, 0.0);
            }
        }
    if (!accept(std::move(generated), error))
        return false;
    fixedPoint = pivot;
    cellular = true;
    return true;
}
