#include "stlwriter.h"

#include <QFile>
#include <QSaveFile>

#include <cstdint>

namespace {

Vector3d normalOf(const Vector3d *c)
{
    return (c[1] - c[0]).cross(c[2] - c[0]).normalized();
}

} // namespace

bool StlWriter::writeBinary(const QString &path, const std::vector<Vector3d> &corners)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const std::uint32_t count = std::uint32_t(corners.size() / 3);
    QByteArray data("binary STL written by Ondix");
    data.append(80 - data.size(), '\0');
    data.append(reinterpret_cast<const char *>(&count), 4);
    for (std::uint32_t t = 0; t < count; ++t) {
        const Vector3d *c = &corners[3 * std::size_t(t)];
        const Vector3d n = normalOf(c);
        const float values[12] = {float(n.x),    float(n.y),    float(n.z),    float(c[0].x), float(c[0].y), float(c[0].z),
                                  float(c[1].x), float(c[1].y), float(c[1].z), float(c[2].x), float(c[2].y), float(c[2].z)};
        data.append(reinterpret_cast<const char *>(values), sizeof values);
        data.append(2, '\0');
    }
    file.write(data);
    return file.commit();
}

bool StlWriter::writeAscii(const QString &path, const std::vector<Vector3d> &corners)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray text = "solid ondix\n";
    auto number = [](double v) { return QByteArray::number(double(float(v)), 'g', 9); };
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
        const Vector3d n = normalOf(&corners[t]);
        text += "  facet normal " + number(n.x) + ' ' + number(n.y) + ' ' + number(n.z) + "\n    outer loop\n";
        for (int k = 0; k < 3; ++k) {
            const Vector3d &p = corners[t + std::size_t(k)];
            text += "      vertex " + number(p.x) + ' ' + number(p.y) + ' ' + number(p.z) + '\n';
        }
        text += "    endloop\n  endfacet\n";
    }
    text += "endsolid ondix\n";
    file.write(text);
    return file.commit();
}
