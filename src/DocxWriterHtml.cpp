// Cutting a large HTML page into pieces that read, one after the other, as the
// whole page reads.
//
// A cut goes only where the rich-text reader is back at the top of the body:
// after the end tag of a top-level block and before the start tag of the next
// one, with nothing but white space between them. The tags are followed with
// a stack; anything the stack cannot account for (an end tag that closes
// nothing open, a body style sheet, a comment without end) ends the cutting,
// and the rest of the page is one piece.
#include "DocxWriter.h"

#include <QSet>

namespace {

// Blocks a cut may follow or precede.
bool isCutBlock(QStringView name)
{
    static const QSet<QString> blocks = {
        QStringLiteral("p"),  QStringLiteral("h1"), QStringLiteral("h2"),    QStringLiteral("h3"),
        QStringLiteral("h4"), QStringLiteral("h5"), QStringLiteral("h6"),    QStringLiteral("ul"),
        QStringLiteral("ol"), QStringLiteral("dl"), QStringLiteral("table"), QStringLiteral("div"),
        QStringLiteral("pre"), QStringLiteral("blockquote"),
    };
    return blocks.contains(name.toString());
}

// Elements without content: never on the stack.
bool isVoid(QStringView name)
{
    static const QSet<QString> voids = {
        QStringLiteral("br"),   QStringLiteral("img"),   QStringLiteral("hr"),    QStringLiteral("meta"),
        QStringLiteral("link"), QStringLiteral("input"), QStringLiteral("col"),   QStringLiteral("area"),
        QStringLiteral("base"), QStringLiteral("embed"), QStringLiteral("param"), QStringLiteral("source"),
        QStringLiteral("track"), QStringLiteral("wbr"),
    };
    return voids.contains(name.toString());
}

// Elements whose end tag may be left out: an end tag further out closes them.
bool hasOptionalEnd(QStringView name)
{
    static const QSet<QString> optional = {
        QStringLiteral("p"),     QStringLiteral("li"),    QStringLiteral("dt"),    QStringLiteral("dd"),
        QStringLiteral("td"),    QStringLiteral("th"),    QStringLiteral("tr"),    QStringLiteral("thead"),
        QStringLiteral("tbody"), QStringLiteral("tfoot"), QStringLiteral("option"), QStringLiteral("colgroup"),
    };
    return optional.contains(name.toString());
}

// Elements whose content is text up to their end tag.
bool hasRawText(QStringView name)
{
    return name == QLatin1String("script") || name == QLatin1String("style") || name == QLatin1String("textarea")
        || name == QLatin1String("title") || name == QLatin1String("xmp");
}

bool isNameStart(QChar c) { return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')); }

struct Tag
{
    QString name;  // lower case
    bool end = false;
    bool selfClosing = false;
    qsizetype start = 0;
    qsizetype next = 0;  // just past its '>'
};

// Reads the tag at `at` (which holds '<' followed by a name or "/name");
// false when it has no '>'.
bool readTag(const QString &html, qsizetype at, Tag &tag)
{
    tag = Tag();
    tag.start = at;
    qsizetype i = at + 1;
    if (html[i] == QLatin1Char('/')) {
        tag.end = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < html.size() && (html[i].isLetterOrNumber() || html[i] == QLatin1Char('-') || html[i] == QLatin1Char(':')))
        ++i;
    tag.name = html.mid(nameStart, i - nameStart).toLower();
    QChar quote;
    for (; i < html.size(); ++i) {
        const QChar c = html[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('>')) {
            tag.selfClosing = html[i - 1] == QLatin1Char('/');
            tag.next = i + 1;
            return true;
        }
    }
    return false;
}

bool isBlank(QStringView text)
{
    for (const QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// Where the body's content starts: the end of the body start tag; 0 for a
// fragment, a page whose first tag is a block; -1 when neither is found.
// Comments and the head's raw-text elements are stepped over; a style sheet
// with a '+' (a rule that looks at the element before, which a piece may not
// hold) gives -1 too.
qsizetype bodyContentStart(const QString &html)
{
    bool sawTag = false;
    qsizetype i = 0;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        if (QStringView(html).mid(i).startsWith(QLatin1String("<!--"))) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), i + 4);
            if (close < 0)
                return -1;
            i = close + 3;
            continue;
        }
        Tag tag;
        if (i + 1 >= html.size() || !(isNameStart(html[i + 1]) || html[i + 1] == QLatin1Char('/'))) {
            ++i;
            continue;
        }
        if (!readTag(html, i, tag))
            return -1;
        if (!tag.end && tag.name == QLatin1String("body"))
            return tag.next;
        if (!tag.end && isCutBlock(tag.name))
            return sawTag ? -1 : 0;
        sawTag = true;
        if (!tag.end && hasRawText(tag.name)) {
            const qsizetype close = html.indexOf(QLatin1String("</") + tag.name, tag.next, Qt::CaseInsensitive);
            if (close < 0 || (tag.name == QLatin1String("style")
                              && QStringView(html).mid(tag.next, close - tag.next).contains(QLatin1Char('+'))))
                return -1;
            i = close;
            continue;
        }
        i = tag.next;
    }
    return -1;
}

}  // namespace

DocxHtmlCuts htmlCuts(const QString &html, qsizetype pieceChars)
{
    DocxHtmlCuts result;
    if (html.size() <= pieceChars)
        return result;
    const qsizetype bodyStart = bodyContentStart(html);
    if (bodyStart < 0)
        return result;
    result.bodyStart = bodyStart;
    QStringList open;
    qsizetype pieceStart = bodyStart;
    qsizetype afterBlock = -1;  // just past the last top-level block's end tag
    qsizetype i = bodyStart;
    while ((i = html.indexOf(QLatin1Char('<'), i)) >= 0) {
        if (QStringView(html).mid(i).startsWith(QLatin1String("<!--"))) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), i + 4);
            if (close < 0)
                break;
            i = close + 3;
            continue;
        }
        if (i + 1 >= html.size())
            break;
        if (html[i + 1] == QLatin1Char('!') || html[i + 1] == QLatin1Char('?')) {
            const qsizetype close = html.indexOf(QLatin1Char('>'), i);
            if (close < 0)
                break;
            i = close + 1;
            continue;
        }
        if (!(isNameStart(html[i + 1]) || html[i + 1] == QLatin1Char('/'))) {
            ++i;  // a '<' in text
            continue;
        }
        Tag tag;
        if (!readTag(html, i, tag))
            break;
        if (tag.end) {
            if (tag.name == QLatin1String("body") || tag.name == QLatin1String("html"))
                break;
            const qsizetype at = open.lastIndexOf(tag.name);
            if (at < 0)
                break;
            for (qsizetype k = at + 1; k < open.size(); ++k) {
                if (!hasOptionalEnd(open[k]))
                    return result;
            }
            open.resize(at);
            if (open.isEmpty() && isCutBlock(tag.name))
                afterBlock = tag.next;
        } else if (hasRawText(tag.name)) {
            if (tag.name == QLatin1String("style"))
                break;  // a style sheet in the body applies to the whole page
            const qsizetype close = html.indexOf(QLatin1String("</") + tag.name, tag.next, Qt::CaseInsensitive);
            Tag end;
            if (close < 0 || !readTag(html, close, end))
                break;
            afterBlock = -1;
            i = end.next;
            continue;
        } else {
            const bool cuttable = open.isEmpty() && isCutBlock(tag.name) && afterBlock >= 0
                && tag.start - pieceStart >= pieceChars
                && isBlank(QStringView(html).mid(afterBlock, tag.start - afterBlock));
            if (cuttable) {
                result.cuts.append(tag.start);
                pieceStart = tag.start;
            }
            if (open.isEmpty())
                afterBlock = -1;
            if (!isVoid(tag.name)) {
                if (tag.selfClosing)
                    break;  // "<p/>" opens or closes, depending on the reader
                open.append(tag.name);
            }
        }
        i = tag.next;
    }
    return result;
}
