#include "icosphere.h"

#include <array>
#include <cmath>
#include <map>
#include <utility>

std::vector<Vector3d> IcoSphere::corners(int subdivisions)
{
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    std::vector<Vector3d> points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                                    {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    for (Vector3d &p : points)
        p = p.normalized();
    std::vector<std::array<int, 3>> faces = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                             {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                             {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                             {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    for (int s = 0; s < subdivisions; ++s) {
        // Each edge's midpoint is made once, so neighbouring faces share it.
        std::map<std::pair<int, int>, int> middle;
        auto midpoint = [&](int a, int b) {
            const std::pair<int, int> key(std::min(a, b), std::max(a, b));
            auto it = middle.find(key);
            if (it != middle.end())
                return it->second;
            points.push_back(((points[std::size_t(a)] + points[std::size_t(b)]) * 0.5).normalized());
            const int index = int(points.size()) - 1;
            middle.emplace(key, index);
            return index;
        };
        std::vector<std::array<int, 3>> finer;
        finer.reserve(faces.size() * 4);
        for (const auto &f : faces) {
            const int ab = midpoint(f[0], f[1]), bc = midpoint(f[1], f[2]), ca = midpoint(f[2], f[0]);
            finer.push_back({f[0], ab, ca});
            finer.push_back({f[1], bc, ab});
            finer.push_back({f[2], ca, bc});
            finer.push_back({ab, bc, ca});
        }
        faces.swap(finer);
    }
    std::vector<Vector3d> corners;
    corners.reserve(faces.size() * 3);
    for (const auto &f : faces)
        for (int k : f)
            corners.push_back(points[std::size_t(k)]);
    return corners;
}
