// One w:p as one block: direct properties merged with the paragraph style, list
// labels, and either the paragraph's runs or a table-of-contents line.
#include "DocxReaderInternal.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <climits>

namespace {

constexpr int kSingleLineSpacing = 240;  // w:spacing w:line of single spacing
constexpr int kAutoSpacingTwips = 280;   // 14 points
constexpr double kDefaultTocPointSize = 11.0;
constexpr int kMinLeaderPairs = 3;
// A dot leader is never longer than this many ". " pairs, whatever tab position
// a document declares.
constexpr int kMaxLeaderPairs = 1000;
const QString kLeaderPair = QStringLiteral(". ");

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

bool isDotLeader(const QString &leader)
{
    return leader == QLatin1String("dot") || leader == QLatin1String("middleDot");
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

bool onOffAttribute(const QDomElement &el, const QString &name)
{
    const QString v = wAttr(el, name);
    return v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("on");
}

// Spacing before or after: automatic spacing (what web pages put around
// paragraphs) wins over a length.
OptionalTwips spacingOf(const QDomElement &spacing, const QString &side)
{
    if (onOffAttribute(spacing, side + QLatin1String("Autospacing")))
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
    if (parseDecimal(wAttr(spacing, QStringLiteral("line")), &line) && line >= 1)
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

// Only the style's size, font, bold and italic reach the paragraph's text.
QTextCharFormat baseCharFormat(const StyleProps &s)
{
    QTextCharFormat bcf;
    if (s.sizeHalfPts > 0)
        bcf.setFontPointSize(boundedPointSize(s.sizeHalfPts / 2.0));
    if (!s.font.isEmpty())
        bcf.setFontFamilies({s.font});
    if (s.hasBold && s.bold)
        bcf.setFontWeight(QFont::Bold);
    if (s.hasItalic && s.italic)
        bcf.setFontItalic(true);
    return bcf;
}

// ---- table-of-contents lines -------------------------------------------------

// What the runs of a table-of-contents line hold: the title before the tab,
// the page reference after it, and the font of the line.
class TocLine
{
public:
    explicit TocLine(const StyleProps &style)
        : font_(style.font),
          pointSize_(style.sizeHalfPts > 0 ? boundedPointSize(style.sizeHalfPts / 2.0) : kDefaultTocPointSize)
    {
    }

    void readParagraph(const QDomElement &p)
    {
        for (QDomElement c = p.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            if (c.localName() == QLatin1String("r")) {
                processRun(c);
            } else if (c.localName() == QLatin1String("hyperlink")) {
                for (const QDomElement &r : childElementsByLocalName(c, QStringLiteral("r")))
                    processRun(r);
            }
        }
        left_ = left_.trimmed();
        right_ = right_.trimmed();
    }

    void insert(QTextCursor &cursor, const QTextCharFormat &bcf, const QList<QTextOption::Tab> &tabStops) const
    {
        if (left_.isEmpty())
            return;
        QTextCharFormat tocFmt = bcf;
        if (!font_.isEmpty())
            tocFmt.setFontFamilies({font_});
        tocFmt.setFontPointSize(pointSize_);
        if (right_.isEmpty()) {
            cursor.insertText(left_, tocFmt);
            return;
        }
        const QString leader = kLeaderPair.repeated(leaderPairs(tabStops));
        cursor.insertText(left_ + QLatin1Char(' ') + leader + QLatin1Char('\t') + right_, tocFmt);
    }

private:
    // The size comes from the first run with a valid size; the font from the
    // last w:rFonts seen up to and including that run.
    void readRunFont(const QDomElement &run)
    {
        const QDomElement rPr = firstChildByLocalName(run, QStringLiteral("rPr"));
        for (QDomElement c = rPr.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            if (c.localName() == QLatin1String("sz")) {
                int halfPoints = 0;
                if (parseDecimal(wVal(c), &halfPoints) && halfPoints >= 1) {
                    pointSize_ = boundedPointSize(halfPoints / 2.0);
                    gotRunFont_ = true;
                }
            } else if (c.localName() == QLatin1String("rFonts")) {
                const QString family = runFontFamily(c);
                if (!family.isEmpty())
                    font_ = family;
            }
        }
    }

    void onFieldChar(const QString &type)
    {
        if (type == QLatin1String("begin")) {
            inField_ = true;
            instr_.clear();
            skip_ = false;
            placeholderDone_ = false;
        } else if (type == QLatin1String("separate")) {
            // A page reference keeps its result: the page of its bookmark, not this one.
            skip_ = isPageField(instr_) && !instr_.simplified().startsWith(QLatin1String("PAGEREF"), Qt::CaseInsensitive);
        } else if (type == QLatin1String("end")) {
            inField_ = false;
            skip_ = false;
            placeholderDone_ = false;
        }
    }

    void onText(const QString &text)
    {
        QString &target = pastTab_ ? right_ : left_;
        if (skip_) {
            if (!placeholderDone_)
                target += pagePlaceholderFor(instr_);
            placeholderDone_ = true;
        } else if (!inField_ || !text.trimmed().isEmpty()) {
            target += text;
        }
    }

    void processRun(const QDomElement &run)
    {
        if (!gotRunFont_)
            readRunFont(run);
        for (QDomElement c = run.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            const QString name = c.localName();
            if (name == QLatin1String("fldChar"))
                onFieldChar(wAttr(c, QStringLiteral("fldCharType")));
            else if (name == QLatin1String("instrText"))
                instr_ += c.text();
            else if (name == QLatin1String("tab"))
                pastTab_ = true;
            else if (name == QLatin1String("t"))
                onText(c.text());
        }
    }

    // As many ". " pairs as fill the gap between the title and the page number
    // up to the right tab stop; never fewer than three.
    int leaderPairs(const QList<QTextOption::Tab> &tabStops) const
    {
        double tabPx = 0;
        for (const QTextOption::Tab &tab : tabStops) {
            if (tab.type == QTextOption::RightTab)
                tabPx = qMax(tabPx, tab.position);
        }
        QFont font;
        if (!font_.isEmpty())
            font.setFamilies({font_});
        font.setPointSizeF(pointSize_);
        const QFontMetricsF metrics(font);
        QString rightForMetrics = right_;
        rightForMetrics.replace(QChar(kPageNumberPlaceholder), QLatin1String("00"));
        rightForMetrics.replace(QChar(kPageCountPlaceholder), QLatin1String("000"));
        const double leftWidth = metrics.horizontalAdvance(left_ + QLatin1Char(' '));
        const double rightWidth = metrics.horizontalAdvance(rightForMetrics + QLatin1Char(' '));
        const double dotWidth = metrics.horizontalAdvance(kLeaderPair);
        const double gap = tabPx - leftWidth - rightWidth;
        if (gap <= 0 || dotWidth <= 0)
            return kMinLeaderPairs;
        return int(qBound(double(kMinLeaderPairs), gap / dotWidth, double(kMaxLeaderPairs)));
    }

    QString left_, right_;
    QString font_;
    double pointSize_;
    QString instr_;
    bool pastTab_ = false;
    bool inField_ = false;
    bool skip_ = false;
    bool placeholderDone_ = false;
    bool gotRunFont_ = false;
};

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
    return styleId.isEmpty() || !doc.styleMap.contains(styleId) ? doc.defaultParagraphStyle : styleId;
}

StyleProps mergedProperties(const DocxDocument &doc, DirectProperties &d)
{
    StyleProps s = doc.resolveStyle(effectiveStyleId(doc, d.styleId));
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
                      DocxListCounters &listCounters, const DocxImageRels &imageRels, QList<DocxBlockSource> *sources)
{
    DirectProperties direct = readDirectProperties(p);
    const StyleProps style = mergedProperties(doc, direct);
    QTextBlockFormat bf = blockFormat(style, direct, effectiveStyleId(doc, direct.styleId));
    if (!useCurrentBlock)
        applyContextualSpacing(cursor, bf);
    const QTextCharFormat bcf = baseCharFormat(style);
    QTextCharFormat labelFmt = bcf;
    QString label;
    if (direct.numId > 0)
        label = applyListLevel(doc, direct.numId, direct.ilvl, listCounters, bf, labelFmt);

    writeBlock(cursor, useCurrentBlock, bf, bcf);
    const int firstBlock = cursor.block().blockNumber();
    insertListLabel(cursor, label, labelFmt);

    const bool tocLine = std::any_of(direct.tabLeaders.cbegin(), direct.tabLeaders.cend(), isDotLeader);
    if (tocLine) {
        TocLine line(style);
        line.readParagraph(p);
        line.insert(cursor, bcf, direct.tabStops);
    } else {
        convertRuns(cursor, p, bcf, doc, imageRels);
    }
    const int lastBlock = cursor.block().blockNumber();
    if (lastBlock > firstBlock)
        joinContinuationBlocks(cursor.document(), firstBlock, lastBlock);
    if (sources)
        sources->append({p, firstBlock, lastBlock, tocLine});
}
