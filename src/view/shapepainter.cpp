#include "shapepainter.h"

#include "renderer.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"

#include <QtOpenGL>

#include <cmath>

std::vector<Vector3d> ShapePainter::section(const Shape &shape, const Vector3d &u, const Vector3d &v, int rays,
                                            double reach)
{
    std::vector<Vector3d> points;
    const Vector3d c = shape.centre();
    for (int k = 0; k < rays; ++k) {
        const double a = 2.0 * M_PI * k / rays;
        const Vector3d far = c + (u * std::cos(a) + v * std::sin(a)) * reach;
        const double t = shape.crossing(c, far);
        if (t >= 0.0)
            points.push_back(c + (far - c) * t);
    }
    return points;
}

std::vector<Vector3d> ShapePainter::meshSection(const std::vector<Vector3d> &corners, double z)
{
    std::vector<Vector3d> segments;
    for (std::size_t t = 0; t + 2 < corners.size(); t += 3) {
        Vector3d cut[3];
        int n = 0;
        for (int e = 0; e < 3 && n < 2; ++e) {
            const Vector3d &a = corners[t + std::size_t(e)], &b = corners[t + std::size_t((e + 1) % 3)];
            // Each edge counts from the side it starts on, so a corner on the
            // plane is taken once.
            if ((a.z < z) != (b.z < z)) {
                const double f = (z - a.z) / (b.z - a.z);
                cut[n++] = a + (b - a) * f;
            }
        }
        if (n == 2) {
            segments.push_back(cut[0]);
            segments.push_back(cut[1]);
        }
    }
    return segments;
}

void ShapePainter::draw(const Renderer &renderer)
{
    const Grid *grid = renderer.getGrid();
    const ShapeSet &shapes = *grid->shapes();
    if (shapes.count() == 0)
        return;
    const double s = renderer.getCellSize();
    const Vector3d o = renderer.getOrigin();
    const auto vertex = [&](const Vector3d &p) {
        glVertex3d(o.x + (p.x + 0.5) * s, o.y + (p.y + 0.5) * s, o.z + (p.z + 0.5) * s);
    };
    const bool flat = grid->getLength() == 1;
    const double reach = 2.0 * (grid->getWidth() + grid->getHeight() + grid->getLength());
    const int rays = 360;
    const Vector3d ex(1, 0, 0), ey(0, 1, 0), ez(0, 0, 1);
    glColor3f(0.1f, 0.1f, 0.1f);
    glLineWidth(GLfloat(renderer.getScale2()));
    for (int k = 0; k < shapes.count(); ++k) {
        const Shape &shape = *shapes.shape(k);
        if (const auto *mesh = dynamic_cast<const MeshShape *>(&shape)) {
            const std::vector<Vector3d> &corners = mesh->placedCorners();
            glBegin(GL_LINES);
            if (flat) {
                for (const Vector3d &p : meshSection(corners, 0.0))
                    vertex(p);
            } else {
                for (std::size_t t = 0; t + 2 < corners.size(); t += 3)
                    for (int e = 0; e < 3; ++e) {
                        vertex(corners[t + std::size_t(e)]);
                        vertex(corners[t + std::size_t((e + 1) % 3)]);
                    }
            }
            glEnd();
            continue;
        }
        // A shape centred off the plane shown has no section through its
        // centre there.
        if (flat && shape.centre().z != 0.0)
            continue;
        const Vector3d planes[3][2] = {{ex, ey}, {ex, ez}, {ey, ez}};
        for (int p = 0; p < (flat ? 1 : 3); ++p) {
            const std::vector<Vector3d> outline = section(shape, planes[p][0], planes[p][1], rays, reach);
            glBegin(GL_LINE_LOOP);
            for (const Vector3d &q : outline)
                vertex(q);
            glEnd();
        }
    }
    glLineWidth(1.0f);
}
