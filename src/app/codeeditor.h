#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class CodeEditor;
}

// A plain-text editor for ".lb" files and their compressed ".lb2" form; it
// never parses what it shows, so a saved state can be inspected and edited
// by hand.
class CodeEditor : public QMainWindow
{
    Q_OBJECT

public:
    explicit CodeEditor(QWidget *parent = nullptr);
    ~CodeEditor() override;

    QString text() const;
    void setText(const QString &text);
    // Reads a file into the editor (uncompressing it when compressed). A
    // special, oversized or damaged file is refused with a message and the
    // current text is kept.
    bool loadFile(const QString &path, bool compressed, QString *error = nullptr);
    // Writes the text as UTF-8, compressed when asked; the old file is
    // replaced only by a completely written one.
    bool saveFile(const QString &path, bool compressed, QString *error = nullptr);

private slots:
    void on_actionLoad_lb_triggered();
    void on_actionLoad_lb2_triggered();
    void on_actionSave_lb_triggered();
    void on_actionSave_lb2_triggered();

private:
    void load(const QString &caption, const QString &filter, bool compressed);
    void save(const QString &caption, const QString &filter, bool compressed);

    std::unique_ptr<Ui::CodeEditor> ui;
    // The bytes of the last file loaded, written back as they are while the
    // text is unedited; null after setText.
    QByteArray loadedBytes;
};
