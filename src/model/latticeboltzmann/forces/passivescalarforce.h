#pragma once

#include "force.h"

// A force proportional to the first coloured scalar, confined to a rectangle
// of x and y (z is not tested): F = (strengthX, strengthY, 0) b s, with b the
// colour 0 value of the site's wrapper (0 for a plain cell) and s =
// sin(2 pi (N mod period) / period) at iteration N, or 1 when period is 0.
class PassiveScalarForce : public Force
{
public:
    PassiveScalarForce() = default;
    PassiveScalarForce(double strengthX, double strengthY, int minx, int maxx, int miny, int maxy, int period)
        : strengthX(strengthX), strengthY(strengthY), minx(minx), maxx(maxx), miny(miny), maxy(maxy), period(period)
    {}

    Vector3d force(BaseCell *cell, BaseCell **neighbours, int component, int x, int y, int z, Grid *grid) override;
    bool isActive(const SimulationParameters &) override { return true; }
    void passivate(QXmlStreamWriter &writer) override;
    // A value that does not parse leaves that field as it was.
    void activate(QXmlStreamReader &reader, Grid *grid) override;

    // The modulation factor at iteration n.
    double factor(int n) const;

    double strengthX = 0.0;
    double strengthY = 0.0;
    int minx = 0;
    int maxx = 0;
    int miny = 0;
    int maxy = 0;
    int period = 0;
};
