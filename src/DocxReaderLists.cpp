// List paragraphs: numbering each item, its visible label and the list identity
// carried on the block format.
#include "DocxReaderInternal.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>

#include <climits>

namespace {

constexpr int kMaxMarkerLevel = 9;  // level texts name levels 1 to 9 as %1 to %9
// Roman numerals grow by one letter per thousand; larger numbers are written in
// decimal digits so a hostile start value cannot make a label megabytes long.
constexpr int kMaxRomanValue = 100000;

const QChar kBullet(0x2022);

enum class NumberStyle { Decimal, LowerLetter, UpperLetter, LowerRoman, UpperRoman, Unknown };

NumberStyle numberStyleOf(const QString &numFmt)
{
    if (numFmt == QLatin1String("decimal"))
        return NumberStyle::Decimal;
    if (numFmt == QLatin1String("lowerLetter"))
        return NumberStyle::LowerLetter;
    if (numFmt == QLatin1String("upperLetter"))
        return NumberStyle::UpperLetter;
    if (numFmt == QLatin1String("lowerRoman"))
        return NumberStyle::LowerRoman;
    if (numFmt == QLatin1String("upperRoman"))
        return NumberStyle::UpperRoman;
    return NumberStyle::Unknown;
}

// Numbers in a style the Reader does not know are written in decimal.
QString numberText(int n, NumberStyle style)
{
    switch (style) {
    case NumberStyle::LowerLetter: return toLetters(n, false);
    case NumberStyle::UpperLetter: return toLetters(n, true);
    case NumberStyle::LowerRoman: return toRoman(n, false);
    case NumberStyle::UpperRoman: return toRoman(n, true);
    case NumberStyle::Decimal:
    case NumberStyle::Unknown: break;
    }
    return QString::number(n);
}

// The text of the marker "%k" in a label of level `ilvl`: the item's own number
// for its own level, the current number of an outer level in that level's
// style, nothing for a deeper level.
QString markerText(const DocxDocument &doc, int numId, int ilvl, int markedLevel, const QMap<int, int> &numbers,
                   NumberStyle ownStyle)
{
    if (markedLevel > ilvl)
        return {};
    const int n = numbers.contains(markedLevel) ? numbers.value(markedLevel) : doc.levelStart(numId, markedLevel);
    if (markedLevel == ilvl)
        return numberText(n, ownStyle);
    const NumLevel *outer = doc.numLevel(numId, markedLevel);
    return numberText(n, outer ? numberStyleOf(outer->numFmt) : NumberStyle::Decimal);
}

QString fillTemplate(const DocxDocument &doc, int numId, int ilvl, const QString &lvlText,
                     const QMap<int, int> &numbers, NumberStyle ownStyle)
{
    QString label;
    label.reserve(lvlText.size());
    for (qsizetype i = 0; i < lvlText.size(); ++i) {
        const QChar c = lvlText.at(i);
        const int digit = i + 1 < lvlText.size() ? lvlText.at(i + 1).digitValue() : -1;
        if (c == QLatin1Char('%') && digit >= 1 && digit <= kMaxMarkerLevel) {
            label += markerText(doc, numId, ilvl, digit - 1, numbers, ownStyle);
            ++i;
        } else {
            label += c;
        }
    }
    return label;
}

// The symbol fonts write bullets as private-use codes of their own.
QChar symbolFontBullet(QChar code)
{
    switch (code.unicode()) {
    case 0xF076: return QChar(0x25A0);
    case 0xF077: return QChar(0x2714);
    case 0xF0D8: return QChar(0x25CF);
    case 0xF0FC: return QChar(0x2713);
    default: return kBullet;
    }
}

bool isSymbolFont(const QString &font)
{
    const QString f = font.toLower();
    return f == QLatin1String("symbol") || f == QLatin1String("wingdings") || f == QLatin1String("wingdings 2")
        || f == QLatin1String("wingdings 3");
}

int nextNumber(const QMap<int, int> &levels, int ilvl, int start)
{
    if (!levels.contains(ilvl))
        return start;
    const int previous = levels.value(ilvl);
    return previous < INT_MAX ? previous + 1 : previous;
}

}  // namespace

QString toLetters(int n, bool upper)
{
    if (n <= 0)
        return QStringLiteral("?");
    QString letters;
    while (n > 0) {
        letters.prepend(QChar(u'a' + (n - 1) % 26));
        n = (n - 1) / 26;
    }
    return upper ? letters.toUpper() : letters;
}

QString toRoman(int n, bool upper)
{
    if (n <= 0)
        return QStringLiteral("0");
    if (n > kMaxRomanValue)
        return QString::number(n);
    static const struct
    {
        int value;
        const char *letters;
    } pairs[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                 {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    QString roman;
    for (const auto &pair : pairs) {
        while (n >= pair.value) {
            roman += QLatin1String(pair.letters);
            n -= pair.value;
        }
    }
    return upper ? roman.toUpper() : roman;
}

QString bulletGlyph(const QString &lvlText, const QString &font)
{
    if (lvlText.isEmpty())
        return QString(kBullet);
    if (!isSymbolFont(font))
        return lvlText;
    return QString(symbolFontBullet(lvlText.at(0)));
}

QString formatListLabel(const DocxDocument &doc, int numId, int ilvl, const QMap<int, int> &numbers)
{
    const NumLevel *level = doc.numLevel(numId, ilvl);
    if (!level)
        return {};
    if (level->numFmt == QLatin1String("bullet"))
        return bulletGlyph(level->lvlText, level->font);
    if (level->numFmt == QLatin1String("none"))
        return {};
    const NumberStyle style = numberStyleOf(level->numFmt);
    if (style == NumberStyle::Unknown)
        return level->lvlText;
    return fillTemplate(doc, numId, ilvl, level->lvlText, numbers, style);
}

QString applyListLevel(const DocxDocument &doc, int numId, int ilvl, DocxListCounters &listCounters,
                       QTextBlockFormat &bf, QTextCharFormat &labelFmt)
{
    const NumLevel *level = doc.numLevel(numId, ilvl);
    if (!level)
        return {};
    // A shallower or equal item restarts every deeper level.
    QMap<int, int> &levels = listCounters[numId];
    levels.erase(levels.upperBound(ilvl), levels.end());
    const int number = nextNumber(levels, ilvl, doc.levelStart(numId, ilvl));
    levels[ilvl] = number;

    bf.setLeftMargin(level->indentPx);
    bf.setTextIndent(-level->hangingPx);
    bf.setProperty(ListNumIdProperty, numId);
    bf.setProperty(ListLevelProperty, ilvl);
    bf.setProperty(ListBulletProperty, level->numFmt == QLatin1String("bullet"));
    if (!level->font.isEmpty())
        labelFmt.setFontFamilies({level->font});
    if (level->sizePt > 0)
        labelFmt.setFontPointSize(boundedPointSize(level->sizePt));
    return formatListLabel(doc, numId, ilvl, levels);
}
