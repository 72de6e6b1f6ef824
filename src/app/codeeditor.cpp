#include "codeeditor.h"

#include "notice.h"
#include "ui_codeeditor.h"

#include "persistence/geometryfiles.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

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
    loadedBytes = QByteArray();
    ui->textEdit->setPlainText(text);
}

bool CodeEditor::loadFile(const QString &path, bool compressed, QString *error)
{
    // The same checks as the conversions: a regular file, read whole, and
    // for ".lb2" a stream that unpacks to exactly its announced length.
    QByteArray bytes;
    if (!GeometryFiles::readFile(path, bytes, error))
        return false;
    if (compressed) {
        QByteArray plain;
        if (!GeometryFiles::unpackLb2(bytes, plain, QFileInfo(path).fileName(), error))
            return false;
        bytes = plain;
    }
    // The explicit length keeps NUL bytes and whatever follows them.
    setText(QString::fromUtf8(bytes.constData(), bytes.size()));
    // Until the text is edited, saving writes back exactly these bytes, even
    // where they are not valid UTF-8.
    loadedBytes = bytes;
    ui->textEdit->document()->setModified(false);
    return true;
}

bool CodeEditor::saveFile(const QString &path, bool compressed, QString *error)
{
    QByteArray bytes = ui->textEdit->document()->isModified() || loadedBytes.isNull() ? text().toUtf8() : loadedBytes;
    if (compressed) {
        try {
            bytes = qCompress(bytes, -1);
        } catch (const std::bad_alloc &) {
            bytes.clear();
        }
        if (bytes.isEmpty()) {
            if (error)
                *error = tr("Not enough memory to compress the text for %1.").arg(path);
            return false;
        }
    }
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
