#include "shapexml.h"

#include "model/xml/attributereader.h"
#include "model/xml/childelements.h"
#include "model/xml/xmlformat.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

void writeVector(QXmlStreamWriter &writer, const QString &prefix, const Vector3d &v)
{
    writer.writeAttribute(prefix + QLatin1Char('X'), XmlFormat::real(v.x));
    writer.writeAttribute(prefix + QLatin1Char('Y'), XmlFormat::real(v.y));
    writer.writeAttribute(prefix + QLatin1Char('Z'), XmlFormat::real(v.z));
}

Vector3d readVector(AttributeReader &a, const QString &prefix)
{
    const double x = a.real(prefix + QLatin1Char('X'));
    const double y = a.real(prefix + QLatin1Char('Y'));
    const double z = a.real(prefix + QLatin1Char('Z'));
    return Vector3d(x, y, z);
}

const double Largest = AttributeReader::Largest;

// A positive, finite length (radius, half size, scale).
double readPositive(AttributeReader &a, const QString &key, double fallback)
{
    const double v = a.real(key, fallback, 0.0, Largest);
    if (a.ok() && !(v > 0.0))
        a.reject(key, QStringLiteral("is %1, not a positive size").arg(v));
    return v;
}

QString relativeName(const QString &file, const QString &documentPath)
{
    if (file.isEmpty() || documentPath.isEmpty())
        return file;
    const QFileInfo stl(file), document(documentPath);
    return stl.absolutePath() == document.absolutePath() ? stl.fileName() : stl.absoluteFilePath();
}

// Reads one "shape" element into entry; false with a message.
bool readShape(QXmlStreamReader &reader, const QString &documentPath, ShapeXml::Entry &entry, QString *error)
{
    AttributeReader a(reader);
    const QString kind = a.text(QStringLiteral("kind"));
    std::unique_ptr<Shape> shape;
    if (kind == QLatin1String("sphere") || kind == QLatin1String("ball")) {
        shape = std::make_unique<SphereShape>(readPositive(a, QStringLiteral("radius"), 1.0));
    } else if (kind == QLatin1String("cylinder")) {
        const double radius = readPositive(a, QStringLiteral("radius"), 1.0);
        const double length = a.real(QStringLiteral("length"), 0.0, 0.0, Largest);
        const Vector3d axis = readVector(a, QStringLiteral("axis"));
        if (a.ok() && axis.lengthSquared() == 0.0)
            a.reject(QStringLiteral("axisX"), QStringLiteral("and its companions give no axis direction"));
        shape = std::make_unique<CylinderShape>(radius, length, axis);
    } else if (kind == QLatin1String("box")) {
        const Vector3d half(readPositive(a, QStringLiteral("halfX"), 0.5), readPositive(a, QStringLiteral("halfY"), 0.5),
                            readPositive(a, QStringLiteral("halfZ"), 0.5));
        shape = std::make_unique<BoxShape>(half * 2.0);
    } else if (kind == QLatin1String("mesh")) {
        QString name = a.text(QStringLiteral("file"));
        if (name.isEmpty()) {
            *error = QStringLiteral("a mesh shape names no STL file");
            return false;
        }
        if (QFileInfo(name).isRelative() && !documentPath.isEmpty())
            name = QFileInfo(documentPath).absoluteDir().filePath(name);
        QString why;
        shape = MeshShape::fromFile(name, &why);
        if (!shape) {
            *error = QStringLiteral("the STL file %1 cannot be used: %2").arg(name, why);
            return false;
        }
    } else {
        *error = QStringLiteral("unknown shape kind \"%1\" (sphere, cylinder, box or mesh)").arg(kind.left(40));
        return false;
    }
    const QString scheme = a.text(QStringLiteral("scheme"), QStringLiteral("quadratic"));
    if (scheme != wallSchemeName(wallSchemeFromName(scheme)))
        a.reject(QStringLiteral("scheme"), QStringLiteral("is \"%1\", not staircase, linear or quadratic").arg(scheme.left(40)));
    shape->setCentre(readVector(a, QString()));
    shape->setScale(readPositive(a, QStringLiteral("scale"), 1.0));
    const QStringList rows = a.text(QStringLiteral("rotation"), QStringLiteral("1 0 0 0 1 0 0 0 1"))
                                 .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    double m[9];
    bool numbers = rows.size() == 9;
    for (int i = 0; numbers && i < 9; ++i)
        m[i] = rows[i].toDouble(&numbers);
    Rotation turn;
    if (!numbers || !Rotation::fromMatrix(m, turn))
        a.reject(QStringLiteral("rotation"), QStringLiteral("is not nine numbers of a rotation matrix"));
    shape->setRotation(turn);
    shape->setInverted(a.flag(QStringLiteral("inverted")));
    shape->setScheme(wallSchemeFromName(scheme));
    shape->setVelocity(readVector(a, QStringLiteral("velocity")));
    shape->setAngularVelocity(readVector(a, QStringLiteral("angularVelocity")));
    entry.force = readVector(a, QStringLiteral("force"));
    entry.torque = readVector(a, QStringLiteral("torque"));
    if (!a.ok()) {
        *error = a.error();
        return false;
    }
    entry.shape = std::move(shape);
    return true;
}

} // namespace

void ShapeXml::write(QXmlStreamWriter &writer, const ShapeSet &shapes, const QString &documentPath)
{
    for (int i = 0; i < shapes.count(); ++i) {
        const Shape &s = *shapes.shape(i);
        writer.writeStartElement(QStringLiteral("shape"));
        writer.writeAttribute(QStringLiteral("kind"), s.kind());
        writeVector(writer, QString(), s.centre());
        writer.writeAttribute(QStringLiteral("scale"), XmlFormat::real(s.scale()));
        if (auto *sphere = dynamic_cast<const SphereShape *>(&s)) {
            writer.writeAttribute(QStringLiteral("radius"), XmlFormat::real(sphere->radius()));
        } else if (auto *cylinder = dynamic_cast<const CylinderShape *>(&s)) {
            writer.writeAttribute(QStringLiteral("radius"), XmlFormat::real(cylinder->radius()));
            writer.writeAttribute(QStringLiteral("length"), XmlFormat::real(cylinder->length()));
            writeVector(writer, QStringLiteral("axis"), cylinder->axis());
        } else if (auto *box = dynamic_cast<const BoxShape *>(&s)) {
            writeVector(writer, QStringLiteral("half"), box->size() * 0.5);
        } else if (auto *mesh = dynamic_cast<const MeshShape *>(&s)) {
            writer.writeAttribute(QStringLiteral("file"), relativeName(mesh->fileName(), documentPath));
        }
        QStringList rotation;
        for (int k = 0; k < 9; ++k)
            rotation << XmlFormat::real(s.rotation().at(k / 3, k % 3));
        writer.writeAttribute(QStringLiteral("rotation"), rotation.join(QLatin1Char(' ')));
        writer.writeAttribute(QStringLiteral("inverted"), XmlFormat::flag(s.isInverted()));
        writer.writeAttribute(QStringLiteral("scheme"), wallSchemeName(s.scheme()));
        writeVector(writer, QStringLiteral("velocity"), s.velocity());
        writeVector(writer, QStringLiteral("angularVelocity"), s.angularVelocity());
        writeVector(writer, QStringLiteral("force"), shapes.force(i));
        writeVector(writer, QStringLiteral("torque"), shapes.torque(i));
        writer.writeEndElement();
    }
}

bool ShapeXml::read(QXmlStreamReader &reader, const QString &documentPath, std::vector<Entry> &entries, QString *error)
{
    entries.clear();
    ChildElements children(reader);
    while (children.next()) {
        if (reader.name() != QLatin1String("shape"))
            continue;
        Entry entry;
        QString why;
        if (!readShape(reader, documentPath, entry, &why)) {
            *error = QStringLiteral("element \"shapes\", shape %1: %2").arg(entries.size() + 1).arg(why);
            entries.clear();
            return false;
        }
        entries.push_back(std::move(entry));
    }
    if (!children.finished()) {
        *error = reader.hasError() ? reader.errorString() : QStringLiteral("element \"shapes\" is cut short");
        entries.clear();
        return false;
    }
    return true;
}

void ShapeXml::apply(Grid &grid, std::vector<Entry> &entries)
{
    ShapeSet &shapes = *grid.shapes();
    shapes.clear();
    for (Entry &entry : entries) {
        const int index = shapes.add(std::move(entry.shape));
        shapes.place(grid, index);
        shapes.setLoad(index, entry.force, entry.torque);
    }
    entries.clear();
}
