#pragma once

#include <QLocale>
#include <QString>
#include <QXmlStreamAttributes>

// The number and flag formats shared by every element of the state document.
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
// Missing or malformed numbers read as the fallback.
inline double readReal(const QXmlStreamAttributes &a, const QString &key, double fallback = 0.0)
{
    if (!a.hasAttribute(key))
        return fallback;
    bool ok = false;
    const double v = a.value(key).toDouble(&ok);
    return ok ? v : fallback;
}
inline int readInt(const QXmlStreamAttributes &a, const QString &key, int fallback = 0)
{
    if (!a.hasAttribute(key))
        return fallback;
    bool ok = false;
    const int v = a.value(key).toInt(&ok);
    return ok ? v : fallback;
}
// True only when the attribute is exactly "1".
inline bool readFlag(const QXmlStreamAttributes &a, const QString &key, bool fallback = false)
{
    if (!a.hasAttribute(key))
        return fallback;
    return a.value(key) == QLatin1String("1");
}

} // namespace XmlFormat
