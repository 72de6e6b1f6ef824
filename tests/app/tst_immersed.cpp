#include "app/immersed.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/immersed/immerseditem.h"
#include "model/latticeboltzmann/immersed/immersedset.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "view/immersedpainter.h"
#include "view/lbwidget.h"
#include "view/renderer.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QtOpenGL>
#include <QtTest>

#include <memory>

namespace {

// A bare frame that shows only the immersed items, on white, over the model
// square that the renderer gives a square grid.
class ItemFrame : public QGLWidget
{
public:
    explicit ItemFrame(const Renderer &r) : renderer(r) {}

protected:
    void paintGL() override
    {
        glViewport(0, 0, width(), height());
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        const Vector3d o = renderer.getOrigin();
        const double side = renderer.getCellSize() * renderer.getGrid()->getWidth();
        glOrtho(o.x, o.x + side, o.y, o.y + side, -2, 2);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        ImmersedPainter::draw(renderer);
    }

private:
    const Renderer &renderer;
};

void setValue(QTableWidget *table, const QString &key, const QString &value)
{
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0)->text() == key) {
            table->item(row, 1)->setText(value);
            return;
        }
    QFAIL(qPrintable("no parameter " + key));
}

} // namespace

class TestImmersed : public QObject
{
    Q_OBJECT

private slots:
    void dialogAddsDrawsAndRemoves();
};

// A circle added through the dialog joins the grid's set and is drawn as a
// grey outline; a refused one leaves a message; removing empties the set.
void TestImmersed::dialogAddsDrawsAndRemoves()
{
    LBWidget view;
    Grid &grid = *view.getGrid();
    grid.getParameters()->setModel(9);
    grid.resize(40, 40, 1);
    view.rebuildGeometry(false);
    Immersed dialog(&grid);
    auto *type = dialog.findChild<QComboBox *>("immersedType");
    auto *table = dialog.findChild<QTableWidget *>("immersedParameters");
    auto *add = dialog.findChild<QPushButton *>("immersedAdd");
    auto *remove = dialog.findChild<QPushButton *>("immersedRemove");
    auto *list = dialog.findChild<QListWidget *>("immersedList");
    QVERIFY(type && table && add && remove && list);

    type->setCurrentText("Line");
    QCOMPARE(table->rowCount(), 7);
    type->setCurrentText("Circle");
    setValue(table, "x", "20");
    setValue(table, "y", "20");
    setValue(table, "radius", "12");
    setValue(table, "points", "0");
    QTest::mouseClick(add, Qt::LeftButton);
    QVERIFY(grid.getImmersed()->isEmpty());
    QVERIFY(dialog.lastMessage().contains("not added"));
    setValue(table, "points", "90");
    QSignalSpy changed(&dialog, &Immersed::itemsChanged);
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(grid.getImmersed()->getItems().size(), std::size_t(1));
    const ImmersedItem &item = *grid.getImmersed()->getItems()[0];
    QCOMPARE(item.typeName(), QString("Circle"));
    QCOMPARE(int(item.getPoints().size()), 90);
    QVERIFY(std::abs(item.getCentreOfMass().x - 20.0) < 1e-6);
    QCOMPARE(list->count(), 1);

    ItemFrame frame(*view.getRenderer());
    frame.resize(200, 200);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.updateGL();
    const QImage image = frame.grabFrameBuffer();
    image.save("immersed_frame.png");
    // Lattice (x, y) is drawn at pixel (5 (x + 0.5), 200 - 5 (y + 0.5)).
    auto greyNear = [&](double x, double y) {
        const int px = int(5 * (x + 0.5)), py = int(200 - 5 * (y + 0.5));
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const QColor c = image.pixelColor(px + dx, py + dy);
                if (std::abs(c.red() - 128) < 10 && std::abs(c.green() - 128) < 10 && std::abs(c.blue() - 128) < 10)
                    return true;
            }
        return false;
    };
    QVERIFY(greyNear(32, 20));
    QVERIFY(greyNear(20, 32));
    QVERIFY(greyNear(8, 20));
    QVERIFY(!greyNear(20, 20));
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::white));

    list->setCurrentRow(0);
    QTest::mouseClick(remove, Qt::LeftButton);
    QVERIFY(grid.getImmersed()->isEmpty());
    QCOMPARE(list->count(), 0);
}

QTEST_MAIN(TestImmersed)
#include "tst_immersed.moc"
