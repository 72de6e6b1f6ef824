#pragma once

#include <QString>
#include <QXmlStreamAttributes>

#include <climits>
#include <limits>

class QXmlStreamReader;

// Reads the attributes of one element through one checked path. A number that
// does not parse, is not finite or lies outside its range is rejected: the
// call returns the fallback and the first rejection is kept as a message that
// names the element and the attribute. A missing attribute reads as its
// fallback without complaint, so older documents stay readable. Callers look
// at ok() and refuse the element (leaving the simulation untouched) or go on.
class AttributeReader
{
public:
    explicit AttributeReader(const QXmlStreamReader &reader);
    AttributeReader(const QString &element, const QXmlStreamAttributes &attributes);

    static constexpr double Largest = std::numeric_limits<double>::max();

    double real(const QString &key, double fallback = 0.0, double min = -Largest, double max = Largest);
    int integer(const QString &key, int fallback = 0, int min = INT_MIN, int max = INT_MAX);
    // True only when the attribute is exactly "1".
    bool flag(const QString &key, bool fallback = false);
    QString text(const QString &key, const QString &fallback = QString()) const;
    bool has(const QString &key) const;

    bool ok() const { return message.isEmpty(); }
    // "element "x": attribute "y" ..." for the first rejected value.
    const QString &error() const { return message; }
    // Records a rejection found by the caller (a value valid alone but not
    // with the others); the first one is kept.
    void reject(const QString &key, const QString &why);

private:
    QString element;
    QXmlStreamAttributes attributes;
    QString message;
};
