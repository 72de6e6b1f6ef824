#include "savefilename.h"

#include <QFileDialog>
#include <QFileInfo>

namespace SaveFileName {

QString ask(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return withSuffix(dialog.selectedFiles().first(), suffix);
}

QString withSuffix(const QString &name, const QString &suffix)
{
    if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    return name + QLatin1Char('.') + suffix;
}

} // namespace SaveFileName
