#pragma once

#include <qwt_scale_draw.h>

// The tick labels of a chart axis, with as many significant digits as the
// spacing of the ticks needs: on a range much narrower than its values
// (a converged run's -log10(deltaP) varying in the ninth digit) six digits
// would give every tick the same label.
class ChartScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
    // The significant digits that tell ticks spaced step apart near
    // magnitude from one another, at least 6 and at most 15.
    static int digitsFor(double magnitude, double step);
};
