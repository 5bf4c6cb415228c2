// Cutting a large HTML page into pieces that read, one after the other, as the
// whole page reads.
//
// A cut goes only where the rich-text reader is back at the top of the body:
// after the end tag of a top-level block and before the start tag of the next
// one, with nothing but white space between them. Only plain, well-nested
// markup is followed: at the first thing a reader could take in more than one
// way (a tag or comment of unusual form, an end tag that closes an element
// left open, a block inside a paragraph, a style sheet or script in the body)
// the cutting ends, and the rest of the page is one piece.
#include "DocxHtmlCuts.h"
#include "DocxHtmlTokens.h"

#include <QSet>

namespace {

bool isOneOf(const QString &name, const QSet<QString> &names) { return names.contains(name); }

// Blocks a cut may follow or precede.
bool isCutBlock(const QString &name)
{
    static const QSet<QString> blocks = {
        QStringLiteral("p"),  QStringLiteral("h1"), QStringLiteral("h2"),    QStringLiteral("h3"),
        QStringLiteral("h4"), QStringLiteral("h5"), QStringLiteral("h6"),    QStringLiteral("ul"),
        QStringLiteral("ol"), QStringLiteral("dl"), QStringLiteral("table"), QStringLiteral("div"),
        QStringLiteral("pre"), QStringLiteral("blockquote"),
    };
    return isOneOf(name, blocks);
}

// Elements that may stand inside a paragraph.
bool isInline(const QString &name)
{
    static const QSet<QString> inlines = {
        QStringLiteral("a"),      QStringLiteral("b"),     QStringLiteral("i"),    QStringLiteral("u"),
        QStringLiteral("s"),      QStringLiteral("em"),    QStringLiteral("strong"), QStringLiteral("span"),
        QStringLiteral("code"),   QStringLiteral("sub"),   QStringLiteral("sup"),  QStringLiteral("small"),
        QStringLiteral("big"),    QStringLiteral("font"),  QStringLiteral("br"),   QStringLiteral("img"),
        QStringLiteral("tt"),     QStringLiteral("kbd"),   QStringLiteral("var"),  QStringLiteral("samp"),
        QStringLiteral("cite"),   QStringLiteral("q"),     QStringLiteral("abbr"), QStringLiteral("strike"),
        QStringLiteral("del"),    QStringLiteral("ins"),   QStringLiteral("mark"), QStringLiteral("dfn"),
        QStringLiteral("nobr"),
    };
    return isOneOf(name, inlines);
}

// Elements of lists and tables whose end tag may be left out: the end tag of
// the list or table closes them.
bool hasOptionalEnd(const QString &name)
{
    static const QSet<QString> optional = {
        QStringLiteral("li"), QStringLiteral("dt"),    QStringLiteral("dd"),    QStringLiteral("td"),
        QStringLiteral("th"), QStringLiteral("tr"),    QStringLiteral("thead"), QStringLiteral("tbody"),
        QStringLiteral("tfoot"), QStringLiteral("colgroup"),
    };
    return isOneOf(name, optional);
}

// Elements a head holds (and the root).
bool isHeadElement(const QString &name)
{
    static const QSet<QString> head = {
        QStringLiteral("html"),  QStringLiteral("head"), QStringLiteral("meta"),   QStringLiteral("title"),
        QStringLiteral("link"),  QStringLiteral("base"), QStringLiteral("style"),  QStringLiteral("script"),
    };
    return isOneOf(name, head);
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isHtmlSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}
// Characters of an attribute name or an unquoted value.
bool isPlainAttrChar(QChar c)
{
    return c.unicode() > 0x20 && !QStringView(u"\"'<>/=`").contains(c);
}

struct Tag
{
    QString name;  // lower case
    int rowSpan = 1;  // of a table cell
    int colSpan = 1;
    bool width = false;  // has a width attribute
    bool end = false;
    bool selfClosing = false;
    qsizetype start = 0;
    qsizetype next = 0;  // just past its '>'
};

class Scanner
{
public:
    explicit Scanner(const QString &html) : html_(html) {}

    qsizetype size() const { return html_.size(); }
    qsizetype indexOf(QChar c, qsizetype from) const { return html_.indexOf(c, from); }
    QChar at(qsizetype i) const { return i < html_.size() ? html_[i] : QChar(); }
    bool startsWithAt(qsizetype i, QLatin1String s) const { return QStringView(html_).mid(i).startsWith(s); }

    // Reads a tag of the plain forms `<name a="v" b='v' c=v d>`, `<name/>` or
    // `</name>` at `i`; false for anything else (attribute values holding
    // '<' or '>' included).
    bool readTag(qsizetype i, Tag &tag) const
    {
        tag = Tag();
        tag.start = i++;
        if (at(i) == QLatin1Char('/')) {
            tag.end = true;
            ++i;
        }
        const qsizetype nameStart = i;
        if (!isAsciiLetter(at(i)))
            return false;
        while (isAsciiLetter(at(i)) || isAsciiDigit(at(i)))
            ++i;
        tag.name = html_.mid(nameStart, i - nameStart).toLower();
        for (;;) {
            const bool spaced = skipSpace(i);
            const QChar c = at(i);
            if (c == QLatin1Char('>')) {
                tag.next = i + 1;
                return true;
            }
            if (c == QLatin1Char('/')) {
                tag.selfClosing = true;
                tag.next = i + 2;
                return at(i + 1) == QLatin1Char('>') && !tag.end;
            }
            if (!spaced || tag.end || !readAttribute(i, tag))
                return false;
        }
    }

    // The end of the comment starting at `i` ("<!--" ... "-->" with no "--"
    // inside), or -1.
    qsizetype commentEnd(qsizetype i) const
    {
        const qsizetype close = html_.indexOf(QLatin1String("--"), i + 4);
        if (close < 0 || close == i + 4 || !startsWithAt(close, QLatin1String("-->")) || at(i + 4) == QLatin1Char('>'))
            return -1;
        return close + 3;
    }

    // The end tag of the raw-text element whose start tag is `tag`; false
    // when it has none.
    bool readRawTextEnd(const Tag &tag, Tag &end) const
    {
        const qsizetype close = html_.indexOf(QLatin1String("</") + tag.name, tag.next, Qt::CaseInsensitive);
        return close >= 0 && readTag(close, end) && end.name == tag.name;
    }

    QStringView text(qsizetype from, qsizetype to) const { return QStringView(html_).mid(from, to - from); }

private:
    bool skipSpace(qsizetype &i) const
    {
        const qsizetype from = i;
        while (isHtmlSpace(at(i)))
            ++i;
        return i > from;
    }

    bool readAttribute(qsizetype &i, Tag &tag) const
    {
        const qsizetype nameStart = i;
        while (isPlainAttrChar(at(i)))
            ++i;
        if (i == nameStart)
            return false;
        const QStringView name = text(nameStart, i);
        int *span = name.compare(QLatin1String("rowspan"), Qt::CaseInsensitive) == 0 ? &tag.rowSpan
            : name.compare(QLatin1String("colspan"), Qt::CaseInsensitive) == 0    ? &tag.colSpan
                                                                                   : nullptr;
        tag.width = tag.width || name.compare(QLatin1String("width"), Qt::CaseInsensitive) == 0;
        qsizetype j = i;
        skipSpace(j);
        if (at(j) != QLatin1Char('='))
            return true;  // a name alone
        ++j;
        skipSpace(j);
        const QChar quote = at(j);
        if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
            const qsizetype close = html_.indexOf(quote, j + 1);
            if (close < 0 || text(j + 1, close).contains(QLatin1Char('<')) || text(j + 1, close).contains(QLatin1Char('>')))
                return false;
            if (span)
                *span = qMax(1, text(j + 1, close).trimmed().toInt());
            i = close + 1;
            return true;
        }
        const qsizetype valueStart = j;
        while (isPlainAttrChar(at(j)) || at(j) == QLatin1Char('/'))
            ++j;
        if (span)
            *span = qMax(1, text(valueStart, j).toInt());
        i = j;
        return j > valueStart;
    }

    const QString &html_;
};

bool isBlank(QStringView text)
{
    for (const QChar c : text) {
        if (!isHtmlSpace(c))
            return false;
    }
    return true;
}

// Where the body's content starts: the end of the body start tag; 0 for a
// fragment, a page whose first tag is a block; -1 when neither is found or
// the head is not plain: text, elements a head does not hold, raw text that
// could be read as markup, a style sheet whose rules look at the element
// before (which a piece may not hold).
qsizetype bodyContentStart(const Scanner &s)
{
    bool sawTag = false;
    qsizetype i = 0;
    for (;;) {
        const QStringView rest = s.text(i, s.size());
        const qsizetype lt = rest.indexOf(QLatin1Char('<'));
        if (lt < 0 || !isBlank(rest.left(lt)))
            return -1;  // text before the body is content that every piece would repeat
        i += lt;
        if (s.startsWithAt(i, QLatin1String("<!--"))) {
            i = s.commentEnd(i);
            if (i < 0)
                return -1;
            continue;
        }
        if (!sawTag && s.text(i, i + 9).compare(QLatin1String("<!DOCTYPE"), Qt::CaseInsensitive) == 0) {
            const qsizetype close = rest.indexOf(QLatin1Char('>'), lt);
            if (close < 0)
                return -1;
            i += close - lt + 1;
            sawTag = true;
            continue;
        }
        Tag tag;
        if (!s.readTag(i, tag))
            return -1;
        if (!tag.end && tag.name == QLatin1String("body"))
            return tag.next;
        if (!tag.end && isCutBlock(tag.name))
            return sawTag ? -1 : 0;
        if (!isHeadElement(tag.name))
            return -1;
        sawTag = true;
        i = tag.next;
        if (!tag.end && hasRawText(tag.name)) {
            // Content with a '<' may be read as markup; a style sheet with a
            // '+' has rules that look at the element before.
            Tag end;
            if (!s.readRawTextEnd(tag, end))
                return -1;
            const QStringView content = s.text(tag.next, end.start);
            if (content.contains(QLatin1Char('<'))
                || (tag.name == QLatin1String("style") && content.contains(QLatin1Char('+'))))
                return -1;
            i = end.next;
        }
    }
}

// True when the table whose start tag ends at `from` is regular: rows of as
// many cells each, none spanning rows or columns, widths given in the first
// row only, no footer rows (which the reader moves to the end). The rows of
// such a table read alone as they read together, with the same columns.
bool isRegularTable(const Scanner &s, qsizetype from)
{
    int nested = 0, rows = 0, cells = -1, firstRowCells = -1;
    for (qsizetype i = from; (i = s.indexOf(QLatin1Char('<'), i)) >= 0;) {
        if (s.startsWithAt(i, QLatin1String("<!--"))) {
            i = s.commentEnd(i);
            if (i < 0)
                return false;
            continue;
        }
        Tag tag;
        if (!s.readTag(i, tag))
            return false;
        i = tag.next;
        if (!tag.end && hasRawText(tag.name)) {
            Tag end;
            if (!s.readRawTextEnd(tag, end))
                return false;
            i = end.next;
            continue;
        }
        if (tag.name == QLatin1String("table")) {
            if (!tag.end)
                ++nested;
            else if (nested-- == 0)
                return cells == firstRowCells || rows <= 1;
            continue;
        }
        if (nested > 0 || tag.end)
            continue;
        if (tag.name == QLatin1String("tfoot"))
            return false;
        if (tag.name == QLatin1String("tr")) {
            if (rows == 1)
                firstRowCells = cells;
            else if (rows > 1 && cells != firstRowCells)
                return false;
            ++rows;
            cells = 0;
        } else if (tag.name == QLatin1String("td") || tag.name == QLatin1String("th")) {
            if (rows == 0 || tag.rowSpan > 1 || tag.colSpan > 1 || (tag.width && rows > 1))
                return false;
            ++cells;
        }
    }
    return false;
}

// A top-level table, cut between two of its rows when it is large: only a
// regular one, and only where the rows read alone (no row of a cell spanning
// rows is left behind).
struct TopTable
{
    QString startTag;      // of the table
    QString groupTag;      // of the tbody that holds the rows, when explicit
    int rows = 0;          // read so far
    int reach = 0;         // rows that cells spanning rows cover
    bool regular = false;    // see isRegularTable
    bool irregular = false;  // a row that closes the one before: rows are not followed
    qsizetype afterRow = -1;  // just past the end tag of the last row

    // True when `open` (the elements open around a tag) are the table, or the
    // table and its tbody.
    static bool holdsRows(const QStringList &open)
    {
        return !open.isEmpty() && open.first() == QLatin1String("table")
            && (open.size() == 1 || (open.size() == 2 && open[1] == QLatin1String("tbody")));
    }

    bool cuttableAt(const Scanner &s, const Tag &tag, const QStringList &open, qsizetype pieceStart,
                    qsizetype pieceChars) const
    {
        return !tag.end && tag.name == QLatin1String("tr") && holdsRows(open) && afterRow >= 0 && regular
            && !irregular && reach <= rows && tag.start - pieceStart >= pieceChars && isBlank(s.text(afterRow, tag.start));
    }

    DocxHtmlTableCut cut(const QStringList &open) const
    {
        const bool inGroup = open.size() == 2;
        return {startTag + (inGroup ? groupTag : QString()),
                (inGroup ? QStringLiteral("</tbody>") : QString()) + QStringLiteral("</table>")};
    }

    // Follows a start tag.
    void read(const Scanner &s, const Tag &tag, const QStringList &open)
    {
        afterRow = -1;
        if (open.isEmpty() && tag.name == QLatin1String("table")) {
            *this = TopTable();
            startTag = s.text(tag.start, tag.next).toString();
            regular = isRegularTable(s, tag.next);
        } else if (open.size() == 1 && open.first() == QLatin1String("table") && tag.name == QLatin1String("tbody")) {
            groupTag = s.text(tag.start, tag.next).toString();
        }
        if (open.isEmpty() || open.first() != QLatin1String("table"))
            return;
        if (tag.name == QLatin1String("tr") && open.size() <= 2)
            ++rows;
        else if (tag.name == QLatin1String("tr") && open.last() != QLatin1String("table"))
            irregular = irregular || open.size() <= 4;
        else if ((tag.name == QLatin1String("td") || tag.name == QLatin1String("th")) && open.size() <= 3
                 && open.last() == QLatin1String("tr"))
            reach = qMax(reach, rows - 1 + tag.rowSpan);
    }
};

}  // namespace

DocxHtmlCuts htmlCuts(const QString &html, qsizetype pieceChars)
{
    DocxHtmlCuts result;
    if (html.size() <= pieceChars || html.contains(QChar(0)))
        return result;
    const Scanner s(html);
    const qsizetype bodyStart = bodyContentStart(s);
    if (bodyStart < 0)
        return result;
    result.bodyStart = bodyStart;
    QStringList open;
    qsizetype pieceStart = bodyStart;
    qsizetype afterBlock = -1;  // just past the last top-level block's end tag
    TopTable table;
    qsizetype i = bodyStart;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        if (s.startsWithAt(i, QLatin1String("<!--"))) {
            i = s.commentEnd(i);
            if (i < 0)
                break;
            continue;
        }
        Tag tag;
        if (!s.readTag(i, tag) || hasRawText(tag.name))
            break;
        if (tag.end) {
            if (tag.name == QLatin1String("body") || tag.name == QLatin1String("html"))
                break;
            while (!open.isEmpty() && open.last() != tag.name && hasOptionalEnd(open.last()))
                open.removeLast();
            if (open.isEmpty() || open.last() != tag.name)
                break;
            open.removeLast();
            if (open.isEmpty() && isCutBlock(tag.name))
                afterBlock = tag.next;
            if (tag.name == QLatin1String("tr") && table.holdsRows(open))
                table.afterRow = tag.next;
        } else {
            if (!open.isEmpty() && open.last() == QLatin1String("p") && !isInline(tag.name))
                break;  // a block inside a paragraph closes it, or not, depending on the reader
            const bool cuttable = open.isEmpty() && isCutBlock(tag.name) && afterBlock >= 0
                && tag.start - pieceStart >= pieceChars && isBlank(s.text(afterBlock, tag.start));
            if (cuttable) {
                result.cuts.append(tag.start);
                result.tables.append(DocxHtmlTableCut());
                pieceStart = tag.start;
            }
            if (table.cuttableAt(s, tag, open, pieceStart, pieceChars)) {
                result.cuts.append(tag.start);
                result.tables.append(table.cut(open));
                pieceStart = tag.start;
            }
            table.read(s, tag, open);
            if (open.isEmpty())
                afterBlock = -1;
            if (!isVoidElement(tag.name)) {  // never on the stack
                if (tag.selfClosing)
                    break;  // "<p/>" opens or closes, depending on the reader
                open.append(tag.name);
            }
        }
        i = tag.next;
    }
    return result;
}
