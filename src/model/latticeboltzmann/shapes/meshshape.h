#pragma once

#include "shape.h"
#include "trianglemesh.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

// A body bounded by a closed triangulated surface (read from STL). The
// triangles are given in the file's coordinates; the placement scales them,
// turns them by the rotation and moves the file's origin to the centre.
class MeshShape : public Shape
{
public:
    explicit MeshShape(std::vector<Vector3d> corners, const QString &fileName = QString());
    // Reads a closed surface from an STL file (binary or ASCII); null and a
    // message in error when the file cannot be read or the surface is empty
    // or not closed.
    static std::unique_ptr<MeshShape> fromFile(const QString &path, QString *error);

    QString kind() const override { return QStringLiteral("mesh"); }
    QString fileName() const { return file; }
    std::size_t triangleCount() const { return source.size() / 3; }
    // The number of edges bordering an odd number of triangles (0 when closed).
    std::size_t openEdges() const;
    // The triangles' corners as placed, in lattice coordinates (for drawing).
    const std::vector<Vector3d> &placedCorners() const { return placed().corners(); }

    double crossing(const Vector3d &a, const Vector3d &b) const override;
    void solidColumn(int x, int y, int z0, int z1, std::uint8_t *solid) const override;

protected:
    bool insideBody(const Vector3d &point) const override { return placed().isInside(point); }
    bool bodyBounds(Vector3d &low, Vector3d &high) const override;

private:
    // The surface in lattice coordinates for the current placement, rebuilt
    // when the centre, scale or rotation changed since the last use.
    const TriangleMesh &placed() const;

    std::vector<Vector3d> source;
    QString file;
    mutable TriangleMesh world;
    mutable QMutex placing;
    mutable std::atomic<bool> worldValid{false};
    mutable Vector3d placedCentre;
    mutable double placedScale = 0.0;
    mutable Rotation placedRotation;
};
