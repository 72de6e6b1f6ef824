#include "improvedlineedit.h"

#include <QKeyEvent>

#include <cmath>

ImprovedLineEdit::ImprovedLineEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this]() { setPending(true); });
    connect(this, &QLineEdit::returnPressed, this, &ImprovedLineEdit::normalise);
}

bool ImprovedLineEdit::isPending() const
{
    return palette().color(QPalette::Text) == Qt::red;
}

void ImprovedLineEdit::setPending(bool pending)
{
    QPalette p = palette();
    p.setColor(QPalette::Text, pending ? Qt::red : Qt::black);
    setPalette(p);
}

// A text that is not a number is left as typed: the owner of the entry then
// keeps its previous value and shows it again.
void ImprovedLineEdit::normalise()
{
    bool ok = false;
    QString text;
    if (allowDoubles) {
        const double v = this->text().trimmed().toDouble(&ok);
        ok = ok && std::isfinite(v);
        text = QString::number(v, 'g', 6);
    } else {
        const int v = this->text().trimmed().toInt(&ok);
        text = QString::number(v);
    }
    if (!ok)
        return;
    if (!allowNegatives && text.startsWith(QLatin1Char('-')))
        text = QStringLiteral("0");
    setText(text);
    setPending(false);
}

void ImprovedLineEdit::keyPressEvent(QKeyEvent *event)
{
    QLineEdit::keyPressEvent(event);
    if (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down)
        return;
    bool ok = false;
    const double v = text().toDouble(&ok);
    if (!ok)
        return;
    setText(QString::number(v + (event->key() == Qt::Key_Up ? 1 : -1), 'g', 6));
    setPending(true);
}
