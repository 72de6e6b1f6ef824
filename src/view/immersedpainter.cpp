#include "immersedpainter.h"

#include "renderer.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/immersed/immerseditem.h"
#include "model/latticeboltzmann/immersed/immersedset.h"

#include <QtOpenGL>

void ImmersedPainter::draw(const Renderer &renderer)
{
    const ImmersedSet *set = renderer.getGrid()->getImmersed();
    if (!set || set->isEmpty())
        return;
    const double s = renderer.getCellSize();
    const Vector3d o = renderer.getOrigin();
    const double side = renderer.getArrowSteps() * s;
    glColor3f(0.5f, 0.5f, 0.5f);
    glLineWidth(GLfloat(renderer.getScale2()));
    for (const auto &item : set->getItems()) {
        const std::vector<Vector3d> &points = item->getPoints();
        if (item->isCellular()) {
            glBegin(GL_QUADS);
            for (const Vector3d &p : points) {
                const double x = o.x + p.x * s, y = o.y + p.y * s, z = o.z + (p.z + 0.5) * s;
                glVertex3d(x, y, z);
                glVertex3d(x + side, y, z);
                glVertex3d(x + side, y + side, z);
                glVertex3d(x, y + side, z);
            }
            glEnd();
            continue;
        }
        glBegin(item->isClosed() ? GL_LINE_LOOP : GL_LINE_STRIP);
        for (const Vector3d &p : points)
            glVertex3d(o.x + (p.x + 0.5) * s, o.y + (p.y + 0.5) * s, o.z + (p.z + 0.5) * s);
        glEnd();
    }
    glLineWidth(1.0f);
}
