// Printing, testing and comparing template values.
#include "DocxTemplateValue.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

// Numbers up to this size print as whole numbers when they are whole.
constexpr double kLargestWholeNumber = 1e15;

QString printedNumber(double d)
{
    if (std::isnan(d))
        return QStringLiteral("nan");
    if (std::isinf(d))
        return d > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (d == std::floor(d) && std::fabs(d) < kLargestWholeNumber)
        return QString::number(qint64(d));
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

QString quotedString(const QString &s)
{
    QString out = s;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// A value inside a list or object, as Python's repr shows it.
QString representation(const DocxTemplateValue &v)
{
    return v.isString() ? quotedString(v.toString()) : printedValue(v);
}

}  // namespace

QString printedValue(const DocxTemplateValue &v)
{
    switch (v.type()) {
    case QJsonValue::String:
        return v.toString();
    case QJsonValue::Double:
        return printedNumber(v.toDouble());
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QJsonValue::Null:
        return QStringLiteral("None");
    case QJsonValue::Array: {
        QStringList items;
        for (const QJsonValue &e : v.toArray())
            items << representation(e);
        return QLatin1Char('[') + items.join(QLatin1String(", ")) + QLatin1Char(']');
    }
    case QJsonValue::Object: {
        QStringList items;
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            items << quotedString(it.key()) + QLatin1String(": ") + representation(it.value());
        return QLatin1Char('{') + items.join(QLatin1String(", ")) + QLatin1Char('}');
    }
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

bool isTruthy(const DocxTemplateValue &v)
{
    switch (v.type()) {
    case QJsonValue::String:
        return !v.toString().isEmpty();
    case QJsonValue::Double:
        return v.toDouble() != 0;
    case QJsonValue::Bool:
        return v.toBool();
    case QJsonValue::Array:
        return !v.toArray().isEmpty();
    case QJsonValue::Object:
        return !v.toObject().isEmpty();
    default:
        return false;
    }
}

bool valuesEqual(const DocxTemplateValue &a, const DocxTemplateValue &b)
{
    if (a.isBool() && b.isDouble())
        return double(a.toBool()) == b.toDouble();
    if (a.isDouble() && b.isBool())
        return a.toDouble() == double(b.toBool());
    return a == b;
}

int compareValues(const DocxTemplateValue &a, const DocxTemplateValue &b, bool *comparable)
{
    *comparable = true;
    if ((a.isDouble() || a.isBool()) && (b.isDouble() || b.isBool())) {
        const double x = a.toDouble(a.toBool()), y = b.toDouble(b.toBool());
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.isString() && b.isString()) {
        const int c = a.toString().compare(b.toString());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    *comparable = false;
    return 0;
}

bool valueContains(const DocxTemplateValue &haystack, const DocxTemplateValue &needle)
{
    if (haystack.isString())
        return needle.isString() && haystack.toString().contains(needle.toString());
    if (haystack.isObject())
        return needle.isString() && haystack.toObject().contains(needle.toString());
    if (haystack.isArray()) {
        for (const QJsonValue &e : haystack.toArray()) {
            if (valuesEqual(e, needle))
                return true;
        }
    }
    return false;
}

DocxTemplateValue memberOf(const DocxTemplateValue &v, const DocxTemplateValue &key)
{
    if (v.isObject())
        return key.isString() ? v.toObject().value(key.toString()) : undefinedValue();
    if (!key.isDouble() || key.toDouble() != std::floor(key.toDouble()))
        return undefinedValue();
    qint64 i = qint64(key.toDouble());
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        i = i < 0 ? i + a.size() : i;
        return i >= 0 && i < a.size() ? a.at(i) : undefinedValue();
    }
    if (v.isString()) {
        const QString s = v.toString();
        i = i < 0 ? i + s.size() : i;
        return i >= 0 && i < s.size() ? DocxTemplateValue(QString(s.at(i))) : undefinedValue();
    }
    return undefinedValue();
}

QJsonArray iterationOf(const DocxTemplateValue &v)
{
    if (v.isArray())
        return v.toArray();
    QJsonArray out;
    if (v.isObject()) {
        for (const QString &k : v.toObject().keys())
            out.append(k);
    } else if (v.isString()) {
        for (const QChar c : v.toString())
            out.append(QString(c));
    }
    return out;
}
