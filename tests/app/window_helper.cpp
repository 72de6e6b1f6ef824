#include "window_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <cstdlib>
#include <memory>

void answerFileDialog(const QString &path)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    auto answered = std::make_shared<QPointer<QFileDialog>>();
    // Answers the dialog, and answers it again while it stays open: an answer
    // given while the dialog is still settling can be lost.
    QObject::connect(timer, &QTimer::timeout, [timer, path, tries, answered]() {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        const bool first = answered->isNull() && *tries >= 0;
        if (!dialog || (!first && dialog != answered->data())) {
            if (!first || ++*tries > 500) {
                if (first)
                    qWarning("no file dialog opened for %s", qPrintable(path));
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        *answered = dialog;
        *tries = -1;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name field, as a user would.
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
            else
                dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    timer->start(20);
}

QAction *findAction(QMainWindow &window, const char *name)
{
    auto *action = window.findChild<QAction *>(QLatin1String(name));
    if (!action)
        qFatal("no action %s", name);
    return action;
}

void buildChannel(Grid &grid, int nx, int ny)
{
    grid.resize(nx, ny, 1);
    grid.fillRegion("w", 0, nx - 1, 0, 0, 0, 0);
    grid.fillRegion("w", 0, nx - 1, ny - 1, ny - 1, 0, 0);
    grid.fillRegion("s", 0, 0, 1, ny - 2, 0, 0);
    grid.fillRegion("o", nx - 1, nx - 1, 1, ny - 2, 0, 0);
    const int side = ny / 5, x0 = nx / 4, y0 = ny / 2 - side / 2;
    grid.fillRegion("w", x0, x0 + side - 1, y0, y0 + side - 1, 0, 0);
    grid.resetAll();
}

QPoint pixelOfCell(LBWidget &view, int x, int y)
{
    Renderer *renderer = view.getRenderer();
    const Vector3d c = renderer->cellCentre(x, y, 0);
    double b[4];
    renderer->getCamera().projectionBounds(b);
    const double w = view.width(), h = view.height();
    return QPoint(int((c.x - b[0]) / (b[1] - b[0]) * w), int((b[3] - c.y) / (b[3] - b[2]) * h));
}

bool near(const QColor &c, int r, int g, int b, int tolerance)
{
    return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
           std::abs(c.blue() - b) <= tolerance;
}
