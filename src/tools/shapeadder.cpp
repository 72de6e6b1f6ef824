#include "shapeadder.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/shapes/boxshape.h"
#include "model/latticeboltzmann/shapes/cylindershape.h"
#include "model/latticeboltzmann/shapes/meshshape.h"
#include "model/latticeboltzmann/shapes/shapeset.h"
#include "model/latticeboltzmann/shapes/shapevoxels.h"
#include "model/latticeboltzmann/shapes/sphereshape.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace {

enum Kind { Sphere, Cylinder, Box, Mesh };

QLineEdit *field(const char *name, const QString &text)
{
    auto *edit = new QLineEdit(text);
    edit->setObjectName(QLatin1String(name));
    edit->setMaximumWidth(70);
    return edit;
}

} // namespace

ShapeAdder::ShapeAdder(Grid &grid, QWidget *parent) : QGroupBox(tr("Add Shape"), parent), grid(grid)
{
    setObjectName(QStringLiteral("addShapeBox"));
    kind = new QComboBox;
    kind->setObjectName(QStringLiteral("shapeKind"));
    kind->addItems({tr("sphere"), tr("cylinder"), tr("box"), tr("mesh")});
    const char *centreNames[3] = {"shapeX", "shapeY", "shapeZ"};
    const char *halfNames[3] = {"shapeHalfX", "shapeHalfY", "shapeHalfZ"};
    for (int i = 0; i < 3; ++i) {
        centre[i] = field(centreNames[i], QStringLiteral("1"));
        half[i] = field(halfNames[i], QStringLiteral("4"));
    }
    size = field("shapeSize", QStringLiteral("4"));
    length = field("shapeLength", QStringLiteral("0"));
    length->setToolTip(tr("0: endless"));
    axis = new QComboBox;
    axis->setObjectName(QStringLiteral("shapeAxis"));
    axis->addItems({QStringLiteral("z"), QStringLiteral("x"), QStringLiteral("y")});
    file = new QLineEdit;
    file->setObjectName(QStringLiteral("shapeFile"));
    browse = new QPushButton(QStringLiteral("..."));
    browse->setObjectName(QStringLiteral("shapeBrowse"));
    scheme = new QComboBox;
    scheme->setObjectName(QStringLiteral("shapeScheme"));
    scheme->addItems({wallSchemeName(WallScheme::Quadratic), wallSchemeName(WallScheme::Linear),
                      wallSchemeName(WallScheme::Staircase)});
    auto *add = new QPushButton(tr("Add Shape"));
    add->setObjectName(QStringLiteral("addShape"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Kind:")), 0, 0);
    layout->addWidget(kind, 0, 1);
    layout->addWidget(new QLabel(tr("Walls:")), 0, 2);
    layout->addWidget(scheme, 0, 3);
    layout->addWidget(new QLabel(tr("Centre (x, y, z):")), 1, 0);
    for (int i = 0; i < 3; ++i)
        layout->addWidget(centre[i], 1, 1 + i);
    layout->addWidget(new QLabel(tr("Radius / scale:")), 2, 0);
    layout->addWidget(size, 2, 1);
    layout->addWidget(new QLabel(tr("Length:")), 2, 2);
    layout->addWidget(length, 2, 3);
    layout->addWidget(new QLabel(tr("Axis:")), 2, 4);
    layout->addWidget(axis, 2, 5);
    layout->addWidget(new QLabel(tr("Half-sizes:")), 3, 0);
    for (int i = 0; i < 3; ++i)
        layout->addWidget(half[i], 3, 1 + i);
    layout->addWidget(new QLabel(tr("STL file:")), 4, 0);
    layout->addWidget(file, 4, 1, 1, 4);
    layout->addWidget(browse, 4, 5);
    layout->addWidget(add, 5, 5);

    QMetaObject::connectSlotsByName(this);
    on_shapeKind_currentIndexChanged(Sphere);
}

void ShapeAdder::on_shapeKind_currentIndexChanged(int k)
{
    // Only the entries the kind uses are open.
    size->setEnabled(k != Box);
    length->setEnabled(k == Cylinder);
    axis->setEnabled(k == Cylinder);
    for (QLineEdit *h : half)
        h->setEnabled(k == Box);
    file->setEnabled(k == Mesh);
    browse->setEnabled(k == Mesh);
}

void ShapeAdder::on_shapeBrowse_clicked()
{
    const QString name = QFileDialog::getOpenFileName(this, tr("STL Surface"), file->text(), tr("STL files (*.stl)"));
    if (!name.isEmpty())
        file->setText(name);
}

bool ShapeAdder::readNumber(QLineEdit *edit, double *value)
{
    bool ok = false;
    *value = edit->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(*value)) {
        emit refused(tr("\"%1\" is not a number.").arg(edit->text()));
        return false;
    }
    return true;
}

void ShapeAdder::on_addShape_clicked()
{
    double c[3];
    for (int i = 0; i < 3; ++i)
        if (!readNumber(centre[i], &c[i]))
            return;
    const int k = kind->currentIndex();
    double r = 0.0;
    if (k != Box && !readNumber(size, &r))
        return;
    if (k != Box && !(r > 0.0)) {
        emit refused(k == Mesh ? tr("The scale must be more than 0.") : tr("The radius must be more than 0."));
        return;
    }
    std::unique_ptr<Shape> shape;
    if (k == Sphere) {
        shape = std::make_unique<SphereShape>(r);
    } else if (k == Cylinder) {
        double l;
        if (!readNumber(length, &l))
            return;
        if (l < 0.0) {
            emit refused(tr("The length must be 0 (endless) or more."));
            return;
        }
        const int a = axis->currentIndex();
        shape = std::make_unique<CylinderShape>(r, l, Vector3d(a == 1, a == 2, a == 0));
    } else if (k == Box) {
        double h[3];
        for (int i = 0; i < 3; ++i)
            if (!readNumber(half[i], &h[i]))
                return;
        if (!(h[0] > 0.0 && h[1] > 0.0 && h[2] > 0.0)) {
            emit refused(tr("The half-sizes must be more than 0."));
            return;
        }
        shape = std::make_unique<BoxShape>(Vector3d(h[0], h[1], h[2]) * 2.0);
    } else {
        if (file->text().trimmed().isEmpty()) {
            emit refused(tr("Choose the STL file of the surface."));
            return;
        }
        QString why;
        std::unique_ptr<MeshShape> mesh = MeshShape::fromFile(file->text().trimmed(), &why);
        if (!mesh) {
            emit refused(tr("The STL file cannot be used: %1").arg(why));
            return;
        }
        mesh->setScale(r);
        shape = std::move(mesh);
    }
    // The fields count from 1, the lattice from 0.
    shape->setCentre(Vector3d(c[0] - 1.0, c[1] - 1.0, c[2] - 1.0));
    shape->setScheme(wallSchemeFromName(scheme->currentText()));
    const SimulationParameters *p = grid.getParameters();
    const ShapeVoxels covered(*shape, grid.getWidth(), grid.getHeight(), grid.getLength(), p->getModel(),
                              p->getPeriodicBoundaries(), p->getMulticore());
    if (covered.solidCount() == 0) {
        emit refused(tr("The shape covers no site of the %1 x %2 x %3 grid: it lies outside it or between its sites.")
                         .arg(grid.getWidth())
                         .arg(grid.getHeight())
                         .arg(grid.getLength()));
        return;
    }
    ShapeSet &shapes = *grid.shapes();
    shapes.place(grid, shapes.add(std::move(shape)));
    emit added();
}
