#pragma once

#include <QDialog>

class QTextBrowser;

// A small window that shows a fixed text: the credits and the change log.
class TextDialog : public QDialog
{
    Q_OBJECT

public:
    TextDialog(const QString &title, const QString &html, QWidget *parent = nullptr);

private:
    QTextBrowser *browser;
};
