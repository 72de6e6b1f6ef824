#pragma once

#include <QString>

class QWidget;

// Names for files the tools save. A name typed without a suffix gets the
// one of its kind, so that a geometry saved as "g" can be loaded again.
namespace SaveFileName {

// A save dialog with the given caption and filter; the chosen name with
// the suffix added when none was typed, empty when cancelled.
QString ask(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix);

// name with "." and suffix added when it has no suffix; an empty name
// stays empty.
QString withSuffix(const QString &name, const QString &suffix);

} // namespace SaveFileName
