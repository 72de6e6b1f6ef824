#pragma once

#include <QString>

class Grid;

// Geometry files: colour-coded PNG layers and text geometry in, geometry
// images out, and the ".lb" <-> ".lb2" byte conversions. Every loader reads
// and checks the whole file before it touches the grid: on failure it returns
// false with a message in *error and the grid stays exactly as it was.
class GeometryFiles
{
public:
    // The largest domain a geometry file may describe, in sites.
    static constexpr long long MaxSites = 1LL << 26;

    // mode "" for the ordinary colour table, "korner" for the free-surface one.
    static bool loadImageGeometry(Grid &grid, const QString &path, const QString &mode, QString *error = nullptr);
    // ".txt" and ".lb" text geometry.
    static bool loadTextGeometry(Grid &grid, const QString &path, QString *error = nullptr);
    // Dispatches on the extension: ".png" to the image loader (mode "korner"
    // when korner is set), ".txt" and ".lb" to the text loader.
    static bool load(Grid &grid, const QString &path, bool korner = false, QString *error = nullptr);
    // One PNG per z layer at the given scale (1 or 2).
    static bool saveGeometryImage(const Grid &grid, const QString &path, int scale, QString *error = nullptr);
    // The file name of layer k (k >= 1) of a layered geometry: "_" and k + 1
    // inserted before the last four characters.
    static QString layerFileName(const QString &path, int layer);

    // Compresses path into the same path with ".lb" replaced by ".lb2"; and back.
    // The result is written to a temporary file and only then replaces the
    // target, so a failure never leaves a half-written file.
    static bool convertLbToLb2(const QString &path, QString *error = nullptr);
    static bool convertLb2ToLb(const QString &path, QString *error = nullptr);
    // The files the conversions write: the final ".lb" becomes ".lb2" and the
    // final ".lb2" becomes ".lb" (other names get the extension appended).
    static QString lb2PathFor(const QString &lbPath);
    static QString lbPathFor(const QString &lb2Path);
};
