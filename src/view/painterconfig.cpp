#include "painterconfig.h"

#include "customseeder.h"
#include "equallyspacedseeder.h"
#include "euler.h"
#include "improvedlineedit.h"
#include "renderer.h"
#include "rungekutta.h"
#include "seedgenerator.h"
#include "ui_painterconfig.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QComboBox>
#include <QGLWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <algorithm>

PainterConfig::PainterConfig(Renderer &renderer, QGLWidget *view, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::PainterConfig>()), renderer(renderer), view(view)
{
    ui->setupUi(this);
    customButtons = {ui->addRow, ui->deleteRow, ui->sortIsolines, ui->randomIsolines};
    connect(ui->updateCustom, &QPushButton::clicked, this, &PainterConfig::on_updateIsolines_clicked);
    // Without their slots: the renderer already is in this state.
    for (auto pair : {std::make_pair(ui->streamIntegrationX, renderer.getStreamIntegrationX()),
                      std::make_pair(ui->streamIntegrationY, renderer.getStreamIntegrationY())}) {
        const QSignalBlocker blocker(pair.first);
        pair.first->setCurrentIndex(pair.second);
    }
    on_strategy_currentIndexChanged(0);
    on_equallySpaced_clicked();
}

PainterConfig::~PainterConfig() = default;

void PainterConfig::repaintView()
{
    if (view)
        view->updateGL();
}

void PainterConfig::on_strategy_currentIndexChanged(int index)
{
    StreamLineAlgorithm *algorithm = nullptr;
    if (index == 1)
        algorithm = new RungeKutta;
    else if (index == 2)
        algorithm = new Euler;
    else if (index != 0)
        return;
    auto *generator = new SeedGenerator(*renderer.getGrid(), algorithm);
    renderer.setGenerator(generator);
    ui->properties->setRowCount(0);
    // Each row goes in at the top, so the names end in descending order.
    for (auto it = generator->properties().cbegin(); it != generator->properties().cend(); ++it) {
        ui->properties->insertRow(0);
        ui->properties->setItem(0, 0, new QTableWidgetItem(it.key()));
        ui->properties->setItem(0, 1, new QTableWidgetItem(it.value()));
    }
}

void PainterConfig::on_update_clicked()
{
    StreamLineGenerator *generator = renderer.getGenerator();
    for (int row = 0; row < ui->properties->rowCount(); ++row) {
        QTableWidgetItem *name = ui->properties->item(row, 0), *value = ui->properties->item(row, 1);
        if (name && value)
            generator->changeProperty(name->text(), value->text());
    }
    renderer.invalidateStreamlines();
    repaintView();
}

void PainterConfig::enableCustom(bool on)
{
    ui->isolines->setEnabled(on);
    for (QPushButton *b : customButtons)
        b->setEnabled(on);
    ui->count->setEnabled(!on);
}

void PainterConfig::on_equallySpaced_clicked()
{
    enableCustom(false);
    ui->count->setText(QStringLiteral("10"));
}

void PainterConfig::on_custom_clicked()
{
    ui->count->clear();
    enableCustom(true);
}

void PainterConfig::on_addRow_clicked()
{
    ui->isolines->insertRow(ui->isolines->rowCount());
}

void PainterConfig::on_deleteRow_clicked()
{
    if (ui->isolines->currentRow() >= 0)
        ui->isolines->removeRow(ui->isolines->currentRow());
}

std::vector<double> PainterConfig::customValues() const
{
    std::vector<double> values;
    for (int row = 0; row < ui->isolines->rowCount(); ++row) {
        bool ok = false;
        const double v = ui->isolines->item(row, 0) ? ui->isolines->item(row, 0)->text().toDouble(&ok) : 0.0;
        // Empty or unreadable rows give no isoline.
        if (ok)
            values.push_back(v);
    }
    return values;
}

void PainterConfig::setCustomValues(const std::vector<double> &values)
{
    ui->isolines->setRowCount(int(values.size()));
    for (int row = 0; row < int(values.size()); ++row)
        ui->isolines->setItem(row, 0, new QTableWidgetItem(QString::number(values[std::size_t(row)], 'g', 6)));
}

void PainterConfig::on_updateIsolines_clicked()
{
    if (ui->equallySpaced->isChecked()) {
        bool ok = false;
        const int n = ui->count->text().toInt(&ok);
        if (!ok || n < 1) {
            ui->count->setText(QStringLiteral("10"));
            return;
        }
        renderer.setSeeder(new EquallySpacedSeeder(n, renderer));
    } else if (ui->custom->isChecked()) {
        renderer.setSeeder(new CustomSeeder(customValues()));
    }
    repaintView();
}

void PainterConfig::on_streamIntegrationX_currentIndexChanged(int index)
{
    renderer.setStreamIntegrationX(index);
    repaintView();
}

void PainterConfig::on_streamIntegrationY_currentIndexChanged(int index)
{
    renderer.setStreamIntegrationY(index);
    repaintView();
}

void PainterConfig::on_sortIsolines_clicked()
{
    std::vector<double> values = customValues();
    std::sort(values.begin(), values.end());
    setCustomValues(values);
}

void PainterConfig::on_randomIsolines_clicked()
{
    const std::vector<double> values = suggest(renderer, ui->suggestCount->text().toInt());
    if (!values.empty())
        setCustomValues(values);
}

std::vector<double> PainterConfig::suggest(Renderer &renderer, int n)
{
    Grid *grid = renderer.getGrid();
    const std::vector<double> &buffer = renderer.valueBuffer();
    std::vector<double> painted;
    for (int z = 0; z < grid->getLength(); ++z)
        for (int y = 0; y < grid->getHeight(); ++y)
            for (int x = 0; x < grid->getWidth(); ++x) {
                BaseCell *cell = grid->getCell(x, y, z);
                const std::size_t index = std::size_t(renderer.valueIndex(x, y, z));
                if (cell && cell->isFluid() && index < buffer.size())
                    painted.push_back(buffer[index]);
            }
    // Without fluid there is nothing to suggest from.
    std::vector<double> result;
    if (painted.empty() || n < 1)
        return result;
    std::sort(painted.begin(), painted.end());
    const double step = double(painted.size()) / n;
    for (int j = 0; j < n; ++j)
        result.push_back(painted[std::min(painted.size() - 1, std::size_t((j + 0.5) * step))]);
    return result;
}
