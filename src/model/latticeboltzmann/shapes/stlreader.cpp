#include "stlreader.h"

#include <QFile>
#include <QFileInfo>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cmath>

bool StlReader::read(const QString &path, std::vector<Vector3d> &corners, QString &error)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Cannot open %1: %2").arg(name, file.errorString());
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();
    if (data.isEmpty()) {
        error = QStringLiteral("%1 is empty.").arg(name);
        return false;
    }
    // A binary file is 84 bytes and 50 per triangle, the count at byte 80;
    // an ASCII one begins with "solid". Anything else is refused here, which
    // also spares Assimp a failed import (it leaks what it had built).
    bool binary = false;
    if (data.size() >= 84) {
        quint32 count = 0;
        for (int k = 3; k >= 0; --k)
            count = count << 8 | quint8(data[80 + k]);
        binary = qint64(data.size()) == 84 + 50 * qint64(count);
    }
    if (!binary && !data.trimmed().startsWith("solid")) {
        error = QStringLiteral("%1 is not a readable STL file: neither binary (84 bytes and 50 per triangle) nor "
                               "ASCII (beginning with \"solid\").")
                    .arg(name);
        return false;
    }
    // Read from memory with the STL importer named, so a file of another
    // kind is refused rather than read as whatever it resembles.
    Assimp::Importer importer;
    const aiScene *scene = importer.ReadFileFromMemory(data.constData(), std::size_t(data.size()), 0, "stl");
    if (!scene) {
        error = QStringLiteral("%1 is not a readable STL file: %2").arg(name, QString::fromUtf8(importer.GetErrorString()));
        return false;
    }
    const std::size_t before = corners.size();
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh *mesh = scene->mMeshes[m];
        if (!mesh || !mesh->mVertices)
            continue;
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace &face = mesh->mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            Vector3d c[3];
            bool finite = true;
            for (int k = 0; k < 3; ++k) {
                const unsigned index = face.mIndices[k];
                if (index >= mesh->mNumVertices) {
                    finite = false;
                    break;
                }
                const aiVector3D &p = mesh->mVertices[index];
                c[k] = Vector3d(p.x, p.y, p.z);
                finite = finite && std::isfinite(c[k].x) && std::isfinite(c[k].y) && std::isfinite(c[k].z);
            }
            if (!finite) {
                corners.resize(before);
                error = QStringLiteral("%1 holds a triangle with a corner that is not a finite number.").arg(name);
                return false;
            }
            corners.insert(corners.end(), c, c + 3);
        }
    }
    if (corners.size() == before) {
        error = QStringLiteral("%1 holds no triangle.").arg(name);
        return false;
    }
    return true;
}
