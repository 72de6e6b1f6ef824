#pragma once

#include "../vector3d.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

// An outline of Lagrangian points that floats in the lattice without taking
// cells. Its shape comes from named parameters kept as text (as the dialog
// edits them); the immersed set moves the points with the flow.
class ImmersedItem
{
public:
    // More points than this make an item that the step cannot carry in
    // reasonable time; such items are refused.
    static constexpr int MaxPoints = 100000;

    ImmersedItem();
    virtual ~ImmersedItem() = default;

    // Builds the points from the parameters; false with a message (and the
    // points unchanged) when the parameters give no usable outline.
    virtual bool generatePoints(QString *error) = 0;
    virtual QString typeName() const = 0;

    // An empty item of the type named "Circle", "Line", "Rectangle" or
    // "File"; null for any other name.
    static ImmersedItem *create(const QString &type);
    static QStringList typeNames();

    // A parameter read as a number; a missing key reads as 0 and is added
    // with an empty value, so the dialog shows it.
    double number(const QString &key);
    const QMap<QString, QString> &getParameters() const { return parameters; }
    void setParameter(const QString &key, const QString &value) { parameters[key] = value; }
    void setParameters(const QMap<QString, QString> &p) { parameters = p; }
    // Any non-zero "rigidBody" makes the item move as one body.
    bool isRigid() { return number(QStringLiteral("rigidBody")) != 0.0; }

    const std::vector<Vector3d> &getPoints() const { return points; }
    void setPoints(const std::vector<Vector3d> &p) { points = p; }
    std::vector<Vector3d> &pointsForUpdate() { return points; }
    const Vector3d &getCentreOfMass() const { return centreOfMass; }
    void setCentreOfMass(const Vector3d &c) { centreOfMass = c; }
    // The mean of the points.
    void recomputeCentreOfMass();
    const Vector3d &getFixedPoint() const { return fixedPoint; }
    void setFixedPoint(const Vector3d &p) { fixedPoint = p; }
    // A pivot exists when its x is not negative.
    bool hasPivot() const { return fixedPoint.x >= 0.0; }
    int getId() const { return id; }
    void setId(int i) { id = i; }
    bool isClosed() const { return closed; }
    void setClosed(bool c) { closed = c; }
    bool isCellular() const { return cellular; }
    void setCellular(bool c) { cellular = c; }

protected:
    // Checks a point count parameter: at least one, at most MaxPoints.
    static bool checkCount(double count, QString *error);
    // Accepts the new points when all are finite.
    bool accept(std::vector<Vector3d> &&generated, QString *error);

    std::vector<Vector3d> points;
    QMap<QString, QString> parameters;
    Vector3d centreOfMass;
    Vector3d fixedPoint{-1.0, -1.0, -1.0};
    int id = 0;
    bool closed = true;
    bool cellular = false;
};
