#include "immersed.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/immersed/immerseditem.h"
#include "model/latticeboltzmann/immersed/immersedset.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

Immersed::Immersed(Grid *g, QWidget *parent) : QDialog(parent), grid(g)
{
    setWindowTitle(tr("Immersed"));
    type = new QComboBox(this);
    type->setObjectName(QStringLiteral("immersedType"));
    parameters = new QTableWidget(0, 2, this);
    parameters->setObjectName(QStringLiteral("immersedParameters"));
    parameters->setHorizontalHeaderLabels({tr("Parameter"), tr("Value")});
    parameters->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    parameters->verticalHeader()->hide();
    QPushButton *add = new QPushButton(tr("Add"), this);
    add->setObjectName(QStringLiteral("immersedAdd"));
    QPushButton *remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName(QStringLiteral("immersedRemove"));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("immersedList"));
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);
    messageLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    QHBoxLayout *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->addWidget(type);
    layout->addWidget(parameters);
    layout->addLayout(buttons);
    layout->addWidget(list);
    layout->addWidget(messageLabel);
    QMetaObject::connectSlotsByName(this);
    // Filling the combo box shows the first type's defaults through the slot.
    type->addItems(ImmersedItem::typeNames());
    refresh();
}

void Immersed::showMessage(const QString &text)
{
    message = text;
    messageLabel->setText(text);
}

void Immersed::on_immersedType_currentIndexChanged(int)
{
    std::unique_ptr<ImmersedItem> item(ImmersedItem::create(type->currentText()));
    parameters->setRowCount(0);
    if (!item)
        return;
    const QMap<QString, QString> &defaults = item->getParameters();
    parameters->setRowCount(defaults.size());
    int row = 0;
    for (auto it = defaults.constBegin(); it != defaults.constEnd(); ++it, ++row) {
        auto *key = new QTableWidgetItem(it.key());
        key->setFlags(key->flags() & ~Qt::ItemIsEditable);
        parameters->setItem(row, 0, key);
        parameters->setItem(row, 1, new QTableWidgetItem(it.value()));
    }
}

void Immersed::on_immersedAdd_clicked()
{
    std::unique_ptr<ImmersedItem> item(ImmersedItem::create(type->currentText()));
    if (!item)
        return;
    for (int row = 0; row < parameters->rowCount(); ++row) {
        const QTableWidgetItem *key = parameters->item(row, 0), *value = parameters->item(row, 1);
        if (key && !key->text().trimmed().isEmpty())
            item->setParameter(key->text().trimmed(), value ? value->text().trimmed() : QString());
    }
    QString error;
    if (!item->generatePoints(&error)) {
        showMessage(tr("The item was not added: %1.").arg(error));
        return;
    }
    item->recomputeCentreOfMass();
    const int id = grid->getImmersed()->addItem(item.release(), &error);
    if (id < 0) {
        showMessage(tr("The item was not added: %1.").arg(error));
        return;
    }
    showMessage(QString());
    refresh();
    emit itemsChanged();
}

void Immersed::on_immersedRemove_clicked()
{
    const QListWidgetItem *selected = list->currentItem();
    if (!selected)
        return;
    grid->getImmersed()->removeItem(selected->data(Qt::UserRole).toInt());
    refresh();
    emit itemsChanged();
}

void Immersed::refresh()
{
    list->clear();
    for (const auto &item : grid->getImmersed()->getItems()) {
        auto *entry = new QListWidgetItem(
            tr("%1: %2, %3 points").arg(item->getId()).arg(item->typeName()).arg(item->getPoints().size()), list);
        entry->setData(Qt::UserRole, item->getId());
    }
}
