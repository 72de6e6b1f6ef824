#include "painterconfig.h"

#include "customseeder.h"
#include "equallyspacedseeder.h"
#include "improvedlineedit.h"
#include "renderer.h"
#include "rungekutta.h"
#include "seedgenerator.h"

#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/grid.h"

#include <QComboBox>
#include <QGLWidget>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>

PainterConfig::PainterConfig(Renderer &renderer, QGLWidget *view, QWidget *parent)
    : QDialog(parent), renderer(renderer), view(view)
{
    setWindowTitle(tr("Configure"));
    buildForm();
    QMetaObject::connectSlotsByName(this);
    on_strategy_currentIndexChanged(0);
    on_equallySpaced_clicked();
}

void PainterConfig::buildForm()
{
    auto *tabs = new QTabWidget(this);
    auto *outer = new QGridLayout(this);
    outer->addWidget(tabs, 0, 0);
    auto button = [this](QWidget *parent, const char *name, const QString &text) {
        auto *b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        return b;
    };

    auto *streamTab = new QWidget(tabs);
    auto *streamLayout = new QGridLayout(streamTab);
    strategy = new QComboBox(streamTab);
    strategy->setObjectName(QStringLiteral("strategy"));
    strategy->addItem(tr("Seed - Euler"));
    strategy->addItem(tr("Seed - Runge-Kutta"));
    properties = new QTableWidget(0, 2, streamTab);
    properties->setObjectName(QStringLiteral("properties"));
    properties->setHorizontalHeaderLabels({tr("Name"), tr("Value")});
    streamLayout->addWidget(new QLabel(tr("Strategy:"), streamTab), 0, 0);
    streamLayout->addWidget(strategy, 0, 1);
    streamLayout->addWidget(new QLabel(tr("Properties:"), streamTab), 1, 0);
    streamLayout->addWidget(properties, 2, 0, 1, 2);
    streamLayout->addWidget(button(streamTab, "update", tr("Update")), 3, 1);
    tabs->addTab(streamTab, tr("Streamlines"));

    auto *isoTab = new QWidget(tabs);
    auto *isoLayout = new QGridLayout(isoTab);
    equallySpaced = new QRadioButton(tr("Equally spaced:"), isoTab);
    equallySpaced->setObjectName(QStringLiteral("equallySpaced"));
    equallySpaced->setChecked(true);
    count = new ImprovedLineEdit(isoTab);
    count->setObjectName(QStringLiteral("count"));
    custom = new QRadioButton(tr("Custom:"), isoTab);
    custom->setObjectName(QStringLiteral("custom"));
    isolines = new QTableWidget(0, 1, isoTab);
    isolines->setObjectName(QStringLiteral("isolines"));
    isolines->setHorizontalHeaderLabels({tr("Isoline Value")});
    suggestCount = new ImprovedLineEdit(isoTab);
    suggestCount->setObjectName(QStringLiteral("suggestCount"));
    suggestCount->setText(QStringLiteral("10"));
    isoLayout->addWidget(equallySpaced, 0, 0);
    isoLayout->addWidget(new QLabel(tr("Count:"), isoTab), 0, 1);
    isoLayout->addWidget(count, 0, 2);
    isoLayout->addWidget(button(isoTab, "updateIsolines", tr("Update")), 0, 3);
    isoLayout->addWidget(custom, 1, 0);
    isoLayout->addWidget(isolines, 2, 0, 1, 4);
    QPushButton *updateCustom = button(isoTab, "updateCustom", tr("Update"));
    connect(updateCustom, &QPushButton::clicked, this, &PainterConfig::on_updateIsolines_clicked);
    customButtons = {button(isoTab, "addRow", tr("Add Row")), button(isoTab, "deleteRow", tr("Delete")),
                     button(isoTab, "sortIsolines", tr("Sort")), button(isoTab, "randomIsolines", tr("Suggest"))};
    isoLayout->addWidget(updateCustom, 3, 0);
    for (int k = 0; k < customButtons.size(); ++k)
        isoLayout->addWidget(customButtons[k], 3 + (k + 1) / 4, (k + 1) % 4);
    isoLayout->addWidget(suggestCount, 4, 1);
    tabs->addTab(isoTab, tr("Isolines"));

    auto *funcTab = new QWidget(tabs);
    auto *funcLayout = new QGridLayout(funcTab);
    auto *x = new QComboBox(funcTab);
    x->setObjectName(QStringLiteral("streamIntegrationX"));
    x->addItems({QStringLiteral("x- -> x+"), QStringLiteral("x+ -> x-")});
    x->setCurrentIndex(renderer.getStreamIntegrationX());
    auto *y = new QComboBox(funcTab);
    y->setObjectName(QStringLiteral("streamIntegrationY"));
    y->addItems({QStringLiteral("y- -> y+"), QStringLiteral("y+ -> y-")});
    y->setCurrentIndex(renderer.getStreamIntegrationY());
    funcLayout->addWidget(new QLabel(tr("Integration direction:"), funcTab), 0, 0, 1, 2);
    funcLayout->addWidget(x, 1, 0);
    funcLayout->addWidget(y, 1, 1);
    funcLayout->setRowStretch(2, 1);
    tabs->addTab(funcTab, tr("Stream Func"));
}

void PainterConfig::repaintView()
{
    if (view)
        view->updateGL();
}

void PainterConfig::on_strategy_currentIndexChanged(int index)
{
    if (index != 0 && index != 1)
        return;
    auto *generator = new SeedGenerator(*renderer.getGrid(), index == 1 ? new RungeKutta : nullptr);
    renderer.setGenerator(generator);
    properties->setRowCount(0);
    // Each row goes in at the top, so the names end in descending order.
    for (auto it = generator->properties().cbegin(); it != generator->properties().cend(); ++it) {
        properties->insertRow(0);
        properties->setItem(0, 0, new QTableWidgetItem(it.key()));
        properties->setItem(0, 1, new QTableWidgetItem(it.value()));
    }
}

void PainterConfig::on_update_clicked()
{
    StreamLineGenerator *generator = renderer.getGenerator();
    for (int row = 0; row < properties->rowCount(); ++row) {
        QTableWidgetItem *name = properties->item(row, 0), *value = properties->item(row, 1);
        if (name && value)
            generator->changeProperty(name->text(), value->text());
    }
    renderer.invalidateStreamlines();
    repaintView();
}

void PainterConfig::enableCustom(bool on)
{
    isolines->setEnabled(on);
    for (QPushButton *b : customButtons)
        b->setEnabled(on);
    count->setEnabled(!on);
}

void PainterConfig::on_equallySpaced_clicked()
{
    enableCustom(false);
    count->setText(QStringLiteral("10"));
}

void PainterConfig::on_custom_clicked()
{
    count->clear();
    enableCustom(true);
}

void PainterConfig::on_addRow_clicked()
{
    isolines->insertRow(isolines->rowCount());
}

void PainterConfig::on_deleteRow_clicked()
{
    if (isolines->currentRow() >= 0)
        isolines->removeRow(isolines->currentRow());
}

std::vector<double> PainterConfig::customValues() const
{
    std::vector<double> values;
    for (int row = 0; row < isolines->rowCount(); ++row) {
        bool ok = false;
        const double v = isolines->item(row, 0) ? isolines->item(row, 0)->text().toDouble(&ok) : 0.0;
        // Empty or unreadable rows give no isoline.
        if (ok)
            values.push_back(v);
    }
    return values;
}

void PainterConfig::setCustomValues(const std::vector<double> &values)
{
    isolines->setRowCount(int(values.size()));
    for (int row = 0; row < int(values.size()); ++row)
        isolines->setItem(row, 0, new QTableWidgetItem(QString::number(values[std::size_t(row)], 'g', 6)));
}

void PainterConfig::on_updateIsolines_clicked()
{
    if (equallySpaced->isChecked()) {
        bool ok = false;
        const int n = count->text().toInt(&ok);
        if (!ok || n < 1) {
            count->setText(QStringLiteral("10"));
            return;
        }
        renderer.setSeeder(new EquallySpacedSeeder(n, renderer));
    } else if (custom->isChecked()) {
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
    const std::vector<double> values = suggest(renderer, suggestCount->text().toInt());
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
