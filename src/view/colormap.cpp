#include "colormap.h"

#include <QStringList>

QStringList ColorMap::styleNames()
{
    return {QStringLiteral("Wavelength (visible spectrum)"), QStringLiteral("blue -> cyan -> green -> yellow -> red"),
            QStringLiteral("blue -> green -> yellow -> orange -> red")};
}

double ColorMap::quantise(double t) const
{
    if (steps <= 0)
        return t;
    for (int i = 0; i < steps; ++i) {
        const double low = double(i) / steps, high = double(i + 1) / steps;
        if (low < t && t < high)
            return (i + 0.5) / steps;
    }
    return t;
}

bool ColorMap::isWhite(const QColor &c)
{
    return c.isValid() && c.red() == 255 && c.green() == 255 && c.blue() == 255;
}

QColor ColorMap::color(double v) const
{
    if (style < Wavelength || style > BlueGreenRed)
        return QColor();
    const double f = fraction(v);
    // Written so that NaN (an empty range) also counts as outside.
    if (!(f > 0.0 && f < 1.0))
        return QColor(255, 255, 255);
    return colorAt(f);
}

std::vector<double> ColorMap::pieceEdges() const
{
    if (style == Wavelength)
        return {0.18, 0.4, 0.48, 0.76};
    return {0.25, 0.5, 0.75};
}

QColor ColorMap::colorAt(double f) const
{
    double r = 0, g = 0, b = 0;
    switch (style) {
    case Wavelength:
        if (f < 0.18) {
            r = 1 - quantise(f / 0.18);
            b = 1;
        } else if (f < 0.4) {
            g = quantise((f - 0.18) / 0.22);
            b = 1;
        } else if (f < 0.48) {
            g = 1;
            b = 1 - quantise((f - 0.4) / 0.08);
        } else if (f < 0.76) {
            r = quantise((f - 0.48) / 0.28);
            g = 1;
        } else {
            r = 1;
            g = 1 - quantise((f - 0.76) / 0.24);
        }
        break;
    case BlueToRed:
        if (f < 0.25) {
            g = quantise(4 * f);
            b = 1;
        } else if (f < 0.5) {
            g = 1;
            b = 1 - quantise(4 * (f - 0.25));
        } else if (f < 0.75) {
            r = quantise(4 * (f - 0.5));
            g = 1;
        } else {
            r = 1;
            g = 1 - quantise(4 * (f - 0.75));
        }
        break;
    default:
        if (f < 0.25) {
            g = quantise(4 * f);
            b = 1 - 4 * f;
        } else if (f < 0.5) {
            r = quantise(4 * (f - 0.25));
            g = 1;
        } else if (f < 0.75) {
            r = 1;
            g = 1 - 0.5 * quantise(4 * (f - 0.5));
        } else {
            r = 1;
            g = 0.5 - 0.5 * quantise(4 * (f - 0.75));
        }
        break;
    }
    return QColor::fromRgbF(r, g, b);
}
