#pragma once

#include <QColor>

#include <vector>

// The mapping of painted numbers to colours: a value is normalised with the
// colour range (centre and half-width), optionally snapped to a number of
// steps, and read from one of three piecewise-linear ramps. Values on or
// beyond the range edges come out pure white, which the painters take as "do
// not draw".
class ColorMap
{
public:
    enum Style { Wavelength = 0, BlueToRed = 1, BlueGreenRed = 2 };

    double centre = 0.15;
    double halfWidth = 0.15;
    int style = 0;
    int steps = 0;

    // The colour of v. An unknown style gives an invalid colour (drawn black)
    // whatever the value.
    QColor color(double v) const;
    // The colour of the ramp at normalised position f of a known style,
    // without the white of the range edges; color(v) is colorAt(fraction(v))
    // inside the range.
    QColor colorAt(double f) const;
    // The positions in (0, 1) where the ramp of the style switches from one
    // linear piece to the next.
    std::vector<double> pieceEdges() const;
    // t snapped to the middle of its step when steps > 0; a t on a step
    // boundary is left as it is.
    double quantise(double t) const;
    // The normalised position of v in the range; not in (0, 1) means outside.
    double fraction(double v) const { return (v - (centre - halfWidth)) / (2 * halfWidth); }
    // True when the colour's 8-bit channels are all 255.
    static bool isWhite(const QColor &c);
    // The display names of the styles, in index order.
    static QStringList styleNames();
};
