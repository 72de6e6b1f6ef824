#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

class Grid;
class LBWidget;
class QAction;
class QMainWindow;

// Answers the next file dialog that opens: picks path, or cancels when the
// path is empty. Returns at once; the answer is given from the event loop.
void answerFileDialog(const QString &path);
// The window's action of that object name (fails the test when absent).
QAction *findAction(QMainWindow &window, const char *name);
// A channel of nx x ny: walls along the bottom and top rows, an inlet column
// at x = 0 and an outlet column at x = nx - 1 between them, and a square wall
// obstacle of side ny / 5 a quarter of the way along.
void buildChannel(Grid &grid, int nx, int ny);
// The pixel of the frame at the centre of lattice cell (x, y) of a 2D grid,
// with the camera at rest.
QPoint pixelOfCell(LBWidget &view, int x, int y);
// True when the colour is within tolerance of (r, g, b) in every channel.
bool near(const QColor &c, int r, int g, int b, int tolerance = 8);
