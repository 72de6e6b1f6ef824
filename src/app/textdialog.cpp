#include "textdialog.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

TextDialog::TextDialog(const QString &title, const QString &html, QWidget *parent)
    : QDialog(parent), browser(new QTextBrowser(this))
{
    setWindowTitle(title);
    browser->setOpenExternalLinks(false);
    browser->setHtml(html);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    resize(480, 360);
}
