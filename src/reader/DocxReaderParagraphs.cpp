// One w:p as one block: direct properties merged with the paragraph style,
// block layout (spacing, indents, keeps, page breaks), list labels and content.
#include "DocxReaderInternal.h"

#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <climits>
#include <memory>

namespace {

bool parseDecimal(const QString &text, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok)
        *out = v;
    return ok;
}

bool parseTwips(const QString &text, int *out) { return readMeasure(text, kTwipsPerPoint, out); }

OptionalTwips optionalTwips(const QString &text)
{
    OptionalTwips t;
    t.given = parseTwips(text, &t.value);
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
    if (!hanging.isEmpty() && parseTwips(hanging, &t.value)) {
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
        if (!parseTwips(wAttr(tab, QStringLiteral("pos")), &pos) || val == QLatin1String("clear"))
            continue;
        d.tabStops.append(QTextOption::Tab(pos * kPxPerTwip, tabType(val), leaderDelimiter(wAttr(tab, QStringLiteral("leader")))));
    }
}

// Spacing before or after: automatic spacing (what web pages put around
// paragraphs) wins over a length.
OptionalTwips spacingOf(const QDomElement &spacing, const QString &side)
{
    const QString automatic = wAttr(spacing, side + QLatin1String("Autospacing"));
    if (!automatic.isEmpty() && onOffText(automatic))
        return {kAutoSpacingTwips, true};
    OptionalTwips t = optionalTwips(wAttr(spacing, side));
    t.given = t.given && t.value >= 0;
    return t;
}

void readSpacing(const QDomElement &spacing, DirectProperties &d)
{
    d.before = spacingOf(spacing, QStringLiteral("before"));
    d.after = spacingOf(spacing, QStringLiteral("after"));
    int line = 0;
    if (parseTwips(wAttr(spacing, QStringLiteral("line")), &line) && line >= 1)
        d.line = line;
    d.lineRule = wAttr(spacing, QStringLiteral("lineRule"));
}

OptionalFlag flagOf(const QDomElement &property) { return {onOffValue(property), true}; }

void readNumbering(const QDomElement &numPr, DirectProperties &d)
{
    parseDecimal(wVal(firstChildByLocalName(numPr, QStringLiteral("numId"))), &d.numId);
    d.hasIlvl = parseDecimal(wVal(firstChildByLocalName(numPr, QStringLiteral("ilvl"))), &d.ilvl);
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

QTextBlockFormat blockFormat(const StyleProps &s, const DirectProperties &d, const QString &styleId)
{
    QTextBlockFormat bf;
    bf.setAlignment(alignmentOf(s.jc));
    if (s.spaceBefore >= 1)
        bf.setTopMargin(s.spaceBefore * kPxPerTwip);
    if (s.spaceAfter >= 1)
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
    if (s.keepNext)
        bf.setProperty(KeepWithNextProperty, true);
    if (s.keepLines)
        bf.setProperty(KeepLinesTogetherProperty, true);
    bf.setProperty(ParagraphStyleProperty, styleId);
    if (s.contextualSpacing)
        bf.setProperty(ContextualSpacingProperty, true);
    return bf;
}

// Paragraphs of one style that ask for contextual spacing drop the spacing
// between them: the previous block's after, this one's before.
void applyContextualSpacing(QTextCursor &cursor, QTextBlockFormat &bf)
{
    const QTextBlock previous = cursor.block();
    QTextBlockFormat before = previous.blockFormat();
    if (!before.hasProperty(ParagraphStyleProperty)
        || before.stringProperty(ParagraphStyleProperty) != bf.stringProperty(ParagraphStyleProperty))
        return;
    if (bf.boolProperty(ContextualSpacingProperty))
        bf.setTopMargin(0);
    if (before.boolProperty(ContextualSpacingProperty)) {
        before.setBottomMargin(0);
        QTextCursor(previous).setBlockFormat(before);
    }
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

// A line break inside a paragraph continues it in a block of its own: the
// paragraph's spacing stays around the whole paragraph and its first-line
// indent on its first line.
void joinContinuationBlocks(QTextDocument *qd, int firstBlock, int lastBlock)
{
    for (int n = firstBlock; n <= lastBlock; ++n) {
        const QTextBlock block = qd->findBlockByNumber(n);
        QTextBlockFormat fmt = block.blockFormat();
        if (n > firstBlock) {
            fmt.setTopMargin(0);
            fmt.setTextIndent(0);
        }
        if (n < lastBlock)
            fmt.setBottomMargin(0);
        if (fmt != block.blockFormat())
            QTextCursor(block).setBlockFormat(fmt);
    }
}

void insertListLabel(QTextCursor &cursor, const QString &label, QTextCharFormat labelFmt)
{
    if (label.isEmpty())
        return;
    labelFmt.setProperty(ListLabelProperty, true);
    cursor.insertText(label, labelFmt);
}

}  // namespace

QString effectiveStyleId(const DocxDocument &doc, const QString &styleId)
{
    const DocxStyles &styles = doc.styles();
    return styleId.isEmpty() || !styles.styleMap().contains(styleId) ? styles.defaultParagraphStyle() : styleId;
}

StyleProps mergedProperties(const DocxDocument &doc, DirectProperties &d)
{
    StyleProps s = doc.styles().resolveStyle(effectiveStyleId(doc, d.styleId));
    if (!d.justification.isEmpty())
        s.jc = d.justification;
    if (d.before.given)
        s.spaceBefore = d.before.value;
    if (d.after.given)
        s.spaceAfter = d.after.value;
    if (d.line > 0) {
        s.line = d.line;
        s.lineRule = d.lineRule;
    } else if (!d.lineRule.isEmpty()) {
        s.lineRule = d.lineRule;
    }
    if (d.keepNext.given)
        s.keepNext = d.keepNext.value;
    if (d.keepLines.given)
        s.keepLines = d.keepLines.value;
    if (d.contextualSpacing.given)
        s.contextualSpacing = d.contextualSpacing.value;
    if (d.left.given)
        s.indLeft = d.left.value;
    if (d.right.given)
        s.indRight = d.right.value;
    if (d.firstLine.given)
        s.indFirstLine = d.firstLine.value;
    s.pageBreakBefore = d.pageBreakBefore || (s.hasPageBreakBefore && s.pageBreakBefore);
    if (d.numId == -1)
        d.numId = s.numId;
    if (!d.hasIlvl)
        d.ilvl = s.hasIlvl ? s.ilvl : 0;
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
        } else if (name == QLatin1String("keepNext")) {
            d.keepNext = flagOf(c);
        } else if (name == QLatin1String("keepLines")) {
            d.keepLines = flagOf(c);
        } else if (name == QLatin1String("contextualSpacing")) {
            d.contextualSpacing = flagOf(c);
        } else if (name == QLatin1String("numPr")) {
            readNumbering(c, d);
        } else if (name == QLatin1String("tabs")) {
            readTabStops(c, d);
        }
    }
    return d;
}


void convertParagraph(QTextCursor &cursor, const QDomElement &p, const DocxDocument &doc, bool useCurrentBlock,
                      DocxRunningNumbers &running, const DocxImageRels &imageRels)
{
    DirectProperties direct = readDirectProperties(p);
    const StyleProps style = mergedProperties(doc, direct);
    QTextBlockFormat bf = blockFormat(style, direct, effectiveStyleId(doc, direct.styleId));
    if (!useCurrentBlock)
        applyContextualSpacing(cursor, bf);
    const QTextCharFormat bcf = paragraphCharFormat(doc, direct.styleId);
    QTextCharFormat labelFmt = bcf;
    QString label;
    if (direct.numId > 0)
        label = applyListLevel(doc, direct.numId, direct.ilvl, running, bf, labelFmt);

    writeBlock(cursor, useCurrentBlock, bf, bcf);
    const int firstBlock = cursor.block().blockNumber();
    auto origin = std::make_shared<DocxParagraphSource>();
    origin->paragraph = p;
    origin->alignment = int(bf.alignment());
    cursor.block().setUserData(new DocxBlockOrigin(origin, -1));
    insertListLabel(cursor, label, labelFmt);
    convertRuns(cursor, p, bcf, doc, imageRels, running, origin, direct.tabStops);
    const int lastBlock = cursor.block().blockNumber();
    if (lastBlock > firstBlock)
        joinContinuationBlocks(cursor.document(), firstBlock, lastBlock);
}
