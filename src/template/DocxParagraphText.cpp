// Reading a paragraph's text across its runs and splicing new text into them.
#include "DocxParagraphText.h"

#include "DocxNamespaces.h"
#include "DocxXml.h"

#include <algorithm>

namespace {

bool isW(const QDomNode &node, const char *localName)
{
    return node.isElement() && node.localName() == QLatin1String(localName) && isNamespace(node.namespaceURI(), kNsW);
}

// Removed or moved-away text is no longer part of what the paragraph reads.
bool isGoneText(const QDomNode &node) { return isW(node, "del") || isW(node, "moveFrom"); }

// What a non-breaking hyphen reads as, and a symbol of a symbol font: a
// character no typed word holds, so a match crosses a symbol only when an
// expression asks for any character there.
constexpr char16_t kNonBreakingHyphen = 0x2011;
constexpr char16_t kSymbol = 0xFFFC;

// The character a one-character run element stands for; null when none.
QChar characterOf(const QDomElement &el)
{
    if (isW(el, "tab"))
        return QLatin1Char('\t');
    if (isW(el, "br") || isW(el, "cr"))
        return QLatin1Char('\n');
    if (isW(el, "noBreakHyphen"))
        return QChar(kNonBreakingHyphen);
    if (isW(el, "sym"))
        return QChar(kSymbol);
    return QChar();
}

void setText(QDomElement t, const QString &text)
{
    while (!t.firstChild().isNull())
        t.removeChild(t.firstChild());
    t.appendChild(t.ownerDocument().createTextNode(text));
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        preserveSpace(t);
}

bool holdsOnlyProperties(const QDomElement &run)
{
    for (QDomElement c = run.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (!isW(c, "rPr"))
            return false;
    }
    return true;
}

}  // namespace

DocxParagraphText::DocxParagraphText(const QDomElement &paragraph) : paragraph_(paragraph)
{
    QDomNode node = nextInTree(paragraph, paragraph);
    while (!node.isNull()) {
        const bool ownRun = isW(node, "r");
        if (ownRun)
            collect(node.toElement());
        const bool passOver = ownRun || isW(node, "p") || isGoneText(node);
        node = nextInTree(node, paragraph, !passOver);
    }
}

void DocxParagraphText::collect(const QDomElement &run)
{
    for (QDomElement c = run.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        Piece piece{c, text_.size(), 0, isW(c, "t")};
        if (piece.isText) {
            text_ += c.text();
        } else {
            const QChar ch = characterOf(c);
            if (ch.isNull())
                continue;
            text_ += ch;
        }
        piece.length = text_.size() - piece.start;
        if (piece.length > 0)
            pieces_.append(piece);
    }
}

qsizetype DocxParagraphText::pieceAt(qsizetype pos) const
{
    const auto after = std::upper_bound(pieces_.cbegin(), pieces_.cend(), pos,
                                        [](qsizetype p, const Piece &piece) { return p < piece.start; });
    return after - pieces_.cbegin() - 1;
}

// Drops the first `count` characters of a piece (all of a one-character piece).
void DocxParagraphText::drop(const Piece &piece, qsizetype count)
{
    if (!piece.isText || count >= piece.node.text().size())
        emptied_.append(piece.node);
    else
        setText(piece.node, piece.node.text().mid(count));
}

QDomElement DocxParagraphText::insertReplacement(QDomElement after, const QString &replacement)
{
    QDomNode run = after.parentNode();
    QDomDocument dom = after.ownerDocument();
    QString pending;
    const auto flush = [&] {
        if (pending.isEmpty())
            return;
        QDomElement t = createW(dom, "t");
        setText(t, pending);
        after = run.insertAfter(t, after).toElement();
        pending.clear();
    };
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t')) {
            pending += c;
            continue;
        }
        if (c == QLatin1Char('\r') && i + 1 < replacement.size() && replacement.at(i + 1) == QLatin1Char('\n'))
            ++i;
        flush();
        after = run.insertAfter(createW(dom, c == QLatin1Char('\t') ? "tab" : "br"), after).toElement();
    }
    flush();
    return after;
}

void DocxParagraphText::replace(qsizetype start, qsizetype end, const QString &replacement)
{
    const qsizetype first = pieceAt(start);
    const qsizetype last = pieceAt(end - 1);
    const Piece &head = pieces_[first];
    touchedRuns_.append(head.node.parentNode().toElement());
    QString suffix;
    if (head.isText) {
        const QString was = head.node.text();
        if (first == last)
            suffix = was.mid(end - head.start);
        setText(head.node, was.left(start - head.start));
    } else {
        emptied_.append(head.node);
    }
    const QDomElement placed = insertReplacement(head.node, replacement);
    if (!suffix.isEmpty())
        insertReplacement(placed, suffix);
    for (qsizetype k = first + 1; k <= last; ++k) {
        const Piece &piece = pieces_[k];
        touchedRuns_.append(piece.node.parentNode().toElement());
        drop(piece, k < last ? piece.length : end - piece.start);
    }
}

void DocxParagraphText::dropMarksWithin(qsizetype start, qsizetype end)
{
    const QDomNode headRun = pieces_[pieceAt(start)].node.parentNode();
    const QDomNode tailRun = pieces_[pieceAt(end - 1)].node.parentNode();
    QList<QDomElement> marks;
    QStringList bookmarkIds;
    for (QDomNode n = nextInTree(headRun, paragraph_, false); !n.isNull() && n != tailRun;
         n = nextInTree(n, paragraph_, !isW(n, "r") && !isW(n, "p"))) {
        if (isW(n, "proofErr") || isW(n, "bookmarkStart") || isW(n, "bookmarkEnd")) {
            marks.append(n.toElement());
            if (!isW(n, "proofErr"))
                bookmarkIds.append(wAttr(n.toElement(), QStringLiteral("id")));
        }
    }
    for (QDomNode n = nextInTree(paragraph_, paragraph_); !n.isNull() && !bookmarkIds.isEmpty(); n = nextInTree(n, paragraph_)) {
        if ((isW(n, "bookmarkStart") || isW(n, "bookmarkEnd")) && bookmarkIds.contains(wAttr(n.toElement(), QStringLiteral("id")))
            && !marks.contains(n.toElement()))
            marks.append(n.toElement());
    }
    for (QDomElement &mark : marks)
        mark.parentNode().removeChild(mark);
}

void DocxParagraphText::tidy()
{
    for (QDomElement &node : emptied_)
        node.parentNode().removeChild(node);
    for (QDomElement &run : touchedRuns_) {
        for (QDomElement c = run.firstChildElement(); !c.isNull();) {
            const QDomElement next = c.nextSiblingElement();
            if (isW(c, "t") && c.text().isEmpty())
                run.removeChild(c);
            c = next;
        }
        if (!run.parentNode().isNull() && holdsOnlyProperties(run))
            run.parentNode().removeChild(run);
    }
    emptied_.clear();
    touchedRuns_.clear();
}
