#pragma once

#include "model/latticeboltzmann/vector3d.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

class Grid;

using StreamLine = QVector<Vector3d>;

// Produces streamlines of the grid's flow, in lattice units. Its settings
// are named text properties that the painter configuration edits.
class StreamLineGenerator : public QObject
{
    Q_OBJECT

public:
    explicit StreamLineGenerator(Grid &grid) : grid(grid) {}

    const QMap<QString, QString> &properties() const { return props; }
    QString property(const QString &name) const { return props.value(name); }

public slots:
    virtual QVector<StreamLine> generate() = 0;
    // Stores the text of a property and lets the generator react to it.
    virtual void changeProperty(const QString &name, const QString &value) { props[name] = value; }

protected:
    Grid &grid;
    QMap<QString, QString> props;
};
