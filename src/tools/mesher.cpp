#include "mesher.h"
#include "shapeadder.h"
#include "ui_mesher.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/latticeboltzmann/unitscales.h"
#include "persistence/geometryfiles.h"

#include <QLineEdit>

Mesher::Mesher(Grid &grid, QWidget *parent) : QDialog(parent), ui(new Ui::Mesher), grid(grid)
{
    ui->setupUi(this);
    // Shapes go in above the message line.
    auto *shapes = new ShapeAdder(grid, this);
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->message), shapes);
    connect(shapes, &ShapeAdder::added, this, [this] { refresh(true); });
    connect(shapes, &ShapeAdder::refused, this, &Mesher::refuse);
}

Mesher::~Mesher() = default;

QString Mesher::message() const
{
    return ui->message->text();
}

bool Mesher::readInt(const char *field, int *value)
{
    auto *edit = findChild<QLineEdit *>(QLatin1String(field));
    bool ok = false;
    *value = edit->text().trimmed().toInt(&ok);
    if (!ok)
        refuse(tr("\"%1\" is not a whole number.").arg(edit->text()));
    return ok;
}

void Mesher::refuse(const QString &text)
{
    ui->message->setText(text);
}

void Mesher::refresh(bool rebuildNeighbours)
{
    ui->message->clear();
    if (rebuildNeighbours) {
        grid.buildNeighbours();
        grid.getParameters()->setNeedsNeighbourRebuild(false);
    }
    emit geometryChanged();
}

void Mesher::on_changeCells_clicked()
{
    int minX, maxX, minY, maxY, minZ, maxZ;
    if (!readInt("minx", &minX) || !readInt("maxx", &maxX) || !readInt("miny", &minY) || !readInt("maxy", &maxY) ||
        !readInt("minz", &minZ) || !readInt("maxz", &maxZ))
        return;
    const QString code =
        ui->cellType->currentText() == QLatin1String("wall") ? QStringLiteral("w") : QStringLiteral(" ");
    // The fields count from 1; the grid clips the box to its extents.
    grid.fillRegion(code, minX - 1, maxX - 1, minY - 1, maxY - 1, minZ - 1, maxZ - 1, true);
    refresh(true);
}

void Mesher::on_resizeGeometry_clicked()
{
    const int factor = ui->resizeFactor->currentIndex() + 2;
    const long long sites = 1LL * factor * grid.getWidth() * factor * grid.getHeight() * grid.getLength();
    if (sites > GeometryFiles::MaxSites) {
        refuse(tr("Refining by %1 would give %2 sites; a grid has at most %3.")
                   .arg(factor)
                   .arg(sites)
                   .arg(GeometryFiles::MaxSites));
        return;
    }
    // The relaxation time grows with the factor so that the lattice
    // viscosity keeps the physical one on the finer lattice: the spacing
    // shrinks by the factor and the time step follows from the viscosity.
    SimulationParameters *sp = grid.getParameters();
    UnitScales *scales = grid.getScales();
    const double tau = sp->getEpsilon(0);
    const double refinedTau = factor * (tau - 0.5) + 0.5;
    const double viscosity = scales->physicalViscosity(UnitScales::viscosityOfTau(tau));
    sp->setEpsilon(0, refinedTau);
    scales->setSpacingAndViscosity(scales->getDx() / factor, viscosity, refinedTau);
    emit parametersChanged();
    grid.refine(factor);
    refresh(false);
}

void Mesher::on_optimize_clicked()
{
    grid.enclosedWallsToNull();
    refresh(true);
}

void Mesher::on_porous_clicked()
{
    int percent;
    if (!readInt("porousPercent", &percent))
        return;
    if (percent < 0 || percent > 100) {
        refuse(tr("The percentage must lie between 0 and 100."));
        return;
    }
    grid.randomWalls(percent);
    refresh(true);
}

void Mesher::on_newGrid_clicked()
{
    int width, height, length;
    if (!readInt("maxx", &width) || !readInt("maxy", &height) || !readInt("maxz", &length))
        return;
    if (width < 1 || height < 1 || length < 1) {
        refuse(tr("A new grid needs a width (max x), height (max y) and length (max z) of at least 1."));
        return;
    }
    const long long sites = 1LL * width * height * length;
    if (sites > GeometryFiles::MaxSites) {
        refuse(tr("%1 x %2 x %3 is too large: a grid has at most %4 sites.")
                   .arg(width)
                   .arg(height)
                   .arg(length)
                   .arg(GeometryFiles::MaxSites));
        return;
    }
    grid.resize(width, height, length, false);
    refresh(true);
}
