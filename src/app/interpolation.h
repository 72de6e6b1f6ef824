#pragma once

#include <QDialog>

class Grid;
class QLabel;
class QLineEdit;
class QTableWidget;
class QXmlStreamReader;
class QXmlStreamWriter;

// Places and removes interpolation points: single sites that impose an
// (optionally oscillating) density on their neighbours. Coordinates are
// counted from 1; the table lists the points placed, newest first, and is
// kept in the state document as the element "interpolation".
class Interpolation : public QDialog
{
    Q_OBJECT

public:
    explicit Interpolation(Grid *grid, QWidget *parent = nullptr);

    void write(QXmlStreamWriter &writer) const;
    // Acts only on a start element named "interpolation"; reads its "point"
    // children in order and leaves the reader on its end. The grid is not
    // touched: the cells come back with the document's cells.
    void read(QXmlStreamReader &reader);
    QString lastMessage() const { return message; }

private slots:
    void on_addLine_clicked();
    void on_removeLine_clicked();

private:
    bool site(const QString &x, const QString &y, const QString &z, int out[3]) const;

    Grid *grid;
    QLineEdit *fields[6];
    QTableWidget *points;
    QLabel *messageLabel;
    QString message;
};
