// Rich-text blocks into w:p elements: alignment, runs, hyperlinks, breaks,
// pictures and page-number fields.
#include "DocxDocumentParts.h"
#include "DocxNamespaces.h"
#include "DocxReader.h"
#include "DocxWriterInternal.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <cmath>

namespace {

constexpr qint64 kEmuPerPixel = 9525;
constexpr int kDefaultPointSize = 12;
constexpr char kFieldResult[] = "1";
const QString &pageInstruction()
{
    static const QString s = QStringLiteral(" PAGE ");
    return s;
}
const QString &pageCountInstruction()
{
    static const QString s = QStringLiteral(" NUMPAGES ");
    return s;
}

bool isRunContent(const QDomElement &e)
{
    const QString n = e.localName();
    return n == QLatin1String("r") || n == QLatin1String("hyperlink") || n == QLatin1String("ins")
        || n == QLatin1String("del");
}

void removeChildren(QDomElement &parent, bool (*which)(const QDomElement &))
{
    for (QDomElement c = parent.firstChildElement(); !c.isNull();) {
        const QDomElement next = c.nextSiblingElement();
        if (which(c))
            parent.removeChild(c);
        c = next;
    }
}

void setAlignment(QDomDocument &dom, QDomElement &p, const QString &jcVal)
{
    QDomElement pPr = childElementNS(p, "pPr", kNsW);
    if (!pPr.isNull()) {
        for (const QDomElement &jc : childElementsByLocalName(pPr, QStringLiteral("jc")))
            pPr.removeChild(jc);
    }
    if (jcVal.isEmpty())
        return;
    if (pPr.isNull()) {
        pPr = createW(dom, "pPr");
        p.insertBefore(pPr, p.firstChild());
    }
    QDomElement jc = createW(dom, "jc");
    setWAttr(jc, "val", jcVal);
    insertInOrder(pPr, jc, paragraphPropertyOrder());
}

QDomElement runHolding(QDomDocument &dom, const QDomElement &content, const QTextCharFormat *fmt)
{
    QDomElement r = createW(dom, "r");
    if (fmt) {
        const QDomElement rPr = makeRunProps(dom, *fmt);
        if (rPr.hasChildNodes())
            r.appendChild(rPr);
    }
    r.appendChild(content);
    return r;
}

QDomElement breakRun(QDomDocument &dom, bool page)
{
    QDomElement br = createW(dom, "br");
    if (page)
        setWAttr(br, "type", QStringLiteral("page"));
    return runHolding(dom, br, nullptr);
}

// A complex field whose result stands for a page number or page count.
void appendField(QDomDocument &dom, QDomElement &container, const QString &instruction, const QTextCharFormat &fmt)
{
    auto fieldChar = [&](const char *type) {
        QDomElement c = createW(dom, "fldChar");
        setWAttr(c, "fldCharType", QString::fromLatin1(type));
        container.appendChild(runHolding(dom, c, &fmt));
    };
    fieldChar("begin");
    QDomElement instr = createW(dom, "instrText");
    preserveSpace(instr);
    instr.appendChild(dom.createTextNode(instruction));
    container.appendChild(runHolding(dom, instr, &fmt));
    fieldChar("separate");
    container.appendChild(makeTextRun(dom, QString::fromLatin1(kFieldResult), fmt));
    fieldChar("end");
}

// Writes a fragment's text: runs of text, a break run for each line feed or
// line separator (how rich text holds a line break inside a paragraph), and a
// live field for each page placeholder (their own characters cannot be stored).
void appendText(QDomDocument &dom, QDomElement &container, const QString &text, const QTextCharFormat &fmt)
{
    QString pending;
    auto flush = [&]() {
        if (!pending.isEmpty())
            container.appendChild(makeTextRun(dom, pending, fmt));
        pending.clear();
    };
    const QString stored = fmt.property(FieldInstructionProperty).toString();
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QChar::LineSeparator) {
            flush();
            container.appendChild(breakRun(dom, false));
        } else if (c == QChar(kPageNumberPlaceholder) || c == QChar(kPageCountPlaceholder)) {
            flush();
            const QString &fallback = c == QChar(kPageNumberPlaceholder) ? pageInstruction() : pageCountInstruction();
            appendField(dom, container, stored.isEmpty() ? fallback : stored, fmt);
        } else {
            pending += c;
        }
    }
    flush();
}

int drawingId(const QString &rId)
{
    bool ok = false;
    const int n = rId.startsWith(QLatin1String("rId")) ? QStringView(rId).mid(3).toInt(&ok) : 0;
    return ok && n >= 1 ? n : 1;
}

void appendPicture(DocxDocument &doc, QDomDocument &dom, QDomElement &container, const QTextBlock &block,
                   const QTextImageFormat &ifmt)
{
    int wpx = 0, hpx = 0;
    const QString rId = imageRelId(doc, block.document(), ifmt, &wpx, &hpx);
    if (rId.isEmpty() || wpx < 1 || hpx < 1)
        return;
    container.appendChild(makeDrawingRun(dom, rId, qint64(wpx) * kEmuPerPixel, qint64(hpx) * kEmuPerPixel,
                                         drawingId(rId)));
}

// Appends the content of one block to `p`.
void appendBlock(DocxDocument &doc, QDomDocument &dom, QDomElement &p, const QTextBlock &block)
{
    QDomElement container = p;
    QString curHref;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.isValid())
            continue;
        const QTextCharFormat fmt = frag.charFormat();
        if (fmt.boolProperty(ListLabelProperty))
            continue;
        const QString href = fmt.isAnchor() ? fmt.anchorHref() : QString();
        if (href != curHref) {
            curHref = href;
            container = p;
            const QString rId = href.isEmpty() ? QString() : doc.addHyperlinkRel(href);
            if (!rId.isEmpty()) {
                QDomElement link = createW(dom, "hyperlink");
                link.setAttributeNS(QString::fromLatin1(kNsR), QStringLiteral("r:id"), rId);
                p.appendChild(link);
                container = link;
            } else {
                curHref.clear();
            }
        }
        if (fmt.isImageFormat()) {
            for (int i = 0; i < frag.length(); ++i)
                appendPicture(doc, dom, container, block, fmt.toImageFormat());
        } else {
            appendText(dom, container, frag.text(), fmt);
        }
    }
}

bool hasRunOrLink(const QDomElement &p)
{
    for (QDomElement c = p.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (c.localName() == QLatin1String("r") || c.localName() == QLatin1String("hyperlink"))
            return true;
    }
    return false;
}

}  // namespace

const QStringList &paragraphPropertyOrder()
{
    static const QStringList order = QStringLiteral(
        "pStyle keepNext keepLines pageBreakBefore framePr widowControl numPr suppressLineNumbers pBdr shd "
        "tabs suppressAutoHyphens kinsoku wordWrap overflowPunct topLinePunct autoSpaceDE autoSpaceDN bidi "
        "adjustRightInd snapToGrid spacing ind contextualSpacing mirrorIndents suppressOverlap jc "
        "textDirection textAlignment textboxTightWrap outlineLvl divId cnfStyle rPr sectPr pPrChange")
                                         .split(QLatin1Char(' '));
    return order;
}

QString alignmentJc(const QTextBlock &block)
{
    const int a = int(block.blockFormat().alignment()) & 31;
    if (a & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (a & Qt::AlignRight)
        return QStringLiteral("right");
    if (a & Qt::AlignJustify)
        return QStringLiteral("both");
    return {};
}

QString underlineVal(const QTextCharFormat &fmt)
{
    switch (fmt.underlineStyle()) {
    case QTextCharFormat::DashUnderline: return QStringLiteral("dash");
    case QTextCharFormat::DotLine: return QStringLiteral("dotted");
    case QTextCharFormat::DashDotLine: return QStringLiteral("dotDash");
    case QTextCharFormat::DashDotDotLine: return QStringLiteral("dotDotDash");
    case QTextCharFormat::WaveUnderline: return QStringLiteral("wave");
    default: return QStringLiteral("single");
    }
}

QDomElement makeRunProps(QDomDocument &dom, const QTextCharFormat &fmt)
{
    QDomElement rPr = createW(dom, "rPr");
    auto add = [&](const char *name) {
        QDomElement e = createW(dom, name);
        rPr.appendChild(e);
        return e;
    };
    const QStringList families = fmt.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty()) {
        QDomElement fonts = add("rFonts");
        for (const char *attr : {"ascii", "hAnsi", "cs"})
            setWAttr(fonts, attr, families.first());
    }
    if (fmt.fontWeight() >= QFont::Bold) {
        add("b");
        add("bCs");
    }
    if (fmt.fontItalic()) {
        add("i");
        add("iCs");
    }
    if (fmt.fontStrikeOut())
        add("strike");
    if (fmt.fontUnderline() || fmt.underlineStyle() != QTextCharFormat::NoUnderline)
        setWAttr(add("u"), "val", underlineVal(fmt));
    const QBrush fg = fmt.foreground();
    if (fg.style() != Qt::NoBrush && fg.color().isValid())
        setWAttr(add("color"), "val",
                 QStringLiteral("%1").arg(fg.color().rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper());
    if (fmt.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        setWAttr(add("vertAlign"), "val", QStringLiteral("superscript"));
    else if (fmt.verticalAlignment() == QTextCharFormat::AlignSubScript)
        setWAttr(add("vertAlign"), "val", QStringLiteral("subscript"));
    int points = int(std::lround(fmt.fontPointSize()));
    if (points < 1)
        points = kDefaultPointSize;
    const QString halfPoints = QString::number(points * 2);
    setWAttr(add("sz"), "val", halfPoints);
    setWAttr(add("szCs"), "val", halfPoints);
    return rPr;
}

QDomElement makeTextRun(QDomDocument &dom, const QString &text, const QTextCharFormat &fmt)
{
    QDomElement t = createW(dom, "t");
    if (text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' ')))
        preserveSpace(t);
    t.appendChild(dom.createTextNode(text));
    return runHolding(dom, t, &fmt);
}

void writeParagraphBlocks(DocxDocument &doc, QDomElement &p, const QList<QTextBlock> &blocks)
{
    QDomDocument dom = p.ownerDocument();
    setAlignment(dom, p, blocks.isEmpty() ? QString() : alignmentJc(blocks.first()));
    removeChildren(p, isRunContent);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            const bool page = blocks[i].blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
            p.appendChild(breakRun(dom, page));
        }
        appendBlock(doc, dom, p, blocks[i]);
    }
    if (!hasRunOrLink(p))
        p.appendChild(runHolding(dom, createW(dom, "t"), nullptr));
}

void writeParagraph(DocxDocument &doc, QDomElement &p, const QTextBlock &block)
{
    writeParagraphBlocks(doc, p, {block});
}
