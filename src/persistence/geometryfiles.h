#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    // The largest file the readers take whole; a larger one is refused, never
    // read in part.
    static constexpr qint64 MaxFileBytes = qint64(1) << 30;

    // Reads a whole regular file (no pipe, device or directory) of at most
    // MaxFileBytes and checks that every byte arrived.
    static bool readFile(const QString &path, QByteArray &data, QString *error = nullptr);
    // Unpacks the bytes of a ".lb2" file: a 4-byte big-endian length, then a
    // zlib stream. A length that the stream cannot hold, a stream that does
    // not inflate to exactly that length, or more than MaxFileBytes is
    // refused as damage; name is the file named in the message.
    static bool unpackLb2(const QByteArray &packed, QByteArray &plain, const QString &name, QString *error = nullptr);

    // Bytes a domain of the given sites needs while it is built for a model
    // with q directions (cells, their populations, the neighbour table and
    // the code map).
    static double estimatedBytes(long long sites, int q);
    // Memory the machine can still give: MemAvailable where the system
    // reports it, else the physical memory; -1 when unknown.
    static double availableBytes();

    // A geometry file read and checked without a grid built from it: the
    // code of every site in site order (y slowest, then x, then z), the
    // domain's size and the model a grid takes when it loads the file.
    struct Sites
    {
        QStringList codes;
        int width = 0, height = 0, length = 0;
        int model = 9;
    };
    // What load reads (the same files, checks and messages), except that
    // the machine's memory is not asked for the cells: whoever builds them
    // may build only some rows. grid gives the present model.
    static bool readSites(const Grid &grid, const QString &path, bool korner, Sites &sites, QString *error = nullptr);

    // mode "" for the ordinary colour table, "korner" for the free-surface one.
    static bool loadImageGeometry(Grid &grid, const QString &path, const QString &mode, QString *error = nullptr);
    // ".txt" and ".lb" text geometry.
    static bool loadTextGeometry(Grid &grid, const QString &path, QString *error = nullptr);
    // The one dispatcher the window uses. By extension, in any letter case:
    // ".png" to the image loader (mode "korner" when korner is set), ".txt"
    // and ".lb" to the text loader; anything else is refused.
    static bool load(Grid &grid, const QString &path, bool korner = false, QString *error = nullptr);
    // One PNG per z layer at the given scale (1 to 16); the layers replace
    // the old files only once all are written. The unbroken run of layer
    // files of the same name right after the new last layer (left from a
    // longer geometry) is removed, so the saved geometry loads back with the
    // length it has; no other file is touched.
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
