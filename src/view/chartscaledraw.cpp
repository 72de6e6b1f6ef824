#include "chartscaledraw.h"

#include <qwt_scale_div.h>
#include <qwt_text.h>

#include <algorithm>
#include <cmath>

int ChartScaleDraw::digitsFor(double magnitude, double step)
{
    if (!(magnitude > 0.0) || !(step > 0.0) || !std::isfinite(magnitude) || !std::isfinite(step))
        return 6;
    // The decimal places from the magnitude's leading digit down to the
    // step's, and one more for steps such as 2.5.
    const int span = int(std::floor(std::log10(magnitude))) - int(std::floor(std::log10(step))) + 2;
    return std::clamp(span, 6, 15);
}

QwtText ChartScaleDraw::label(double value) const
{
    const QList<double> ticks = scaleDiv().ticks(QwtScaleDiv::MajorTick);
    double step = 0.0;
    for (int i = 1; i < ticks.size(); ++i) {
        const double d = std::abs(ticks[i] - ticks[i - 1]);
        if (d > 0.0 && (step == 0.0 || d < step))
            step = d;
    }
    const double magnitude = std::max(std::abs(scaleDiv().lowerBound()), std::abs(scaleDiv().upperBound()));
    // A tick at 0 of a range around it is 0, not a rounding residue.
    if (step > 0.0 && std::abs(value) < step * 1e-9)
        value = 0.0;
    return QwtText(QString::number(value, 'g', digitsFor(magnitude, step)));
}
