#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <vector>

// The points and line segments of a painter's drawing pass, formed in
// parallel chunks of draw items and drawn from vertex arrays: a few GL calls
// per chunk instead of a few per item. Each vertex takes the colour set last
// before it, as in immediate mode; vertices before the first colour of their
// chunk take the one the chunks before it ended with (GL's current colour
// before the first). The arrays are kept from one pass to the next.
class LineBatch
{
public:
    class Chunk
    {
    public:
        void colour(float red, float green, float blue);
        void point(const Vector3d &p);
        void line(const Vector3d &a, const Vector3d &b);
        // Widens the chunk's minimum and maximum.
        void track(double v);
        // Widens the chunk's largest length.
        void reach(double length) { peak = peak < length ? length : peak; }

    private:
        friend class LineBatch;
        void clear();
        void vertex(std::vector<double> &vertices, std::vector<float> &colours, const Vector3d &p);

        int begin = 0, end = 0;
        std::vector<double> points, lines;
        std::vector<float> pointColours, lineColours;
        // The running colour; red < 0 while the chunk has set none.
        float current[3] = {-1.0f, 0.0f, 0.0f};
        double minimum = 1e100, maximum = -1e100;
        double peak = 0.0;
    };

    // Runs fill(chunk, first, end) over the items [0, count) in chunks on
    // the thread pool; each chunk starts empty.
    template <typename Fill> void collect(int count, Fill fill);
    // The smallest and largest value the chunks tracked; false when none did.
    bool extremes(double &minimum, double &maximum) const;
    // The largest length the chunks reached, 0 when none did.
    double peak() const;
    // The colour the last chunk that set one ended with; false when none did.
    bool lastColour(float rgb[3]) const;
    // Draws the chunks in order, each its points and then its lines, and
    // leaves GL's current colour as the last one set.
    void draw(float lineWidth, float pointSize);

private:
    void split(int count);
    void run(void (*work)(void *, Chunk &), void *context);

    std::vector<Chunk> chunks;
    int used = 0;
};

template <typename Fill> void LineBatch::collect(int count, Fill fill)
{
    split(count);
    run(
        [](void *context, Chunk &chunk) { (*static_cast<Fill *>(context))(chunk, chunk.begin, chunk.end); },
        &fill);
}
