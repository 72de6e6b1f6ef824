#include "attributereader.h"

#include <QXmlStreamReader>

#include <cmath>

AttributeReader::AttributeReader(const QXmlStreamReader &reader)
    : element(reader.name().toString()), attributes(reader.attributes())
{}

AttributeReader::AttributeReader(const QString &element, const QXmlStreamAttributes &attributes)
    : element(element), attributes(attributes)
{}

bool AttributeReader::has(const QString &key) const
{
    return attributes.hasAttribute(key);
}

QString AttributeReader::text(const QString &key, const QString &fallback) const
{
    return attributes.hasAttribute(key) ? attributes.value(key).toString() : fallback;
}

void AttributeReader::reject(const QString &key, const QString &why)
{
    if (message.isEmpty())
        message = QStringLiteral("element \"%1\": attribute \"%2\" %3").arg(element, key, why);
}

double AttributeReader::real(const QString &key, double fallback, double min, double max)
{
    if (!attributes.hasAttribute(key))
        return fallback;
    const QStringRef raw = attributes.value(key);
    bool parsed = false;
    const double v = raw.trimmed().toDouble(&parsed);
    if (!parsed) {
        reject(key, QStringLiteral("is not a number: \"%1\"").arg(raw.left(40).toString()));
        return fallback;
    }
    if (!std::isfinite(v)) {
        reject(key, QStringLiteral("is not finite: \"%1\"").arg(raw.left(40).toString()));
        return fallback;
    }
    if (v < min || v > max) {
        reject(key, QStringLiteral("is %1, outside [%2, %3]").arg(v).arg(min).arg(max));
        return fallback;
    }
    return v;
}

int AttributeReader::integer(const QString &key, int fallback, int min, int max)
{
    if (!attributes.hasAttribute(key))
        return fallback;
    const QStringRef raw = attributes.value(key);
    bool parsed = false;
    const qlonglong v = raw.trimmed().toLongLong(&parsed);
    if (!parsed) {
        reject(key, QStringLiteral("is not an integer: \"%1\"").arg(raw.left(40).toString()));
        return fallback;
    }
    if (v < min || v > max) {
        reject(key, QStringLiteral("is %1, outside [%2, %3]").arg(v).arg(min).arg(max));
        return fallback;
    }
    return int(v);
}

bool AttributeReader::flag(const QString &key, bool fallback)
{
    if (!attributes.hasAttribute(key))
        return fallback;
    return attributes.value(key) == QLatin1String("1");
}
