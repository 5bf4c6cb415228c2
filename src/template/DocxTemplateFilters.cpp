// Template filters: what each does to its input.
#include "DocxTemplateFilters.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kLongestRange = 1000000;

using Filter = DocxTemplateValue (*)(const DocxTemplateValue &input, const DocxFilterArguments &args);

QString textOf(const DocxTemplateValue &v) { return printedValue(v); }

// Python's str.title(): a capital after every character that is not a letter.
QString titled(const QString &s)
{
    QString out = s;
    bool afterLetter = false;
    for (QChar &c : out) {
        c = afterLetter ? c.toLower() : c.toUpper();
        afterLetter = c.isLetter();
    }
    return out;
}

QString capitalized(const QString &s)
{
    return s.isEmpty() ? s : s.left(1).toUpper() + s.mid(1).toLower();
}

double numberOf(const DocxTemplateValue &v, double fallback)
{
    if (v.isDouble())
        return v.toDouble();
    if (v.isBool())
        return v.toBool() ? 1 : 0;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    return ok ? d : fallback;
}

DocxTemplateValue lengthOf(const DocxTemplateValue &v)
{
    if (v.isString())
        return double(v.toString().size());
    if (v.isArray())
        return double(v.toArray().size());
    if (v.isObject())
        return double(v.toObject().size());
    return 0.0;
}

DocxTemplateValue joined(const DocxTemplateValue &v, const DocxFilterArguments &args)
{
    QStringList parts;
    const QString attribute = args.value(1, QStringLiteral("attribute")).toString();
    for (const QJsonValue &e : iterationOf(v))
        parts << textOf(attribute.isEmpty() ? e : memberOf(e, attribute));
    return parts.join(textOf(args.value(0, QStringLiteral("d"), QString())));
}

DocxTemplateValue rounded(const DocxTemplateValue &v, const DocxFilterArguments &args)
{
    const int precision = int(numberOf(args.value(0, QStringLiteral("precision"), 0.0), 0));
    const QString method = args.value(1, QStringLiteral("method"), QStringLiteral("common")).toString();
    const double scale = std::pow(10.0, precision);
    const double x = numberOf(v, 0) * scale;
    const double r = method == QLatin1String("floor") ? std::floor(x)
        : method == QLatin1String("ceil")            ? std::ceil(x)
                                                      : std::nearbyint(x);  // halves to even, as Python rounds
    return r / scale;
}

const QHash<QString, Filter> &filters()
{
    static const QHash<QString, Filter> table = {
        {QStringLiteral("default"),
         [](const DocxTemplateValue &v, const DocxFilterArguments &a) {
             const bool falsy = isTruthy(a.value(1, QStringLiteral("boolean"), false));
             const bool missing = v.isUndefined() || (falsy && !isTruthy(v));
             return missing ? a.value(0, QStringLiteral("default_value"), QString()) : v;
         }},
        {QStringLiteral("upper"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return textOf(v).toUpper(); }},
        {QStringLiteral("lower"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return textOf(v).toLower(); }},
        {QStringLiteral("title"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return titled(textOf(v)); }},
        {QStringLiteral("capitalize"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return capitalized(textOf(v)); }},
        {QStringLiteral("trim"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return textOf(v).trimmed(); }},
        {QStringLiteral("string"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return textOf(v); }},
        {QStringLiteral("escape"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return textOf(v); }},
        {QStringLiteral("length"), [](const DocxTemplateValue &v, const DocxFilterArguments &) { return lengthOf(v); }},
        {QStringLiteral("join"), joined},
        {QStringLiteral("first"), [](const DocxTemplateValue &v, const DocxFilterArguments &) { return memberOf(v, 0.0); }},
        {QStringLiteral("last"), [](const DocxTemplateValue &v, const DocxFilterArguments &) { return memberOf(v, -1.0); }},
        {QStringLiteral("int"),
         [](const DocxTemplateValue &v, const DocxFilterArguments &a) -> DocxTemplateValue {
             return std::trunc(numberOf(v, numberOf(a.value(0, QStringLiteral("default"), 0.0), 0)));
         }},
        {QStringLiteral("float"),
         [](const DocxTemplateValue &v, const DocxFilterArguments &a) -> DocxTemplateValue {
             return numberOf(v, numberOf(a.value(0, QStringLiteral("default"), 0.0), 0));
         }},
        {QStringLiteral("abs"), [](const DocxTemplateValue &v, const DocxFilterArguments &) -> DocxTemplateValue { return std::fabs(numberOf(v, 0)); }},
        {QStringLiteral("round"), rounded},
        {QStringLiteral("replace"),
         [](const DocxTemplateValue &v, const DocxFilterArguments &a) -> DocxTemplateValue {
             return textOf(v).replace(textOf(a.value(0, QStringLiteral("old"))), textOf(a.value(1, QStringLiteral("new"))));
         }},
    };
    return table;
}

// Other names filters go by.
QString canonicalName(const QString &name)
{
    if (name == QLatin1String("d"))
        return QStringLiteral("default");
    if (name == QLatin1String("count"))
        return QStringLiteral("length");
    if (name == QLatin1String("e"))
        return QStringLiteral("escape");
    return name;
}

}  // namespace

DocxTemplateValue DocxFilterArguments::value(int index, const QString &name, const DocxTemplateValue &fallback) const
{
    if (index >= 0 && index < positional.size())
        return positional.at(index);
    for (const auto &n : named) {
        if (n.first == name)
            return n.second;
    }
    return fallback;
}

bool isKnownFilter(const QString &name)
{
    return filters().contains(canonicalName(name));
}

bool acceptsUndefined(const QString &name)
{
    return canonicalName(name) == QLatin1String("default");
}

DocxTemplateValue applyFilter(const QString &name, const DocxTemplateValue &input, const DocxFilterArguments &args)
{
    const Filter f = filters().value(canonicalName(name));
    return f ? f(input, args) : undefinedValue();
}

DocxTemplateValue rangeOf(const QList<DocxTemplateValue> &args)
{
    const qint64 start = args.size() >= 2 ? qint64(args.at(0).toDouble()) : 0;
    const qint64 stop = qint64(args.value(args.size() >= 2 ? 1 : 0).toDouble());
    const qint64 step = args.size() >= 3 ? qint64(args.at(2).toDouble()) : 1;
    QJsonArray out;
    if (step == 0)
        return out;
    for (qint64 i = start; (step > 0 ? i < stop : i > stop) && out.size() < kLongestRange; i += step)
        out.append(double(i));
    return out;
}
