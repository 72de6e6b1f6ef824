#include "codeeditor.h"

#include "notice.h"
#include "ui_codeeditor.h"

#include <QFile>
#include <QFileDialog>
#include <QSaveFile>
#include <QtEndian>

CodeEditor::CodeEditor(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::CodeEditor>())
{
    ui->setupUi(this);
}

CodeEditor::~CodeEditor() = default;

QString CodeEditor::text() const
{
    return ui->textEdit->toPlainText();
}

void CodeEditor::setText(const QString &text)
{
    ui->textEdit->setPlainText(text);
}

bool CodeEditor::loadFile(const QString &path, bool compressed, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = tr("%1 could not be read: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray bytes = file.readAll();
    if (compressed && !bytes.isEmpty()) {
        // The first four bytes hold the uncompressed length; an empty result
        // is right only when that length is zero.
        const quint32 expected = bytes.size() >= 4 ? qFromBigEndian<quint32>(bytes.constData()) : 1;
        QByteArray plain = qUncompress(bytes);
        if (plain.isEmpty() && expected != 0) {
            if (error)
                *error = tr("%1 is not a compressed .lb2 file.").arg(path);
            return false;
        }
        bytes = plain;
    }
    setText(QString::fromUtf8(bytes));
    return true;
}

bool CodeEditor::saveFile(const QString &path, bool compressed, QString *error)
{
    QByteArray bytes = text().toUtf8();
    if (compressed)
        bytes = qCompress(bytes, -1);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = tr("%1 could not be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void CodeEditor::load(const QString &caption, const QString &filter, bool compressed)
{
    const QString name = QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (name.isEmpty())
        return;
    QString error;
    if (!loadFile(name, compressed, &error))
        showNotice(this, caption, error);
}

void CodeEditor::save(const QString &caption, const QString &filter, bool compressed)
{
    const QString name = QFileDialog::getSaveFileName(this, caption, QString(), filter);
    if (name.isEmpty())
        return;
    QString error;
    if (!saveFile(name, compressed, &error))
        showNotice(this, caption, error);
}

void CodeEditor::on_actionLoad_lb_triggered()
{
    load(QStringLiteral("Load .lb"), QStringLiteral("*.lb"), false);
}

void CodeEditor::on_actionLoad_lb2_triggered()
{
    load(QStringLiteral("Load .lb2"), QStringLiteral("*.lb2"), true);
}

void CodeEditor::on_actionSave_lb_triggered()
{
    save(QStringLiteral("Save .lb"), QStringLiteral("*.lb"), false);
}

void CodeEditor::on_actionSave_lb2_triggered()
{
    save(QStringLiteral("Save .lb2"), QStringLiteral("*.lb2"), true);
}
