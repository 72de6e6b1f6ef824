#include "meshshape.h"

#include "stlreader.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>

MeshShape::MeshShape(std::vector<Vector3d> corners, const QString &fileName)
    : source(std::move(corners)), file(fileName)
{
    source.resize(source.size() / 3 * 3);
}

std::unique_ptr<MeshShape> MeshShape::fromFile(const QString &path, QString *error)
{
    std::vector<Vector3d> corners;
    QString message;
    if (!StlReader::read(path, corners, message)) {
        if (error)
            *error = message;
        return nullptr;
    }
    auto shape = std::make_unique<MeshShape>(std::move(corners), path);
    // Inside and outside are told apart by counting crossings, which only
    // means something for a closed surface.
    if (const std::size_t open = shape->openEdges()) {
        if (error)
            *error = QStringLiteral("The surface in %1 is not closed: %2 edges border a single triangle.")
                         .arg(QFileInfo(path).fileName())
                         .arg(open);
        return nullptr;
    }
    return shape;
}

std::size_t MeshShape::openEdges() const
{
    return placed().openEdges();
}

const TriangleMesh &MeshShape::placed() const
{
    auto current = [this] {
        const Rotation &r = rotation();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                if (r.at(i, j) != placedRotation.at(i, j))
                    return false;
        return placedCentre == centre() && placedScale == scale();
    };
    if (worldValid.load(std::memory_order_acquire) && current())
        return world;
    QMutexLocker lock(&placing);
    if (worldValid.load(std::memory_order_relaxed) && current())
        return world;
    std::vector<Vector3d> corners(source.size());
    for (std::size_t k = 0; k < source.size(); ++k)
        corners[k] = fromBody(source[k]);
    world.setTriangles(std::move(corners));
    placedCentre = centre();
    placedScale = scale();
    placedRotation = rotation();
    worldValid.store(true, std::memory_order_release);
    return world;
}

double MeshShape::crossing(const Vector3d &a, const Vector3d &b) const
{
    return placed().segmentCrossing(a, b);
}

void MeshShape::solidColumn(int x, int y, int z0, int z1, std::uint8_t *solid) const
{
    // One vertical line per column: the sites between the first and second
    // crossing, the third and fourth and so on are inside.
    thread_local std::vector<double> heights;
    heights.clear();
    placed().columnCrossings(x, y, heights);
    std::sort(heights.begin(), heights.end());
    std::size_t above = 0;
    for (int z = z0; z < z1; ++z) {
        while (above < heights.size() && heights[above] < z)
            ++above;
        const bool inside = (heights.size() - above) % 2 == 1;
        solid[z - z0] = inside != isInverted() ? 1 : 0;
    }
}

bool MeshShape::bodyBounds(Vector3d &low, Vector3d &high) const
{
    const TriangleMesh &m = placed();
    if (m.isEmpty())
        return false;
    low = m.low();
    high = m.high();
    return true;
}
