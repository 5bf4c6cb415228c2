// One w:p as one block: direct properties merged with the paragraph style, list
// labels, and either the paragraph's runs or a table-of-contents line.
#include "DocxReaderInternal.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextOption>

#include <algorithm>
#include <climits>

namespace {

constexpr int kSingleLineSpacing = 240;  // w:spacing w:line of single spacing

bool parseDecimal(const QString &text, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok)
        *out = v;
    return ok;
}

OptionalTwips optionalTwips(const QString &text)
{
    OptionalTwips t;
    t.given = parseDecimal(text, &t.value);
    return t;
}

// The first-line indent of a w:ind: w:firstLine, else w:hanging negated.
OptionalTwips firstLineIndent(const QDomElement &ind)
{
    const QString firstLine = wAttr(ind, QStringLiteral("firstLine"));
    if (!firstLine.isEmpty())
        return optionalTwips(firstLine);
    const QString hanging = wAttr(ind, QStringLiteral("hanging"));
    OptionalTwips t;
    if (!hanging.isEmpty() && parseDecimal(hanging, &t.value)) {
        t.value = t.value == INT_MIN ? INT_MAX : -t.value;
        t.given = true;
    }
    return t;
}

QTextOption::TabType tabType(const QString &val)
{
    if (val == QLatin1String("right"))
        return QTextOption::RightTab;
    if (val == QLatin1String("center"))
        return QTextOption::CenterTab;
    if (val == QLatin1String("decimal"))
        return QTextOption::DelimiterTab;
    return QTextOption::LeftTab;
}

QChar leaderDelimiter(const QString &leader)
{
    if (leader == QLatin1String("dot") || leader == QLatin1String("middleDot"))
        return QLatin1Char('.');
    if (leader == QLatin1String("hyphen") || leader == QLatin1String("heavy"))
        return QLatin1Char('-');
    if (leader == QLatin1String("underscore"))
        return QLatin1Char('_');
    return QChar();
}

void readTabStops(const QDomElement &tabs, DirectProperties &d)
{
    for (const QDomElement &tab : childElementsByLocalName(tabs, QStringLiteral("tab"))) {
        const QString val = wAttr(tab, QStringLiteral("val"));
        int pos = 0;
        if (!parseDecimal(wAttr(tab, QStringLiteral("pos")), &pos) || val == QLatin1String("clear"))
            continue;
        const QString leader = wAttr(tab, QStringLiteral("leader"));
        d.tabStops.append(QTextOption::Tab(pos * kPxPerTwip, tabType(val), leaderDelimiter(leader)));
        d.tabLeaders.append(leader);
    }
}

void readSpacing(const QDomElement &spacing, DirectProperties &d)
{
    parseDecimal(wAttr(spacing, QStringLiteral("before")), &d.before);
    parseDecimal(wAttr(spacing, QStringLiteral("after")), &d.after);
    int line = 0;
    if (parseDecimal(wAttr(spacing, QStringLiteral("line")), &line) && line >= 1)
        d.line = line;
}

void readNumbering(const QDomElement &numPr, DirectProperties &d)
{
    parseDecimal(wVal(firstChildByLocalName(numPr, QStringLiteral("numId"))), &d.numId);
    parseDecimal(wVal(firstChildByLocalName(numPr, QStringLiteral("ilvl"))), &d.ilvl);
    if (d.numId == 0)
        d.numId = -1;
}




Qt::Alignment alignmentOf(const QString &jc)
{
    if (jc == QLatin1String("center"))
        return Qt::AlignHCenter;
    if (jc == QLatin1String("right"))
        return Qt::AlignRight;
    if (jc == QLatin1String("both"))
        return Qt::AlignJustify;
    return Qt::AlignLeft;
}

void setLineHeight(QTextBlockFormat &bf, int line, const QString &rule)
{
    if (line < 1 || line == kSingleLineSpacing)
        return;
    if (rule == QLatin1String("exact"))
        bf.setLineHeight(line * kPxPerTwip, QTextBlockFormat::FixedHeight);
    else if (rule == QLatin1String("atLeast"))
        bf.setLineHeight(line * kPxPerTwip, QTextBlockFormat::MinimumHeight);
    else
        bf.setLineHeight(line * 100.0 / kSingleLineSpacing, QTextBlockFormat::ProportionalHeight);
}

QTextBlockFormat blockFormat(const StyleProps &s, const DirectProperties &d, bool inTableCell)
{
    QTextBlockFormat bf;
    bf.setAlignment(alignmentOf(s.jc));
    if (!inTableCell && s.spaceBefore >= 1)
        bf.setTopMargin(s.spaceBefore * kPxPerTwip);
    if (!inTableCell && s.spaceAfter >= 1)
        bf.setBottomMargin(s.spaceAfter * kPxPerTwip);
    setLineHeight(bf, s.line, s.lineRule);
    if (s.indLeft != 0)
        bf.setLeftMargin(s.indLeft * kPxPerTwip);
    if (s.indRight != 0)
        bf.setRightMargin(s.indRight * kPxPerTwip);
    if (s.indFirstLine != 0 && s.jc != QLatin1String("center") && s.jc != QLatin1String("right"))
        bf.setTextIndent(s.indFirstLine * kPxPerTwip);
    if (!d.tabStops.isEmpty())
        bf.setTabPositions(d.tabStops);
    if (s.pageBreakBefore)
        bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return bf;
}

// ---- writing the block -------------------------------------------------------

// The first block of a table cell carries the cell's own format (its spans and
// shading) in its block char format: the paragraph's format is merged into it.
void writeBlock(QTextCursor &cursor, bool useCurrentBlock, const QTextBlockFormat &bf, const QTextCharFormat &bcf)
{
    if (useCurrentBlock) {
        cursor.setBlockFormat(bf);
        cursor.mergeBlockCharFormat(bcf);
    } else {
        cursor.insertBlock(bf, bcf);
    }
}

void insertListLabel(QTextCursor &cursor, const QString &label, QTextCharFormat labelFmt)
{
    if (label.isEmpty())
        return;
    labelFmt.setProperty(ListLabelProperty, true);
    cursor.insertText(label + QLatin1Char(' '), labelFmt);
}

}  // namespace

StyleProps mergedProperties(const DocxDocument &doc, DirectProperties &d)
{
    StyleProps s = doc.resolveStyle(d.styleId);
    if (!d.justification.isEmpty())
        s.jc = d.justification;
    if (d.before > 0)
        s.spaceBefore = d.before;
    if (d.after > 0)
        s.spaceAfter = d.after;
    if (d.line > 0)
        s.line = d.line;
    if (d.left.given)
        s.indLeft = d.left.value;
    if (d.right.given)
        s.indRight = d.right.value;
    if (d.firstLine.given)
        s.indFirstLine = d.firstLine.value;
    s.pageBreakBefore = d.pageBreakBefore || (s.hasPageBreakBefore && s.pageBreakBefore);
    if (d.numId == -1 && s.numId >= 1) {
        d.numId = s.numId;
        d.ilvl = s.ilvl;
    }
    return s;
}

DirectProperties readDirectProperties(const QDomElement &p)
{
    DirectProperties d;
    const QDomElement pPr = firstChildByLocalName(p, QStringLiteral("pPr"));
    for (QDomElement c = pPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        const QString name = c.localName();
        if (name == QLatin1String("pStyle")) {
            d.styleId = wVal(c);
        } else if (name == QLatin1String("jc")) {
            d.justification = wVal(c);
        } else if (name == QLatin1String("spacing")) {
            readSpacing(c, d);
        } else if (name == QLatin1String("ind")) {
            d.left = optionalTwips(wAttr(c, QStringLiteral("left")));
            d.right = optionalTwips(wAttr(c, QStringLiteral("right")));
            d.firstLine = firstLineIndent(c);
        } else if (name == QLatin1String("pageBreakBefore")) {
            d.pageBreakBefore = true;
        } else if (name == QLatin1String("numPr")) {
            readNumbering(c, d);
        } else if (name == QLatin1String("tabs")) {
            readTabStops(c, d);
        }
    }
    return d;
}


void convertParagraph(QTextCursor &cursor, const QDomElement &p, const DocxDocument &doc, bool useCurrentBlock,
                      DocxListCounters &listCounters, const DocxImageRels &imageRels, bool inTableCell,
                      QList<DocxBlockSource> *sources)
{
    DirectProperties direct = readDirectProperties(p);
    const StyleProps style = mergedProperties(doc, direct);
    QTextBlockFormat bf = blockFormat(style, direct, inTableCell);
    const QTextCharFormat bcf = paragraphCharFormat(doc, direct.styleId);
    QTextCharFormat labelFmt = bcf;
    QString label;
    if (direct.numId > 0)
        label = applyListLevel(doc, direct.numId, direct.ilvl, listCounters, bf, labelFmt);

    writeBlock(cursor, useCurrentBlock, bf, bcf);
    const int firstBlock = cursor.block().blockNumber();
    auto origin = std::make_shared<DocxParagraphSource>();
    origin->paragraph = p;
    origin->alignment = int(bf.alignment());
    cursor.block().setUserData(new DocxBlockOrigin(origin, -1));
    insertListLabel(cursor, label, labelFmt);
    convertRuns(cursor, p, bcf, doc, imageRels, origin, direct.tabStops);
    if (sources)
        sources->append({p, firstBlock, cursor.block().blockNumber(), false});
}
