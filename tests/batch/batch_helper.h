#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class Grid;

// A 20 x 10 channel: walls along the bottom and top, an inlet and an outlet
// column.
void buildChannel(Grid &grid);
// The channel as the text of a state document whose "results" element holds
// the given attributes, e.g. {{"maxIterations", "20"}, {"simulation", "1"}}.
QByteArray channelDocument(const QList<QPair<QString, QString>> &results);
// channelDocument with an iteration limit and both tables every 10 iterations.
QByteArray limitedDocument(int maxIterations);
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// The iteration count of a state document, -1 when it cannot be loaded.
int documentIterations(const QString &path);
// The number of lines of a text file.
int lineCount(const QString &path);
