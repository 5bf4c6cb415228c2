// List paragraphs: numbering each item, its visible label and the list identity
// carried on the block format.
#include "DocxReaderInternal.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>

#include <climits>

namespace {

constexpr int kMaxMarkerLevel = 9;  // level texts name levels 1 to 9 as %1 to %9
// Numerals that grow with the number (roman numerals by one letter per
// thousand, symbol numbering by one symbol per four) are written in decimal
// digits beyond these, so a hostile start value cannot make a label megabytes long.
constexpr int kMaxRomanValue = 100000;
constexpr int kMaxSymbolValue = 400;
// Numbers spelled out in words up to this value; larger ones in digits.
constexpr int kMaxWordsValue = 999'999'999;

const QChar kBullet(0x2022);

// ---- numbers in words -----------------------------------------------------

const char *const kUnits[] = {"zero",    "one",     "two",       "three",    "four",    "five",    "six",
                              "seven",   "eight",   "nine",      "ten",      "eleven",  "twelve",  "thirteen",
                              "fourteen", "fifteen", "sixteen",  "seventeen", "eighteen", "nineteen"};
const char *const kTens[] = {"", "", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"};

QString wordsBelowThousand(int n)
{
    QString out;
    if (n >= 100) {
        out = QLatin1String(kUnits[n / 100]) + QLatin1String(" hundred");
        n %= 100;
        if (n == 0)
            return out;
        out += QLatin1Char(' ');
    }
    if (n < 20)
        return out + QLatin1String(kUnits[n]);
    out += QLatin1String(kTens[n / 10]);
    return n % 10 ? out + QLatin1Char('-') + QLatin1String(kUnits[n % 10]) : out;
}

// "one thousand and one", "twenty-one": English words, lower case.
QString cardinalWords(int n)
{
    if (n == 0)
        return QLatin1String(kUnits[0]);
    static const struct
    {
        int value;
        const char *name;
    } scales[] = {{1'000'000, "million"}, {1000, "thousand"}};
    QString out;
    for (const auto &scale : scales) {
        if (n >= scale.value) {
            out += wordsBelowThousand(n / scale.value) + QLatin1Char(' ') + QLatin1String(scale.name);
            n %= scale.value;
            if (n > 0)
                out += n < 100 ? QLatin1String(" and ") : QLatin1String(" ");
        }
    }
    return n > 0 ? out + wordsBelowThousand(n) : out;
}

// The ordinal of the last word: "one" -> "first", "twenty" -> "twentieth".
QString ordinalWords(const QString &cardinal)
{
    static const QHash<QString, QString> irregular = {
        {QStringLiteral("one"), QStringLiteral("first")},   {QStringLiteral("two"), QStringLiteral("second")},
        {QStringLiteral("three"), QStringLiteral("third")}, {QStringLiteral("five"), QStringLiteral("fifth")},
        {QStringLiteral("eight"), QStringLiteral("eighth")}, {QStringLiteral("nine"), QStringLiteral("ninth")},
        {QStringLiteral("twelve"), QStringLiteral("twelfth")},
    };
    const qsizetype cut = qMax(cardinal.lastIndexOf(QLatin1Char(' ')), cardinal.lastIndexOf(QLatin1Char('-'))) + 1;
    const QString last = cardinal.mid(cut);
    QString ordinal = irregular.value(last);
    if (ordinal.isEmpty())
        ordinal = last.endsWith(QLatin1Char('y')) ? last.chopped(1) + QLatin1String("ieth") : last + QLatin1String("th");
    return cardinal.left(cut) + ordinal;
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString ordinalSuffix(int n)
{
    const int lastTwo = n % 100;
    if (lastTwo >= 11 && lastTwo <= 13)
        return QStringLiteral("th");
    switch (n % 10) {
    case 1: return QStringLiteral("st");
    case 2: return QStringLiteral("nd");
    case 3: return QStringLiteral("rd");
    default: return QStringLiteral("th");
    }
}

// *, †, ‡, §, then each doubled, tripled and so on.
QString chicagoSymbols(int n)
{
    static const char16_t symbols[] = {u'*', 0x2020, 0x2021, 0x00A7};
    return QString(QChar(symbols[(n - 1) % 4])).repeated((n - 1) / 4 + 1);
}

// Circled numbers exist from 1 to 50 in three runs of code points.
QString enclosedCircle(int n)
{
    if (n >= 1 && n <= 20)
        return QString(QChar(char16_t(0x2460 + n - 1)));
    if (n >= 21 && n <= 35)
        return QString(QChar(char16_t(0x3251 + n - 21)));
    if (n >= 36 && n <= 50)
        return QString(QChar(char16_t(0x32B1 + n - 36)));
    return QString::number(n);
}

// ---- labels -----------------------------------------------------------------

}  // namespace

QString numberText(int n, const QString &numFmt)
{
    if (numFmt == QLatin1String("none") || numFmt == QLatin1String("bullet"))
        return {};
    if (numFmt == QLatin1String("lowerLetter") || numFmt == QLatin1String("upperLetter"))
        return toLetters(n, numFmt.startsWith(QLatin1Char('u')));
    if (numFmt == QLatin1String("lowerRoman") || numFmt == QLatin1String("upperRoman"))
        return toRoman(n, numFmt.startsWith(QLatin1Char('u')));
    if (numFmt == QLatin1String("decimalZero") && n >= 0 && n < 10)
        return QLatin1Char('0') + QString::number(n);
    if (numFmt == QLatin1String("ordinal") && n >= 0)
        return QString::number(n) + ordinalSuffix(n);
    if (numFmt == QLatin1String("cardinalText") && n >= 0 && n <= kMaxWordsValue)
        return capitalised(cardinalWords(n));
    if (numFmt == QLatin1String("ordinalText") && n >= 1 && n <= kMaxWordsValue)
        return capitalised(ordinalWords(cardinalWords(n)));
    if (numFmt == QLatin1String("chicago") && n >= 1 && n <= kMaxSymbolValue)
        return chicagoSymbols(n);
    if (numFmt == QLatin1String("decimalEnclosedCircle"))
        return enclosedCircle(n);
    if (numFmt == QLatin1String("decimalEnclosedParen"))
        return QLatin1Char('(') + QString::number(n) + QLatin1Char(')');
    if (numFmt == QLatin1String("decimalEnclosedFullstop"))
        return QString::number(n) + QLatin1Char('.');
    return QString::number(n);
}

namespace {

// The text of the marker "%k" in the label of an item at level `ilvl`: the
// current number of level k - 1 in that level's format (in decimal digits when
// the item's level asks for legal numbering), nothing for a deeper level.
QString markerText(const DocxDocument &doc, int numId, int ilvl, const NumLevel &own, int markedLevel,
                   const QMap<int, int> &numbers)
{
    if (markedLevel > ilvl)
        return {};
    const int n =
        numbers.contains(markedLevel) ? numbers.value(markedLevel) : doc.numbering().levelStart(numId, markedLevel);
    if (markedLevel == ilvl)
        return numberText(n, own.numFmt);
    const NumLevel *outer = doc.numbering().numLevel(numId, markedLevel);
    return numberText(n, own.isLgl || !outer ? QStringLiteral("decimal") : outer->numFmt);
}

QString fillTemplate(const DocxDocument &doc, int numId, int ilvl, const NumLevel &level, const QMap<int, int> &numbers)
{
    const QString &lvlText = level.lvlText;
    QString label;
    label.reserve(lvlText.size());
    for (qsizetype i = 0; i < lvlText.size(); ++i) {
        const QChar c = lvlText.at(i);
        const int digit = i + 1 < lvlText.size() ? lvlText.at(i + 1).digitValue() : -1;
        if (c == QLatin1Char('%') && digit >= 1 && digit <= kMaxMarkerLevel) {
            label += markerText(doc, numId, ilvl, level, digit - 1, numbers);
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
    case 0xF0A7: return QChar(0x25AA);
    case 0xF0A8: return QChar(0x25A1);
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

// ---- counting -----------------------------------------------------------------

int nextNumber(const QMap<int, int> &levels, int ilvl, int start)
{
    if (!levels.contains(ilvl))
        return start;
    const int previous = levels.value(ilvl);
    return previous < INT_MAX ? previous + 1 : previous;
}

// Whether an item at level `ilvl` restarts the deeper level `deeper`: after any
// shallower item, unless the deeper level names the level after which it
// restarts (1-based) or says it never does.
bool restartsLevel(const DocxDocument &doc, int numId, int ilvl, int deeper)
{
    const NumLevel *level = doc.numbering().numLevel(numId, deeper);
    const int after = level ? level->restartAfter : -1;
    if (after == 0)
        return false;
    if (after < 0 || after - 1 >= deeper)
        return true;
    return ilvl < after;
}

// An instance whose levels start anew (a w:startOverride) restarts them at its
// first item; later items, its own or other instances', continue from there.
void startInstance(const DocxDocument &doc, int numId, QMap<int, int> &levels, DocxRunningNumbers &counters)
{
    if (counters.started.contains(numId))
        return;
    counters.started.insert(numId);
    const QMap<int, int> overrides = doc.numbering().startOverrides().value(numId);
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
        levels.remove(it.key());
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
    const NumLevel *level = doc.numbering().numLevel(numId, ilvl);
    if (!level)
        return {};
    if (level->numFmt == QLatin1String("bullet"))
        return bulletGlyph(level->lvlText, level->font);
    return fillTemplate(doc, numId, ilvl, *level, numbers);
}

QString applyListLevel(const DocxDocument &doc, int numId, int ilvl, DocxRunningNumbers &counters,
                       QTextBlockFormat &bf, QTextCharFormat &labelFmt)
{
    const NumLevel *level = doc.numbering().numLevel(numId, ilvl);
    if (!level)
        return {};
    // Every instance of one abstract list numbers on one set of counters.
    QMap<int, int> &levels = counters.numbers[doc.numbering().numToAbstract().value(numId)];
    startInstance(doc, numId, levels, counters);
    for (auto it = levels.upperBound(ilvl); it != levels.end();)
        it = restartsLevel(doc, numId, ilvl, it.key()) ? levels.erase(it) : std::next(it);
    const int number = nextNumber(levels, ilvl, doc.numbering().levelStart(numId, ilvl));
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
    const QString label = formatListLabel(doc, numId, ilvl, levels);
    if (label.isEmpty())
        return {};
    return level->suffix == QLatin1String("nothing") ? label : label + QLatin1Char(' ');
}
