#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class Grid;

// The grid as the text of a state document whose "results" element holds
// the given attributes, e.g. {{"maxIterations", "20"}, {"simulation", "1"}}:
// the settings the runner takes its tables and limits from.
QByteArray resultsDocument(Grid &grid, const QList<QPair<QString, QString>> &results);
