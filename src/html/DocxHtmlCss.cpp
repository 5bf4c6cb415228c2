// CSS as the rich-text reader takes it. The reader knows lengths in pixels
// and em only and gives up on a whole style sheet at the first thing it does
// not know (a markup comment mark, an at-rule, Word's "%1" list labels), so
// declarations and sheets are given to it in what it knows.
#include "DocxHtmlCss.h"
#include "DocxHtmlTokens.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPixelsPerEm = 16.0;  // the page's default font size
constexpr QLatin1String kImportant("!important");
constexpr QLatin1String kWordProperty("mso-");
constexpr QLatin1String kCustomProperty("--");  // the reader stops reading the sheet at one

struct Unit
{
    const char *name;
    double pixels;
};
constexpr Unit kUnits[] = {{"px", 1.0},        {"pt", 96.0 / 72},  {"pc", 16.0},         {"in", 96.0},
                           {"cm", 96.0 / 2.54}, {"mm", 96.0 / 25.4}, {"rem", kPixelsPerEm}, {"em", kPixelsPerEm}};

QStringView withoutImportant(QStringView v)
{
    v = v.trimmed();
    return v.endsWith(kImportant, Qt::CaseInsensitive) ? v.chopped(kImportant.size()).trimmed() : v;
}

// Properties whose lengths the reader takes in pixels only.
bool isBoxProperty(QStringView property)
{
    for (const char *name : {"margin", "margin-left", "margin-right", "margin-top", "margin-bottom", "padding",
                             "padding-left", "padding-right", "padding-top", "padding-bottom", "text-indent"}) {
        if (property.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString pixels(double px) { return QString::number(px, 'f', 2) + QLatin1String("px"); }

// The value of a box property with its lengths in pixels; `changed` says
// whether one was given in another unit.
QString boxValueInPixels(QStringView value, bool *changed)
{
    QStringList tokens;
    for (QStringView token : value.tokenize(u' ', Qt::SkipEmptyParts)) {
        const std::optional<double> px = cssPixels(token);
        const bool inPixels = token.endsWith(QLatin1String("px"), Qt::CaseInsensitive) || token == QLatin1String("0");
        if (px && !inPixels) {
            tokens.append(pixels(*px));
            *changed = true;
        } else {
            tokens.append(token.toString());
        }
    }
    return tokens.join(QLatin1Char(' '));
}

// Calls `onDeclaration(property, value)` for each declaration.
template <typename OnDeclaration>
void forEachDeclaration(QStringView declarations, OnDeclaration &&onDeclaration)
{
    for (QStringView declaration : declarations.tokenize(u';')) {
        const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
        if (colon > 0)
            onDeclaration(declaration.left(colon).trimmed(), declaration.mid(colon + 1).trimmed());
    }
}

// The declarations of a rule as the reader takes them.
QString readableDeclarations(QStringView declarations)
{
    QStringList kept;
    forEachDeclaration(declarations, [&](QStringView property, QStringView value) {
        if (property.isEmpty() || value.isEmpty() || property.startsWith(kWordProperty, Qt::CaseInsensitive)
            || property.startsWith(kCustomProperty))
            return;
        bool changed = false;
        kept.append(property.toString() + QLatin1Char(':')
                    + (isBoxProperty(property) ? boxValueInPixels(value, &changed) : value.toString()));
    });
    return kept.join(QLatin1Char(';'));
}

// The sheet without comments and markup comment marks (outside strings).
QString withoutComments(QStringView sheet)
{
    QString out;
    out.reserve(sheet.size());
    QChar quote;
    for (qsizetype i = 0; i < sheet.size(); ++i) {
        const QChar c = sheet[i];
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (sheet.mid(i).startsWith(QLatin1String("/*"))) {
            const qsizetype close = sheet.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? sheet.size() : close + 1;
            out += QLatin1Char(' ');
            continue;
        } else if (sheet.mid(i).startsWith(QLatin1String("<!--")) || sheet.mid(i).startsWith(QLatin1String("-->"))) {
            i += sheet[i] == QLatin1Char('<') ? 3 : 2;
            out += QLatin1Char(' ');
            continue;
        }
        out += c;
    }
    return out;
}

// From `i`, the first of `stops` at nesting depth 0 outside strings (or the
// end); a block's '}' closes the nesting its '{' opened.
qsizetype findOutside(QStringView s, qsizetype i, QStringView stops)
{
    int depth = 0;
    QChar quote;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (depth == 0 && stops.contains(c)) {
            return i;
        } else if (c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char('}')) {
            --depth;
        }
    }
    return s.size();
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c.unicode() >= 0x80;
}

// Follows a selector character by character: whether a character stands
// outside strings, brackets and parentheses.
class SelectorNesting
{
public:
    bool outside(QChar c)
    {
        if (!quote_.isNull()) {
            quote_ = c == quote_ ? QChar() : quote_;
            return false;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote_ = c;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('[')) {
            ++depth_;
        } else if (c == QLatin1Char(')') || c == QLatin1Char(']')) {
            --depth_;
        } else {
            return depth_ == 0;
        }
        return false;
    }

private:
    int depth_ = 0;
    QChar quote_;
};

// Whether every class and id one selector names (outside strings, brackets
// and parentheses) is carried by an element of the page. A selector with an
// escaped character is taken to match.
bool namesFound(QStringView selector, const DocxHtmlNames &names)
{
    if (selector.contains(QLatin1Char('\\')))
        return true;
    SelectorNesting nesting;
    for (qsizetype i = 0; i < selector.size(); ++i) {
        const QChar c = selector[i];
        if (!nesting.outside(c) || (c != QLatin1Char('.') && c != QLatin1Char('#')))
            continue;
        qsizetype end = i + 1;
        while (end < selector.size() && isNameChar(selector[end]))
            ++end;
        const QString name = selector.mid(i + 1, end - i - 1).toString().toLower();
        const QSet<QString> &carried = c == QLatin1Char('.') ? names.classes : names.ids;
        if (!name.isEmpty() && !carried.contains(name))
            return false;
        i = end - 1;
    }
    return true;
}

// Whether the reader can read the selector: the argument of a functional
// pseudo-class (":not(.a)", ":nth-child(2)") must be a bare name, or the
// reader reads nothing of the sheet from there on.
bool readerReads(QStringView selector)
{
    SelectorNesting nesting;
    for (qsizetype i = 0; i < selector.size(); ++i) {
        if (!nesting.outside(selector[i]) || selector[i] != QLatin1Char(':'))
            continue;
        qsizetype end = i + 1;
        while (end < selector.size() && (isNameChar(selector[end]) || selector[end] == QLatin1Char(':')))
            ++end;
        if (end >= selector.size() || selector[end] != QLatin1Char('('))
            continue;
        const qsizetype close = selector.indexOf(QLatin1Char(')'), end);
        const QStringView argument = selector.mid(end + 1, close < 0 ? -1 : close - end - 1).trimmed();
        if (close < 0 || argument.isEmpty() || !std::all_of(argument.begin(), argument.end(), isNameChar)
            || argument.front().isDigit())
            return false;
    }
    return true;
}

// For a selector whose last part is "p.C" (C the class of a Word list
// paragraph made a list item, more classes or none after it), the same for
// "li.C"; empty otherwise.
QString itemSelector(QStringView selector, const QSet<QString> &itemClasses)
{
    qsizetype last = selector.size();
    while (last > 0 && !selector[last - 1].isSpace() && selector[last - 1] != QLatin1Char('>')
           && selector[last - 1] != QLatin1Char('+') && selector[last - 1] != QLatin1Char('~'))
        --last;
    const QStringView part = selector.mid(last);
    if (!part.startsWith(QLatin1String("p."), Qt::CaseInsensitive))
        return {};
    qsizetype end = 2;
    while (end < part.size() && isNameChar(part[end]))
        ++end;
    if (!itemClasses.contains(part.mid(2, end - 2).toString().toLower()))
        return {};
    return selector.left(last).toString() + QLatin1String("li") + part.mid(1).toString();
}

// The selectors of a rule (a comma-separated group) that the reader can read
// and that may match an element of the page.
QString selectorsFound(QStringView selectors, const DocxHtmlNames &names)
{
    QStringList kept;
    SelectorNesting nesting;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= selectors.size(); ++i) {
        if (i < selectors.size() && !(nesting.outside(selectors[i]) && selectors[i] == QLatin1Char(',')))
            continue;
        const QStringView selector = selectors.mid(from, i - from).trimmed();
        if (!selector.isEmpty() && readerReads(selector) && namesFound(selector, names)) {
            kept.append(selector.toString());
            const QString asItem = itemSelector(selector, names.itemClasses);
            if (!asItem.isEmpty())
                kept.append(asItem);
        }
        from = i + 1;
    }
    return kept.join(QLatin1String(", "));
}

}  // namespace

DocxHtmlNames htmlNamesOf(QStringView page)
{
    DocxHtmlNames names;
    forEachHtmlTag(page, [&names](const DocxHtmlTag &tag) {
        if (tag.end)
            return;
        if (const DocxHtmlAttribute *a = tag.attribute("class")) {
            for (QStringView c : a->value.tokenize(u' ', Qt::SkipEmptyParts))
                names.classes.insert(c.toString().toLower());
        }
        if (const DocxHtmlAttribute *a = tag.attribute("id"))
            names.ids.insert(a->value.trimmed().toString().toLower());
    });
    return names;
}

QStringView cssValue(QStringView declarations, QLatin1String name)
{
    QStringView found;
    forEachDeclaration(declarations, [&](QStringView property, QStringView value) {
        if (property.compare(name, Qt::CaseInsensitive) == 0)
            found = value;
    });
    return found;
}

bool isCssValue(QStringView v, const char *what)
{
    return withoutImportant(v).compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

std::optional<double> cssPixels(QStringView v)
{
    v = withoutImportant(v);
    if (v == QLatin1String("0"))
        return 0.0;
    for (const Unit &unit : kUnits) {
        if (!v.endsWith(QLatin1String(unit.name), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const double d = v.chopped(qsizetype(qstrlen(unit.name))).toDouble(&ok);
        if (ok && std::isfinite(d))
            return d * unit.pixels;
        return std::nullopt;
    }
    return std::nullopt;
}

QString cssLength(QStringView v)
{
    if (v.endsWith(QLatin1Char('%'))) {
        bool ok = false;
        const double d = v.chopped(1).toDouble(&ok);
        return ok && d >= 0 && std::isfinite(d) ? QString::number(std::lround(d)) + QLatin1Char('%') : QString();
    }
    const std::optional<double> px = cssPixels(v);
    return px && *px >= 0 ? QString::number(std::lround(*px)) : QString();
}

QString cssBoxInPixels(QStringView declarations)
{
    QStringList converted;
    bool changed = false;
    forEachDeclaration(declarations, [&](QStringView property, QStringView value) {
        if (isBoxProperty(property))
            converted.append(property.toString() + QLatin1Char(':') + boxValueInPixels(value, &changed));
    });
    return changed ? converted.join(QLatin1Char(';')) : QString();
}

QString readableStyleSheet(QStringView sheet, const DocxHtmlNames &names)
{
    const QString plain = withoutComments(sheet);
    const QStringView s(plain);
    QString out;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype start = i;
        const qsizetype open = findOutside(s, i, u"{;}");
        if (open >= s.size())
            break;
        const bool atRule = s.mid(start, open - start).trimmed().startsWith(QLatin1Char('@'));
        if (s[open] != QLatin1Char('{')) {  // an at-rule statement, or a stray character
            i = open + 1;
            continue;
        }
        const qsizetype close = findOutside(s, open + 1, u"}");
        i = close + 1;
        if (atRule)
            continue;
        const QString selectors = selectorsFound(s.mid(start, open - start).trimmed(), names);
        const QString declarations = readableDeclarations(s.mid(open + 1, close - open - 1));
        if (!selectors.isEmpty() && !declarations.isEmpty())
            out += selectors + QLatin1String(" {") + declarations + QLatin1String("}\n");
    }
    return out;
}
