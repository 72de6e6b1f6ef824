#pragma once

#include <QString>

// How a shape's wall sends back what the fluid streams into it: plain
// bounce-back at the half-way plane (a staircase wall), or the interpolated
// bounce-back of Bouzidi, Firdaouss and Lallemand that puts the wall where the
// surface cuts each link, linear or quadratic in the fluid behind the link.
enum class WallScheme { Staircase = 0, Linear = 1, Quadratic = 2 };

inline QString wallSchemeName(WallScheme scheme)
{
    switch (scheme) {
    case WallScheme::Staircase:
        return QStringLiteral("staircase");
    case WallScheme::Linear:
        return QStringLiteral("linear");
    default:
        return QStringLiteral("quadratic");
    }
}

// The scheme of a name; anything unknown reads as the quadratic scheme.
inline WallScheme wallSchemeFromName(const QString &name)
{
    if (name == QLatin1String("staircase"))
        return WallScheme::Staircase;
    if (name == QLatin1String("linear"))
        return WallScheme::Linear;
    return WallScheme::Quadratic;
}
