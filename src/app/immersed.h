#pragma once

#include <QDialog>

class Grid;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

// Edits the grid's immersed items: choose a type, adjust its parameters in
// the key/value table, add the item (its points are generated from the
// table), or remove the item selected in the list.
class Immersed : public QDialog
{
    Q_OBJECT

public:
    explicit Immersed(Grid *grid, QWidget *parent = nullptr);

    // Lists the set's items again (after a document was loaded).
    void refresh();
    QString lastMessage() const { return message; }

signals:
    // An item was added or removed: the view should repaint.
    void itemsChanged();

private slots:
    void on_immersedAdd_clicked();
    void on_immersedType_currentIndexChanged(int index);
    void on_immersedRemove_clicked();

private:
    void showMessage(const QString &text);

    Grid *grid;
    QComboBox *type;
    QTableWidget *parameters;
    QListWidget *list;
    QLabel *messageLabel;
    QString message;
};
