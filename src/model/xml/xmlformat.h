#pragma once

#include <QLocale>
#include <QString>

// The number and flag formats shared by every element of the state document;
// reading goes through AttributeReader.
namespace XmlFormat {

// The shortest decimal form that reads back as exactly the same double, so a
// saved state resumes bitwise ("0.02" stays "0.02").
inline QString real(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}
inline QString flag(bool v)
{
    return v ? QStringLiteral("1") : QStringLiteral("0");
}
} // namespace XmlFormat
