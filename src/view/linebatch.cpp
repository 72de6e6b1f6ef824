#include "linebatch.h"

#include <QtConcurrent>
#include <QtOpenGL>

#include <algorithm>

namespace {

// Items per chunk: enough to keep a chunk's arrays worth a call, few enough
// to share the work between the threads.
const int chunkItems = 2048;

} // namespace

void LineBatch::Chunk::clear()
{
    points.clear();
    lines.clear();
    pointColours.clear();
    lineColours.clear();
    current[0] = -1.0f;
    minimum = 1e100;
    maximum = -1e100;
    peak = 0.0;
}

void LineBatch::Chunk::colour(float red, float green, float blue)
{
    current[0] = red;
    current[1] = green;
    current[2] = blue;
}

void LineBatch::Chunk::vertex(std::vector<double> &vertices, std::vector<float> &colours, const Vector3d &p)
{
    vertices.insert(vertices.end(), {p.x, p.y, p.z});
    colours.insert(colours.end(), {current[0], current[1], current[2]});
}

void LineBatch::Chunk::point(const Vector3d &p)
{
    vertex(points, pointColours, p);
}

void LineBatch::Chunk::line(const Vector3d &a, const Vector3d &b)
{
    vertex(lines, lineColours, a);
    vertex(lines, lineColours, b);
}

void LineBatch::Chunk::track(double v)
{
    minimum = std::min(minimum, v);
    maximum = std::max(maximum, v);
}

void LineBatch::split(int count)
{
    used = (count + chunkItems - 1) / chunkItems;
    if (int(chunks.size()) < used)
        chunks.resize(std::size_t(used));
    for (int c = 0; c < used; ++c) {
        Chunk &chunk = chunks[std::size_t(c)];
        chunk.clear();
        chunk.begin = c * chunkItems;
        chunk.end = std::min(count, chunk.begin + chunkItems);
    }
}

void LineBatch::run(void (*work)(void *, Chunk &), void *context)
{
    if (used == 1) {
        work(context, chunks[0]);
        return;
    }
    QtConcurrent::blockingMap(chunks.begin(), chunks.begin() + used,
                              [work, context](Chunk &chunk) { work(context, chunk); });
}

bool LineBatch::extremes(double &minimum, double &maximum) const
{
    bool any = false;
    for (int c = 0; c < used; ++c) {
        const Chunk &chunk = chunks[std::size_t(c)];
        if (chunk.minimum > chunk.maximum)
            continue;
        any = true;
        minimum = std::min(minimum, chunk.minimum);
        maximum = std::max(maximum, chunk.maximum);
    }
    return any;
}

bool LineBatch::lastColour(float rgb[3]) const
{
    for (int c = used - 1; c >= 0; --c) {
        const Chunk &chunk = chunks[std::size_t(c)];
        if (chunk.current[0] >= 0.0f) {
            std::copy(chunk.current, chunk.current + 3, rgb);
            return true;
        }
    }
    return false;
}

double LineBatch::peak() const
{
    double largest = 0.0;
    for (int c = 0; c < used; ++c)
        largest = std::max(largest, chunks[std::size_t(c)].peak);
    return largest;
}

void LineBatch::draw(float lineWidth, float pointSize)
{
    glLineWidth(lineWidth);
    glPointSize(pointSize);
    GLfloat current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int c = 0; c < used; ++c) {
        Chunk &chunk = chunks[std::size_t(c)];
        // The vertices before the chunk's first colour take the colour the
        // chunks before it ended with.
        for (std::vector<float> *colours : {&chunk.pointColours, &chunk.lineColours})
            for (std::size_t v = 0; v < colours->size() && (*colours)[v] < 0.0f; v += 3)
                std::copy(current, current + 3, colours->begin() + std::ptrdiff_t(v));
        if (chunk.current[0] >= 0.0f)
            std::copy(chunk.current, chunk.current + 3, current);
        if (!chunk.points.empty()) {
            glVertexPointer(3, GL_DOUBLE, 0, chunk.points.data());
            glColorPointer(3, GL_FLOAT, 0, chunk.pointColours.data());
            glDrawArrays(GL_POINTS, 0, GLsizei(chunk.points.size() / 3));
        }
        if (!chunk.lines.empty()) {
            glVertexPointer(3, GL_DOUBLE, 0, chunk.lines.data());
            glColorPointer(3, GL_FLOAT, 0, chunk.lineColours.data());
            glDrawArrays(GL_LINES, 0, GLsizei(chunk.lines.size() / 3));
        }
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    // Drawing from a colour array leaves GL's current colour undefined.
    glColor3f(current[0], current[1], current[2]);
}
