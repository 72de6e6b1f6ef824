#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/shapewallcell.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/wallcell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "tools/mesher.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void type(Mesher &m, const char *field, const QString &text)
{
    m.findChild<QLineEdit *>(field)->setText(text);
}

void addShape(Mesher &m, const QString &kind)
{
    m.findChild<QComboBox *>("shapeKind")->setCurrentText(kind);
    QTest::mouseClick(m.findChild<QPushButton *>("addShape"), Qt::LeftButton);
}

// 0 fluid, 1 plain wall, 2 shape wall, per site.
QVector<int> kinds(const Grid &g)
{
    QVector<int> k;
    g.forEachCell([&](BaseCell *c, int, int, int) {
        k << (dynamic_cast<ShapeWallCell *>(c) ? 2 : dynamic_cast<WallCell *>(c) ? 1 : 0);
    });
    return k;
}

// A closed cube of side 2 about the origin, as ASCII STL.
QByteArray cube()
{
    const int faces[6][4][3] = {{{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}},
                                {{-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, 1}},
                                {{-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, -1, -1}},
                                {{-1, 1, -1}, {1, 1, -1}, {1, 1, 1}, {-1, 1, 1}},
                                {{-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}},
                                {{1, -1, -1}, {1, -1, 1}, {1, 1, 1}, {1, 1, -1}}};
    QByteArray text = "solid cube\n";
    for (const auto &f : faces) {
        const int order[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto &t : order) {
            text += "facet normal 0 0 0\nouter loop\n";
            for (int c : t)
                text += QStringLiteral("vertex %1 %2 %3\n").arg(f[c][0]).arg(f[c][1]).arg(f[c][2]).toLatin1();
            text += "endloop\nendfacet\n";
        }
    }
    return text + "endsolid cube\n";
}

} // namespace

// The Mesher's Add Shape box driven as a user does: every kind is placed as
// curved walls where it lies, and entries that cannot make a shape are
// refused with a message and leave the grid as it was.
class TestShapeAdder : public QObject
{
    Q_OBJECT

private slots:
    void addsEveryKind()
    {
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(40, 30, 1);
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        type(m, "shapeX", "11");
        type(m, "shapeY", "12");
        type(m, "shapeSize", "4.5");
        addShape(m, "sphere");
        QCOMPARE(changed.count(), 1);
        QVERIFY2(m.message().isEmpty(), qPrintable(m.message()));
        QCOMPARE(g.shapes()->count(), 1);
        // One-based fields: the centre is site (10, 11).
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(10, 11, 0)));
        QVERIFY(dynamic_cast<ShapeWallCell *>(g.getCell(14, 11, 0)));
        QVERIFY(!dynamic_cast<WallCell *>(g.getCell(15, 11, 0)));
        QCOMPARE(g.shapes()->shape(0)->kind(), QString("sphere"));

        type(m, "shapeX", "30");
        type(m, "shapeHalfX", "3");
        type(m, "shapeHalfY", "2");
        type(m, "shapeHalfZ", "2");
        m.findChild<QComboBox *>("shapeScheme")->setCurrentText("linear");
        addShape(m, "box");
        QCOMPARE(g.shapes()->count(), 2);
        QVERIFY(dynamic_cast<BoxShape *>(g.shapes()->shape(1)));
        QCOMPARE(g.shapes()->shape(1)->scheme(), WallScheme::Linear);
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(32, 11, 0)));
        QVERIFY(!dynamic_cast<WallCell *>(g.getCell(33, 11, 0)));

        QTemporaryDir dir;
        const QString stl = dir.filePath("cube.stl");
        QFile f(stl);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(cube());
        f.close();
        type(m, "shapeFile", stl);
        type(m, "shapeX", "21");
        type(m, "shapeY", "25");
        type(m, "shapeSize", "2.5");
        addShape(m, "mesh");
        QVERIFY2(m.message().isEmpty(), qPrintable(m.message()));
        QCOMPARE(g.shapes()->count(), 3);
        QVERIFY(dynamic_cast<MeshShape *>(g.shapes()->shape(2)));
        QVERIFY(dynamic_cast<WallCell *>(g.getCell(22, 26, 0)));
        QVERIFY(!dynamic_cast<WallCell *>(g.getCell(23, 24, 0)));

        // A cylinder along x across the plane is a band.
        type(m, "shapeY", "5");
        type(m, "shapeSize", "1.5");
        type(m, "shapeLength", "0");
        m.findChild<QComboBox *>("shapeAxis")->setCurrentText("x");
        addShape(m, "cylinder");
        QCOMPARE(g.shapes()->count(), 4);
        for (int x = 0; x < 40; ++x)
            QVERIFY(dynamic_cast<WallCell *>(g.getCell(x, 4, 0)));
        QCOMPARE(changed.count(), 4);
        QVERIFY(g.step(2) == 2);
    }

    void refusesWhatCannotBeAShape_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::addRow("zero radius") << "sphere" << "shapeSize" << "0" << "radius must be more than 0";
        QTest::addRow("negative half-size") << "box" << "shapeHalfY" << "-1" << "half-sizes must be more than 0";
        QTest::addRow("not a number") << "sphere" << "shapeX" << "ten" << "\"ten\" is not a number";
        QTest::addRow("outside the grid") << "sphere" << "shapeX" << "200" << "covers no site";
        QTest::addRow("between sites") << "sphere" << "shapeSize" << "0.2" << "covers no site";
        QTest::addRow("no STL file") << "mesh" << "shapeFile" << "" << "Choose the STL file";
        QTest::addRow("unreadable STL") << "mesh" << "shapeFile" << "/nonexistent/ball.stl" << "cannot be used";
        QTest::addRow("negative length") << "cylinder" << "shapeLength" << "-3" << "length must be 0";
    }
    void refusesWhatCannotBeAShape()
    {
        QFETCH(QString, kind);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        Grid g;
        g.getParameters()->setModel(9);
        g.resize(20, 16, 1);
        g.shapes()->place(g, g.shapes()->add(std::make_unique<SphereShape>(3.0)));
        const QVector<int> before = kinds(g);
        Mesher m(g);
        QSignalSpy changed(&m, &Mesher::geometryChanged);
        type(m, "shapeX", "10.5");
        type(m, "shapeY", "8.5");
        type(m, "shapeSize", "3");
        type(m, field.toLatin1().constData(), value);
        addShape(m, kind);
        QVERIFY2(m.message().contains(expected), qPrintable(m.message()));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(g.shapes()->count(), 1);
        QCOMPARE(kinds(g), before);
    }
};

QTEST_MAIN(TestShapeAdder)
#include "tst_shapeadder.moc"
